#include "instrumentsimulator.h"
#include "mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>

#include <memory>

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // Dark mode of the Windows platform plugin off; only that plugin knows the option.
    qputenv("QT_QPA_PLATFORM", "windows:darkmode=0");
#endif
    QApplication app(argc, argv);

    QCommandLineParser options;
    options.addHelpOption();
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Start a simulated instrument and list its port first."));
    options.addOption(simulate);
    options.process(app);

    // Outlives the window, so the port stays answered until the window has closed.
    std::unique_ptr<InstrumentSimulator> simulator;
    if (options.isSet(simulate)) {
        simulator = std::make_unique<InstrumentSimulator>();
        if (!simulator->is_open() || !simulator->start()) {
            qCritical("Could not start the simulated instrument.");
            return 1;
        }
    }

    MainWindow window;
    if (window.is_refused())
        return 1;
    if (simulator)
        window.set_extra_ports({simulator->port_name()});
    window.show();
    app.installNativeEventFilter(&window);
    return app.exec();
}
