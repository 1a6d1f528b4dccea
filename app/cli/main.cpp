// telvane-cli: records and exports runs of the instrument without the window.
#include "cliapplication.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telvane-cli"));
    CliApplication::install_message_filter();
    return CliApplication::run(QCoreApplication::arguments().mid(1));
}
