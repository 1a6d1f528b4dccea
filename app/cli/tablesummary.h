#pragma once

#include <QString>

#include <optional>

class SampleDatabase;

// What `tables` says about one run table: rows, channel mode (from its
// columns) and the time span of its samples.
class TableSummary
{
public:
    // Nothing when the table cannot be read; then `reason`, if given, says why.
    static std::optional<TableSummary> read(SampleDatabase &database, const QString &table,
                                            QString *reason = nullptr);

    // "single", "multi" or "unknown".
    QString mode() const { return mode_; }
    // Tab-separated: name, rows, mode, first..last time in seconds ("-" when empty).
    QString line() const;

private:
    QString name_;
    qint64 rows_ = 0;
    QString mode_;
    std::optional<double> firstTime_;
    std::optional<double> lastTime_;
};
