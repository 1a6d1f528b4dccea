#include "cliapplication.h"

#include "console.h"
#include "exitcode.h"
#include "exportcommand.h"
#include "infocommand.h"
#include "portscommand.h"
#include "pushcommand.h"
#include "recordcommand.h"
#include "statscommand.h"
#include "statuscommand.h"
#include "tablescommand.h"

#include <QCoreApplication>
#include <QFile>
#include <QtGlobal>

#include <cstdio>

namespace {
using Command = int (*)(const QStringList &);

struct Subcommand
{
    const char *name;
    Command run;
    const char *summary;
};

const Subcommand subcommands[] = {
    {"ports", &PortsCommand::run, "list the serial ports"},
    {"status", &StatusCommand::run, "battery charge and attenuation module of the instrument"},
    {"record", &RecordCommand::run,
     "record a run, or a chain of runs, into the database (and CSV files)"},
    {"tables", &TablesCommand::run, "list the run tables of the database"},
    {"info", &InfoCommand::run, "what a run was taken with and how it ended"},
    {"export", &ExportCommand::run, "write a run table, or a stretch of it, as a CSV file"},
    {"stats", &StatsCommand::run, "samples, extremes, mean and RMS of each channel of a run"},
    {"push", &PushCommand::run, "upload finished runs to a PostgreSQL server, once"},
};

void filter_messages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg) {
        return;
    }
    const QByteArray text = (QStringLiteral("telvane-cli: ") + message + '\n').toLocal8Bit();
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stderr);
}
} // namespace

int CliApplication::run(const QStringList &arguments)
{
    const QString first = arguments.value(0);
    if (first == QLatin1String("--version")) {
        Console::out(version_text());
        return ExitOk;
    }
    if (first == QLatin1String("--help") || first == QLatin1String("-h") ||
        first == QLatin1String("help")) {
        Console::out(usage_text());
        return ExitOk;
    }
    for (const Subcommand &subcommand : subcommands) {
        if (first == QLatin1String(subcommand.name)) {
            return subcommand.run(arguments.mid(1));
        }
    }
    Console::error(
        first.isEmpty()
            ? QStringLiteral("a command is required (see telvane-cli --help)")
            : QStringLiteral("unknown command \"%1\" (see telvane-cli --help)").arg(first));
    return ExitBadArguments;
}

int CliApplication::run(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray given(argv[i]);
        const QString text = QFile::decodeName(given);
        if (QFile::encodeName(text) != given) {
            Console::error(QStringLiteral("argument \"%1\" is not valid in the system's encoding "
                                          "(UTF-8): a file of that name would be made or looked "
                                          "for under another name; rename it")
                               .arg(text));
            return ExitBadArguments;
        }
    }
    return run(QCoreApplication::arguments().mid(1));
}

void CliApplication::install_message_filter()
{
    qInstallMessageHandler(filter_messages);
}

QString CliApplication::version_text()
{
    return QStringLiteral("Telvane V" TELVANE_VERSION);
}

QString CliApplication::usage_text()
{
    QString text = QStringLiteral("Usage: telvane-cli COMMAND [options]\n"
                                  "Records and exports runs of the sampling instrument without "
                                  "the window.\n\nCommands:\n");
    for (const Subcommand &subcommand : subcommands) {
        text += QStringLiteral("  %1  %2\n")
                    .arg(QString::fromLatin1(subcommand.name).leftJustified(8),
                         QLatin1String(subcommand.summary));
    }
    text += QStringLiteral(
        "\nOptions:\n  --help     this text; COMMAND --help describes a command\n"
        "  --version  the version\n\n"
        "Runs are kept in telvane-cli.db of the working directory (--db FILE for another;\n"
        "--db Quorlen.db reads the window's runs, which the window drops when it closes;\n"
        "tables, info, stats and export read a PostgreSQL server's runs with --db URI).\n\n"
        "Exit codes: 0 done, 1 file, database or port failure, 2 bad arguments (nothing sent),\n"
        "3 no status reply within 2 s, 4 port lost during the run, 5 run incomplete (no end\n"
        "frame after the stop, samples dropped, or interrupted before the start); a chain of\n"
        "runs ends with the code of its worst run.");
    return text;
}
