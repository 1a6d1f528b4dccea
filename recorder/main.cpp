// telvane-cli: records and exports runs of the instrument without the window.
#include "cliapplication.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char *argv[])
{
    // A reader that leaves (a closed pipe) makes the write fail and the tool say so with
    // exit code 1, instead of SIGPIPE ending it silently, possibly in the middle of a run.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telvane-cli"));
    CliApplication::install_message_filter();
    return CliApplication::run(argc, argv);
}
