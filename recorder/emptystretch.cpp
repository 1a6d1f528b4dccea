#include "emptystretch.h"

#include "console.h"
#include "runcatalogue.h"
#include "sampledatabase.h"

#include <algorithm>

namespace {
constexpr int timeDecimals = 4;

QString seconds(const std::optional<double> &time)
{
    return time ? QString::number(*time, 'f', timeDecimals) : QStringLiteral("-");
}
} // namespace

namespace empty_stretch {

bool refused(SampleDatabase &database, const QString &table, const TimeRange &range)
{
    return refused(database, table, range, database.read_statistics(table, range));
}

bool refused(SampleDatabase &database, const QString &table, const TimeRange &range,
             const RunStatistics &statistics)
{
    const auto &channels = statistics.channels();
    // A table that cannot be read is the command's to report.
    if (statistics.is_empty() ||
        std::any_of(channels.begin(), channels.end(),
                    [](const ChannelStatistics &channel) { return channel.samples > 0; })) {
        return false;
    }
    const Result<RunListing> run = database.describe_run(table);
    // The ends as given: rounded they could read as one and the same time.
    Console::error(QStringLiteral("%1..%2 s holds no sample of the run %3, which spans %4..%5 s")
                       .arg(QString::number(range.from, 'g', 12),
                            QString::number(range.to, 'g', 12), table,
                            seconds(run.ok() ? run->firstTime : std::nullopt),
                            seconds(run.ok() ? run->lastTime : std::nullopt)));
    return true;
}

} // namespace empty_stretch
