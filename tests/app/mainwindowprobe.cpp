// Runs the main window in a process of its own, so a test can kill it or watch a whole
// start-up and shut-down:
//   mainwindowprobe hold     construct the window, print "ready", wait to be killed
//   mainwindowprobe cycle    construct the window (cancelling any prompt), print what was
//                            asked, destroy the window and exit
//   mainwindowprobe run      construct the window, connect it to an instrument simulator in
//                            this process, start a long single-channel run at 2000 p/s,
//                            print "running" and wait to be killed
#include "instrumentsimulator.h"
#include "mainwindow.h"
#include "modalresponder.h"
#include "settingsstore.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <cstdio>
#include <memory>

namespace {

constexpr int runRate = 2000;

void say(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

// Prints the box and answers Cancel where offered, else Ok.
void answerBox(QWidget *dialog)
{
    auto *box = qobject_cast<QMessageBox *>(dialog);
    if (box == nullptr) {
        dialog->close();
        return;
    }
    say(QStringLiteral("prompt: %1 | %2").arg(box->windowTitle(), box->text()));
    QAbstractButton *cancel = box->button(QMessageBox::Cancel);
    (cancel != nullptr ? cancel : box->button(QMessageBox::Ok))->click();
}

// Starts a run that lasts far longer than any test waits; false when the window refused.
bool startRun(MainWindow &window, InstrumentSimulator &simulator)
{
    if (!simulator.start())
        return false;
    window.set_extra_ports({simulator.port_name()});
    window.findChild<QComboBox *>(QStringLiteral("PortComboBox"))->setCurrentIndex(0);
    window.findChild<QPushButton *>(QStringLiteral("connect"))->click();
    window.findChild<QRadioButton *>(QStringLiteral("radioButton_fast"))->click();
    window.findChild<QSpinBox *>(QStringLiteral("spinBox_sampleSpeed"))->setValue(runRate);
    auto *seconds = window.findChild<QSpinBox *>(QStringLiteral("spinBox_sampleTime"));
    seconds->setValue(seconds->maximum());
    window.findChild<QPushButton *>(QStringLiteral("SampleStart"))->click();
    return window.is_acquiring();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const QString mode = args.value(1);

    // A crash prompt at start-up; in run mode also the connection message.
    QList<ModalResponder::Handler> answers{answerBox};
    if (mode == QLatin1String("run"))
        answers.append(answerBox);
    ModalResponder responder(answers);

    // Outlives the window, which holds its port.
    std::unique_ptr<InstrumentSimulator> simulator;
    if (mode == QLatin1String("run"))
        simulator = std::make_unique<InstrumentSimulator>();
    auto window = std::make_unique<MainWindow>();
    say(QStringLiteral("ready"));
    if (mode == QLatin1String("hold"))
        return app.exec();
    if (simulator) {
        if (!startRun(*window, *simulator))
            return 3;
        flush_settings(); // "running" promises the run's name is on disk
        say(QStringLiteral("running"));
        return app.exec();
    }
    window.reset();
    return responder.unexpected() == 0 ? 0 : 2;
}
