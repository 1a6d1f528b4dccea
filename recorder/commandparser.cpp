#include "commandparser.h"

#include "console.h"
#include "exitcode.h"

#include <cmath>

CommandParser::CommandParser(const QString &usage, const QString &description)
    : usage_(usage)
    , description_(description)
{
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser_.addHelpOption();
}

void CommandParser::add_option(const QCommandLineOption &option)
{
    parser_.addOption(option);
}

void CommandParser::add_repeatable_option(const QCommandLineOption &option)
{
    add_option(option);
    repeatable_ += option.names();
}

QStringList CommandParser::values(const QString &name) const
{
    return parser_.values(name);
}

bool CommandParser::parse(const QStringList &arguments)
{
    // QCommandLineParser expects the program name first.
    if (!parser_.parse(QStringList{QStringLiteral("telvane-cli")} + arguments)) {
        fail(parser_.errorText());
        return false;
    }
    // QCommandLineParser would let the last value win; in a script a repeated option is
    // more likely a mistake than a correction.
    const QStringList given = parser_.optionNames();
    for (qsizetype i = 0; i < given.size(); ++i) {
        if (given.indexOf(given[i], i + 1) >= 0 && !repeatable_.contains(given[i])) {
            fail(QStringLiteral("%1 is given twice").arg(option_text(given[i])));
            return false;
        }
    }
    if (!parser_.positionalArguments().isEmpty()) {
        fail(QStringLiteral("unexpected argument \"%1\"")
                 .arg(parser_.positionalArguments().first()));
        return false;
    }
    return true;
}

std::optional<int> CommandParser::parse_or_exit(const QStringList &arguments)
{
    if (!parse(arguments)) {
        Console::error(error());
        return ExitBadArguments;
    }
    if (help_requested()) {
        Console::out(help_text());
        return ExitOk;
    }
    return std::nullopt;
}

std::optional<int> CommandParser::refusal() const
{
    if (!failed()) {
        return std::nullopt;
    }
    Console::error(error_);
    return ExitBadArguments;
}

bool CommandParser::help_requested() const
{
    return parser_.isSet(QStringLiteral("help"));
}

QString CommandParser::help_text() const
{
    // Qt's own usage line names only the program; ours names the subcommand.
    QString options = parser_.helpText();
    options = options.mid(options.indexOf(QLatin1Char('\n')) + 1).trimmed();
    return QStringLiteral("Usage: telvane-cli %1\n%2\n\n%3\n").arg(usage_, description_, options);
}

void CommandParser::fail(const QString &message)
{
    if (error_.isEmpty()) {
        error_ = message;
    }
}

bool CommandParser::is_set(const QString &name) const
{
    return parser_.isSet(name);
}

QString CommandParser::value(const QString &name) const
{
    return parser_.value(name);
}

QString CommandParser::option_text(const QString &name)
{
    return QStringLiteral("--") + name;
}

std::optional<int> CommandParser::integer(const QString &name, int min, int max,
                                          const QString &range, bool required)
{
    if (!is_set(name)) {
        if (required) {
            fail(QStringLiteral("%1 is required (%2)").arg(option_text(name), range));
        }
        return std::nullopt;
    }
    bool ok = false;
    const QString text = value(name);
    const int result = text.toInt(&ok);
    if (!ok) {
        fail(QStringLiteral("%1 \"%2\" is not a whole number (allowed %3)")
                 .arg(option_text(name), text, range));
        return std::nullopt;
    }
    if (result < min || result > max) {
        fail(QStringLiteral("%1 %2 is out of range (allowed %3)")
                 .arg(option_text(name), text, range));
        return std::nullopt;
    }
    return result;
}

std::optional<double> CommandParser::number(const QString &name, const QString &range)
{
    bool ok = false;
    const QString text = value(name);
    const double result = text.toDouble(&ok);
    if (!ok || !std::isfinite(result)) {
        fail(QStringLiteral("%1 \"%2\" is not a number (allowed %3)")
                 .arg(option_text(name), text, range));
        return std::nullopt;
    }
    return result;
}
