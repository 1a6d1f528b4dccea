#include "csvfilenames.h"

#include "runsidecar.h"

#include <QFileInfo>

#include <algorithm>

namespace {
// A field letter and the QDateTime format it stands for.
QString field_format(QChar letter)
{
    switch (letter.unicode()) {
    case 'Y':
        return QStringLiteral("yyyy");
    case 'm':
        return QStringLiteral("MM");
    case 'd':
        return QStringLiteral("dd");
    case 'H':
        return QStringLiteral("hh");
    case 'M':
        return QStringLiteral("mm");
    case 'S':
        return QStringLiteral("ss");
    default:
        return {};
    }
}

bool has_fields(const QString &pattern)
{
    return pattern.contains(QLatin1Char('%'));
}
} // namespace

CsvFileNames::CsvFileNames(const QString &pattern, bool chained)
    : pattern_(pattern)
    , chained_(chained)
{}

QString CsvFileNames::pattern_error(const QString &pattern)
{
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != QLatin1Char('%')) {
            continue;
        }
        const QChar letter = i + 1 < pattern.size() ? pattern[i + 1] : QChar();
        if (letter != QLatin1Char('%') && field_format(letter).isEmpty()) {
            return QStringLiteral("--csv %1: unknown field %%2 (allowed %Y %m %d %H %M %S %%)")
                .arg(pattern, QString(letter));
        }
        ++i;
    }
    return {};
}

QString CsvFileNames::file_for_run(int number, const QDateTime &startTime, QString *taken)
{
    const bool fields = has_fields(pattern_);
    if (!fields && !chained_) {
        used_.insert(pattern_);
        return pattern_;
    }
    const QString base = fields ? with_fields(startTime) : pattern_;
    const QString choice = fields ? base : with_number(base, number);
    QString name = choice;
    if (!fields || is_taken(name)) {
        int free = std::max(number, nextNumber_);
        while (is_taken(with_number(base, free))) {
            ++free;
        }
        name = with_number(base, free);
        nextNumber_ = free + 1;
    }
    if (name != choice && !used_.contains(choice) && taken != nullptr) {
        *taken = choice;
    }
    used_.insert(name);
    return name;
}

QString CsvFileNames::with_fields(const QDateTime &startTime) const
{
    QString name;
    for (qsizetype i = 0; i < pattern_.size(); ++i) {
        if (pattern_[i] == QLatin1Char('%') && i + 1 < pattern_.size()) {
            const QChar letter = pattern_[++i];
            name += letter == QLatin1Char('%') ? QStringLiteral("%")
                                               : startTime.toString(field_format(letter));
        } else {
            name += pattern_[i];
        }
    }
    return name;
}

bool CsvFileNames::is_taken(const QString &name) const
{
    return used_.contains(name) || QFileInfo::exists(name) ||
           QFileInfo::exists(run_sidecar::path_beside(name));
}

QString CsvFileNames::with_number(const QString &name, int number)
{
    const QFileInfo info(name);
    const QString suffix = info.suffix();
    const QString number_text = QStringLiteral("-%1").arg(number);
    if (suffix.isEmpty() || info.completeBaseName().isEmpty()) {
        return name + number_text;
    }
    return name.left(name.size() - suffix.size() - 1) + number_text + QLatin1Char('.') + suffix;
}
