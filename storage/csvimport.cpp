#include "csvimport.h"

#include "runsettings.h"
#include "sampledatabase.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {
constexpr int channelCount = InstrumentLimits::channelCount;
// Rows per transaction: large, since nothing else waits for the scratch table.
constexpr int batchRows = 50000;
constexpr qint64 chunkBytes = 4 << 20;

// The voltage columns the header names: 1, 16, or 0 when it is no header of ours.
int columns_of(const QByteArray &header)
{
    if (header == "id,time,Vol")
        return 1;
    QByteArray multi("id,time");
    for (int n = 1; n <= channelCount; ++n)
        multi += ",Vol" + QByteArray::number(n);
    return header == multi ? channelCount : 0;
}

// One number of a field; "nan", "inf" and "-inf" as the export writes them.
bool parse_number(const char *begin, const char *end, double *value)
{
    const std::from_chars_result parsed = std::from_chars(begin, end, *value);
    return parsed.ec == std::errc() && parsed.ptr == end && begin != end;
}
} // namespace

CsvImport::Outcome CsvImport::read(const QString &path, SampleDatabase &database)
{
    Outcome outcome;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        outcome.error = file.errorString();
        return outcome;
    }
    QByteArray header = file.readLine();
    while (header.endsWith('\n') || header.endsWith('\r'))
        header.chop(1);
    const int columns = columns_of(header);
    if (columns == 0) {
        outcome.error = QStringLiteral("line 1: the header is not that of a run (id,time,Vol or "
                                       "id,time,Vol1,...,Vol16)");
        return outcome;
    }
    const QString table = database.create_run_table(QFileInfo(path).lastModified(), columns == 1);
    if (table.isEmpty()) {
        outcome.error = database.create_error();
        return outcome;
    }
    // The time index is built once at the end: a sort is far cheaper than a b-tree insert
    // for every row.
    const QString index = table + QLatin1String("_time");
    database.execute_query(QStringLiteral("DROP INDEX \"%1\"").arg(index));

    QList<SampleRow> batch;
    batch.reserve(batchRows);
    qint64 line = 1;
    QByteArray pending;
    const auto store = [&]() {
        QString why;
        const int stored = database.insert_samples(batch, &why);
        if (stored != batch.size() && outcome.error.isEmpty())
            outcome.error =
                QStringLiteral("line %1: the row could not be stored (%2)").arg(line).arg(why);
        outcome.rows += stored;
        batch.clear();
    };
    const auto parse_line = [&](const char *begin, const char *end) {
        ++line;
        if (end > begin && end[-1] == '\r')
            --end;
        if (begin == end)
            return true; // a trailing empty line
        SampleRow row;
        row.reserve(1 + columns);
        int field = 0;
        for (const char *at = begin; at <= end; ++field) {
            const char *comma = std::find(at, end, ',');
            double value = 0.0;
            if (field > columns + 1 || !parse_number(at, comma, &value)) {
                outcome.error =
                    field > columns + 1
                        ? QStringLiteral("line %1: more than %2 fields").arg(line).arg(columns + 2)
                        : QStringLiteral("line %1: field %2 is not a number")
                              .arg(line)
                              .arg(field + 1);
                return false;
            }
            if (field > 0) // the id is the table's own
                row.append(value);
            at = comma + 1;
        }
        if (field != columns + 2) {
            outcome.error = QStringLiteral("line %1: %2 fields instead of %3")
                                .arg(line)
                                .arg(field)
                                .arg(columns + 2);
            return false;
        }
        batch.append(std::move(row));
        if (batch.size() == batchRows)
            store();
        return outcome.error.isEmpty();
    };

    bytesRead_.store(file.pos());
    for (;;) {
        QByteArray chunk = file.read(chunkBytes);
        if (chunk.isEmpty())
            break;
        bytesRead_.store(file.pos());
        pending += chunk;
        const char *data = pending.constData();
        const char *end = data + pending.size();
        const char *at = data;
        for (const char *newline; (newline = std::find(at, end, '\n')) != end; at = newline + 1) {
            if (!parse_line(at, newline))
                break;
        }
        if (!outcome.error.isEmpty())
            break;
        pending = pending.mid(at - data);
    }
    if (outcome.error.isEmpty() && !pending.isEmpty())
        parse_line(pending.constData(), pending.constData() + pending.size());
    if (outcome.error.isEmpty() && !batch.isEmpty())
        store();
    if (!outcome.error.isEmpty()) {
        database.drop_tables({table});
        return outcome;
    }
    database.execute_query(
        QStringLiteral("CREATE INDEX \"%1\" ON \"%2\"(time)").arg(index, table));
    outcome.table = table;
    return outcome;
}
