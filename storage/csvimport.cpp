#include "csvimport.h"

#include "rowbatchhandoff.h"
#include "runsettings.h"
#include "sampledatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <vector>

namespace {
constexpr int channelCount = InstrumentLimits::channelCount;
// Rows per transaction: large, since nothing else waits for the scratch table.
constexpr int batchRows = 50000;
// Batches parsed ahead of the one being stored: enough to keep both threads busy.
constexpr int batchesAhead = 1;
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

// Reads the lines after the header into batches of rows (the time, then the voltages; the id
// is the table's own) for the thread that stores them, until the end of the file or the
// first line that is not a row. Runs on a thread of its own; error() is read after it ended.
class LineParser
{
public:
    LineParser(QFile &file, int columns, RowBatchHandoff &handoff, std::atomic<qint64> &bytesRead)
        : file_(file)
        , columns_(columns)
        , handoff_(handoff)
        , bytesRead_(bytesRead)
    {
        batch_.reserve(batchCapacity());
    }

    void run()
    {
        std::vector<char> buffer;
        size_t kept = 0; // an unfinished line, at the front of buffer
        for (;;) {
            buffer.resize(kept + size_t(chunkBytes));
            const qint64 got = file_.read(buffer.data() + kept, chunkBytes);
            if (got <= 0)
                break;
            bytesRead_.store(file_.pos());
            const char *data = buffer.data();
            const char *end = data + kept + size_t(got);
            const char *at = data;
            for (const char *newline; (newline = std::find(at, end, '\n')) != end;
                 at = newline + 1) {
                if (!parse_line(at, newline))
                    return handoff_.abandon();
                if (batch_.size() >= batchCapacity() && !hand_over())
                    return;
            }
            kept = size_t(end - at);
            std::memmove(buffer.data(), at, kept);
        }
        if (kept > 0 && !parse_line(buffer.data(), buffer.data() + kept))
            return handoff_.abandon();
        if (!batch_.empty() && !hand_over())
            return;
        handoff_.finish();
    }

    // "line N: why" for the line refused; empty when every line was a row.
    const QString &error() const { return error_; }

private:
    size_t batchCapacity() const { return size_t(batchRows) * size_t(1 + columns_); }

    // False, with error_ set, when the line is not a row of ours.
    bool parse_line(const char *begin, const char *end)
    {
        ++line_;
        if (end > begin && end[-1] == '\r')
            --end;
        if (begin == end)
            return true; // a trailing empty line
        const size_t rowStart = batch_.size();
        int field = 0;
        for (const char *at = begin; at <= end; ++field) {
            const char *comma = std::find(at, end, ',');
            double value = 0.0;
            if (field > columns_ + 1 || !parse_number(at, comma, &value)) {
                error_ = field > columns_ + 1 ? QStringLiteral("line %1: more than %2 fields")
                                                    .arg(line_)
                                                    .arg(columns_ + 2)
                                              : QStringLiteral("line %1: field %2 is not a number")
                                                    .arg(line_)
                                                    .arg(field + 1);
                batch_.resize(rowStart);
                return false;
            }
            if (field > 0) // the id is the table's own
                batch_.push_back(value);
            at = comma + 1;
        }
        if (field != columns_ + 2) {
            error_ = QStringLiteral("line %1: %2 fields instead of %3")
                         .arg(line_)
                         .arg(field)
                         .arg(columns_ + 2);
            batch_.resize(rowStart);
            return false;
        }
        return true;
    }

    // False when the storing thread stopped taking batches.
    bool hand_over()
    {
        if (!handoff_.push({std::move(batch_), line_}))
            return false;
        batch_ = handoff_.spare();
        batch_.reserve(batchCapacity());
        return true;
    }

    QFile &file_;
    const int columns_;
    RowBatchHandoff &handoff_;
    std::atomic<qint64> &bytesRead_;
    qint64 line_ = 1; // the header's
    std::vector<double> batch_;
    QString error_;
};
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
    bytesRead_.store(file.pos());
    // The lines are parsed on a second thread while this one, whose connection the database
    // uses, stores the rows before. The time index stays: the times come in order, so each row
    // only appends to it, which costs less than sorting them all into a new index at the end.
    RowBatchHandoff handoff(batchesAhead);
    LineParser parser(file, columns, handoff, bytesRead_);
    const std::unique_ptr<QThread> parsing(QThread::create([&parser] { parser.run(); }));
    parsing->setObjectName(QStringLiteral("CSV parser"));
    parsing->start();
    const qsizetype rowLength = 1 + columns;
    while (std::optional<RowBatchHandoff::Batch> batch = handoff.pop()) {
        QString why;
        const qsizetype rows = qsizetype(batch->values.size()) / rowLength;
        const int stored = database.insert_rows(batch->values.data(), rows, &why);
        outcome.rows += stored;
        if (stored != rows) {
            outcome.error = QStringLiteral("line %1: the row could not be stored (%2)")
                                .arg(batch->lastLine)
                                .arg(why);
            handoff.quit();
            break;
        }
        handoff.recycle(std::move(batch->values));
    }
    parsing->wait();
    if (outcome.error.isEmpty())
        outcome.error = parser.error();
    if (!outcome.error.isEmpty()) {
        database.drop_tables({table});
        return outcome;
    }
    outcome.table = table;
    return outcome;
}
