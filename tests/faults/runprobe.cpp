// The window in a process of its own, for tests that kill it or change its surroundings.
// Prints "box: title | text" for every message box it answers.
//   runprobe record PORT RATE SECONDS  connect, start a single-channel run, print "running",
//                                      keep running until killed
//   runprobe recover CSV               answer the crash prompt with Save and the file dialog
//                                      with CSV, then close cleanly
//   runprobe try PORT                  connect and record a one-second run, print the status
//                                      bar as "status: TEXT", then close cleanly
#include "mainwindow.h"
#include "runstatusbar.h"
#include "settingsstore.h"
#include "windowdriver.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

#include <cstdio>
#include <memory>

namespace {
constexpr int runTimeoutMs = 20000;

void say(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

void say_boxes(const WindowDriver &driver)
{
    for (const QString &box : driver.boxes())
        say(QStringLiteral("box: ") +
            QString(box).replace(QLatin1Char('\n'), QLatin1String(" / ")));
}

// Types the path into Qt's own save dialog and accepts it.
void save_as(QWidget *dialog, const QString &path)
{
    auto *files = qobject_cast<QFileDialog *>(dialog);
    auto *name = files ? files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
    if (name == nullptr) {
        dialog->close();
        return;
    }
    name->setText(path);
    static_cast<QDialog *>(files)->accept();
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    const QStringList args = QApplication::arguments();
    const QString mode = args.value(1);

    // Boxes of the constructor (the crash prompt, start-up warnings) are answered too.
    WindowDriver driver(nullptr);
    if (mode == QLatin1String("recover")) {
        const QString path = args.value(2);
        driver.prefer_button(QMessageBox::Save);
        driver.set_dialog_handler([path](QWidget *dialog) { save_as(dialog, path); });
    }
    auto window = std::make_unique<MainWindow>();
    driver.set_window(window.get());
    if (mode == QLatin1String("recover")) {
        say_boxes(driver);
        window.reset();
        return 0;
    }
    if (!driver.connect_to(args.value(2))) {
        say_boxes(driver);
        return 1;
    }
    if (mode == QLatin1String("record")) {
        driver.choose_run(true, args.value(3).toInt(), args.value(4).toInt());
        driver.click("SampleStart");
        flush_settings(); // "running" promises the run's name is on disk
        say(window->is_acquiring() ? QStringLiteral("running") : QStringLiteral("not running"));
        return app.exec();
    }
    driver.choose_run(true, 3200, 1);
    driver.click("SampleStart");
    const bool ended = QTest::qWaitFor([&window] { return !window->is_acquiring(); }, runTimeoutMs);
    say(ended ? QStringLiteral("run ended") : QStringLiteral("run did not end"));
    say_boxes(driver);
    say(QStringLiteral("status: ") + window->run_status()->text());
    window.reset();
    return 0;
}
