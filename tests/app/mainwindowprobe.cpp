// Runs the main window in a process of its own, so a test can kill it or watch a whole
// start-up and shut-down:
//   mainwindowprobe hold     construct the window, print "ready", wait to be killed
//   mainwindowprobe cycle    construct the window (cancelling any prompt), print what was
//                            asked, destroy the window and exit
#include "mainwindow.h"
#include "modalresponder.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>
#include <memory>

namespace {

void say(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const QString mode = args.value(1);

    ModalResponder responder({[](QWidget *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (box == nullptr) {
            dialog->close();
            return;
        }
        say(QStringLiteral("prompt: %1 | %2").arg(box->windowTitle(), box->text()));
        box->button(QMessageBox::Cancel)->click();
    }});

    auto window = std::make_unique<MainWindow>();
    say(QStringLiteral("ready"));
    if (mode == QLatin1String("hold"))
        return app.exec();
    window.reset();
    return responder.unexpected() == 0 ? 0 : 2;
}
