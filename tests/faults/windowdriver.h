#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class MainWindow;
class QTimer;

// Operates a MainWindow the way an operator would, through its buttons and fields, and
// answers every message box it raises (Ok, or Cancel where there is no Ok), keeping what
// each one said. Other modal dialogs go to the dialog handler, or are rejected.
class WindowDriver : public QObject
{
    Q_OBJECT

public:
    using DialogHandler = std::function<void(QWidget *dialog)>;

    explicit WindowDriver(MainWindow *window, QObject *parent = nullptr);

    void set_window(MainWindow *window) { window_ = window; }
    void set_dialog_handler(DialogHandler handler) { dialogHandler_ = std::move(handler); }
    // Pressed instead of Ok where a box offers it (Save for the recovery prompt).
    void prefer_button(QMessageBox::StandardButton button) { preferred_ = button; }
    // "title | text" of every message box answered so far, in order.
    QStringList boxes() const { return boxes_; }
    void clear_boxes() { boxes_.clear(); }

    // Picks the port and clicks connect; true when the button then reads "Disconnect".
    bool connect_to(const QString &port);
    // Single- or multi-channel mode at the fast class with the given rate and time.
    void choose_run(bool singleChannel, int rate, int seconds);
    void click(const char *objectName);
    QString connect_text() const;
    // The run table of the latest start, as the window remembered it.
    static QString last_table();

private:
    void answer();

    MainWindow *window_ = nullptr;
    QTimer *poll_ = nullptr;
    DialogHandler dialogHandler_;
    QMessageBox::StandardButton preferred_ = QMessageBox::Ok;
    QStringList boxes_;
};
