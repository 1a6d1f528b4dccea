#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

// The options of one subcommand: parses them, answers --help, and reads option
// values as numbers, naming the option and its allowed range when a value does
// not fit. The first failure is kept as a one-line message.
class CommandParser
{
public:
    // `usage` is the synopsis after "telvane-cli", e.g. "tables [--db FILE]".
    CommandParser(const QString &usage, const QString &description);

    void add_option(const QCommandLineOption &option);
    // An option that may be given more than once (see values()).
    void add_repeatable_option(const QCommandLineOption &option);
    // `arguments` are those after the subcommand's name. False on unknown
    // options, missing values, an option given twice, or stray positional arguments.
    bool parse(const QStringList &arguments);
    // Parses; on a parse error or --help prints the message or the help and
    // returns the exit code to end with; nothing when the command goes on.
    std::optional<int> parse_or_exit(const QStringList &arguments);
    // After the values were read: prints the first refusal and returns the
    // exit code for bad arguments; nothing when all was accepted.
    std::optional<int> refusal() const;

    bool help_requested() const;
    QString help_text() const;
    QString error() const { return error_; }
    bool failed() const { return !error_.isEmpty(); }
    // Keeps the first failure only.
    void fail(const QString &message);

    bool is_set(const QString &name) const;
    QString value(const QString &name) const;
    // Every value of a repeatable option, in the order given.
    QStringList values(const QString &name) const;
    // "--name" as the operator typed it.
    static QString option_text(const QString &name);

    // The value as a whole number within [min, max]; `range` describes the
    // range for the message. Fails when the option is missing and required.
    std::optional<int> integer(const QString &name, int min, int max, const QString &range,
                               bool required = true);
    // The value as a finite number; nothing when missing or malformed (then failed).
    std::optional<double> number(const QString &name, const QString &range);

private:
    QCommandLineParser parser_;
    QString usage_;
    QString description_;
    QString error_;
    QStringList repeatable_;
};
