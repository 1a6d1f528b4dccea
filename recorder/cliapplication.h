#pragma once

#include <QStringList>

// telvane-cli's entry: picks the subcommand, answers --help and --version,
// and keeps the libraries' diagnostic output off the terminal.
class CliApplication
{
public:
    // `arguments` without the program name; returns the exit code.
    static int run(const QStringList &arguments);
    // Runs on the arguments as the program was given them (argv, with the program name):
    // refuses, before anything is opened or made, one whose bytes do not come back from its
    // decoded text (not valid in the system's encoding), as it would name another file.
    static int run(int argc, char *argv[]);
    // Debug and info messages of the libraries are dropped; warnings stay.
    static void install_message_filter();

    static QString version_text();
    static QString usage_text();
};
