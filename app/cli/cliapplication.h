#pragma once

#include <QStringList>

// telvane-cli's entry: picks the subcommand, answers --help and --version,
// and keeps the libraries' diagnostic output off the terminal.
class CliApplication
{
public:
    // `arguments` without the program name; returns the exit code.
    static int run(const QStringList &arguments);
    // Debug and info messages of the libraries are dropped; warnings stay.
    static void install_message_filter();

    static QString version_text();
    static QString usage_text();
};
