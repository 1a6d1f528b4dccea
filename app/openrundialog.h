#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;
class QTableWidget;
struct RunListing;

// Chooses a recorded run to review: a database file (the window's own by default, or the
// recorder's, or any other), the list of its runs with mode, channels, rows, length and start
// time, and the run to open; or a CSV file the export wrote, which holds one run; or a run of a
// PostgreSQL server the runs are mirrored to (its URI kept in config.ini once its runs were
// listed). The file and the server are only read. GUI thread.
class OpenRunDialog : public QDialog
{
    Q_OBJECT

public:
    OpenRunDialog(const QString &file, QWidget *parent = nullptr);

    QString file() const;
    // The chosen run's table; empty while none is chosen.
    QString table() const;
    // The server whose runs the list holds (the chosen run is one of them); empty while it
    // holds a file's.
    QString server() const { return listedServer_; }

    // Lists the runs of file; false (and the list empty, with why in its place) when it holds
    // none that can be read.
    bool list_runs(const QString &file);
    // Lists the runs of the server at uri (a libpq URI) as its catalogue tells them, asked
    // off the GUI thread behind the busy dialog; false (the list empty, with why in its place)
    // when the server cannot be read or holds none.
    bool list_server_runs(const QString &uri);

private:
    void browse();
    // The list holds the problem alone.
    void show_problem(const QString &problem);
    void add_row(const RunListing &run);

    QLineEdit *file_ = nullptr;
    QTableWidget *runs_ = nullptr;
    QPushButton *open_ = nullptr;
    QLineEdit *server_ = nullptr;
    QString listedServer_;
};
