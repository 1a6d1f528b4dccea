#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;
class QTableWidget;

// Chooses a recorded run to review: a database file (the window's own by default, or the
// recorder's, or any other), the list of its runs with mode, channels, rows, length and start
// time, and the run to open; or a CSV file the export wrote, which holds one run. The file is
// only read. GUI thread.
class OpenRunDialog : public QDialog
{
    Q_OBJECT

public:
    OpenRunDialog(const QString &file, QWidget *parent = nullptr);

    QString file() const;
    // The chosen run's table; empty while none is chosen.
    QString table() const;

    // Lists the runs of file; false (and the list empty, with why in its place) when it holds
    // none that can be read.
    bool list_runs(const QString &file);

private:
    void browse();

    QLineEdit *file_ = nullptr;
    QTableWidget *runs_ = nullptr;
    QPushButton *open_ = nullptr;
};
