#include "instrumentsimulator.h"
#include "mainwindow.h"
#include "mirrortarget.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

// --help and --version are answered without a display, e.g. over ssh or in a script.
bool asks_only_for_text(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"-h", "--help", "--help-all", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

// The user's data folder, $XDG_DATA_HOME/telvane (~/.local/share/telvane): a window started
// from the desktop menu keeps its database, settings and logs there, not in the home folder.
QString data_folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/telvane");
}

// Makes the folder when it is missing and the working folder; the reason when that fails.
QString enter_folder(const QString &folder)
{
    namespace fs = std::filesystem;
    const fs::path path = QFile::encodeName(folder).toStdString();
    std::error_code error;
    // Private to the user, as the XDG base directories ask of folders an application makes.
    if (fs::create_directories(path, error))
        fs::permissions(path, fs::perms::owner_all, error);
    if (!error)
        fs::current_path(path, error);
    return error ? QString::fromStdString(error.message()) : QString();
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // Dark mode of the Windows platform plugin off; only that plugin knows the option.
    qputenv("QT_QPA_PLATFORM", "windows:darkmode=0");
#endif
    const std::unique_ptr<QCoreApplication> app =
        asks_only_for_text(argc, argv) ? std::make_unique<QCoreApplication>(argc, argv)
                                       : std::make_unique<QApplication>(argc, argv);

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Records, shows and exports runs of the 16-channel voltage sampling "
                       "instrument. Works in the current folder: Quorlen.db, config.ini, Logs/."));
    options.addHelpOption();
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Displays version information."));
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Start a simulated instrument, list its port first and choose it."));
    const QCommandLineOption in_data_folder(
        QStringLiteral("data-folder"),
        QStringLiteral("Work in $XDG_DATA_HOME/telvane (~/.local/share/telvane), made on "
                       "first use, instead of the current folder."));
    const QCommandLineOption table(
        QStringLiteral("table"),
        QStringLiteral("With FILE (or a server): the run to open, instead of choosing it from "
                       "the list."),
        QStringLiteral("NAME"));
    const QCommandLineOption watch(
        QStringLiteral("watch"),
        QStringLiteral("Watch another station's run as it is published to a broker at "
                       "mqtt[s]://[USER@]HOST[:PORT]/PREFIX (a password from "
                       "TELVANE_MQTT_PASSWORD)."),
        QStringLiteral("URL"));
    options.addOptions({version, simulate, in_data_folder, table, watch});
    options.addPositionalArgument(
        QStringLiteral("FILE"),
        QStringLiteral("A database file (Quorlen.db, telvane-cli.db or another) whose run to "
                       "open for review, or a CSV file the export wrote; other files than the "
                       "window's own are only read. Or the PostgreSQL server the runs are "
                       "mirrored to (postgresql://[USER@]HOST[:PORT]/DB), whose run is copied "
                       "and opened."),
        QStringLiteral("[FILE]"));
    options.process(*app);
    // Named from where the program was started, before it may move to its data folder; a
    // server's URI as it is.
    const QString given =
        options.positionalArguments().isEmpty() ? QString() : options.positionalArguments().first();
    const QString reviewFile = given.isEmpty() || MirrorTarget::names_server(given)
                                   ? given
                                   : QFileInfo(given).absoluteFilePath();
    if (options.isSet(version)) {
        std::printf("Telvane V%s\n", TELVANE_VERSION);
        return 0;
    }

    if (options.isSet(in_data_folder)) {
        const QString folder = data_folder();
        if (const QString reason = enter_folder(folder); !reason.isEmpty()) {
            const QString text = QStringLiteral("The data folder %1 cannot be used (%2).")
                                     .arg(QDir::toNativeSeparators(folder), reason);
            qCritical("%s", qPrintable(text));
            QMessageBox::critical(nullptr, QStringLiteral("Telvane"), text);
            return 1;
        }
    }

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
        window.add_simulator_port(simulator->port_name());
    window.show();
    app->installNativeEventFilter(&window);
    if (!reviewFile.isEmpty())
        window.open_file(reviewFile, options.value(table));
    if (options.isSet(watch))
        window.watch_remote(options.value(watch));
    return app->exec();
}
