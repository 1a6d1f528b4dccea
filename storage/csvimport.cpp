#include "csvimport.h"

#include "csvexporter.h"
#include "protocol.h"
#include "rowbatchhandoff.h"
#include "runsidecar.h"
#include "runtablename.h"
#include "sampledatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {
constexpr int channelCount = InstrumentLimits::channelCount;
// Rows per transaction: large, since nothing else waits for the scratch table.
constexpr int batchRows = 50000;
// Batches parsed ahead of the one being stored: enough to keep both threads busy.
constexpr int batchesAhead = 1;
constexpr qint64 chunkBytes = 4 << 20;
// Some editors put a UTF-8 byte order mark before the header.
constexpr char byteOrderMark[] = "\xEF\xBB\xBF";

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

// Decimals of a number as written, -1 for one without digits (nan, inf).
int decimals_of(const char *begin, const char *end)
{
    if (std::find_if(begin, end, [](char c) { return c >= '0' && c <= '9'; }) == end)
        return -1;
    const char *point = std::find(begin, end, '.');
    return point == end ? 0 : int(end - point - 1);
}

// The run's own table name: the one its sidecar (written beside it by the export) names, else
// the file's own name when that is a run's; empty when neither is.
QString run_name_of(const QString &path)
{
    QFile sidecar(run_sidecar::path_beside(path));
    if (sidecar.open(QIODevice::ReadOnly)) {
        const QString run = QJsonDocument::fromJson(sidecar.readAll())
                                .object()
                                .value(QStringLiteral("run"))
                                .toString();
        if (is_run_table_name(run))
            return run;
    }
    const QString base = QFileInfo(path).completeBaseName();
    return is_run_table_name(base) ? base : QString();
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
        if (kept > 0 && !parse_line(buffer.data(), buffer.data() + kept, true))
            return handoff_.abandon();
        if (!batch_.empty() && !hand_over())
            return;
        handoff_.finish();
    }

    // "line N: why" for the line refused; empty when every line was a row.
    const QString &error() const { return error_; }

private:
    size_t batchCapacity() const { return size_t(batchRows) * size_t(1 + columns_); }

    // False, with error_ set, when the line is not a row of ours. The last line of a file
    // without its line end may have been cut off anywhere: it counts only when its last
    // number has the decimals the export wrote into that column.
    bool parse_line(const char *begin, const char *end, bool unterminated = false)
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
            if (field == 1 && !(value > lastTime_)) {
                error_ = QStringLiteral("line %1: the times do not rise (%2 after %3)")
                             .arg(line_)
                             .arg(value, 0, 'f', 4)
                             .arg(lastTime_, 0, 'f', 4);
                batch_.resize(rowStart);
                return false;
            }
            if (field == 1)
                lastTime_ = value;
            if (field > 0) // the id is the table's own
                batch_.push_back(value);
            if (comma == end && !complete_last_field(at, end, unterminated)) {
                error_ = QStringLiteral("line %1: the last line is cut short (no line end, its "
                                        "last number unfinished)")
                             .arg(line_);
                batch_.resize(rowStart);
                return false;
            }
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

    // False when the last field [begin, end) of an unterminated line may have lost digits.
    // Of a complete line, keeps its decimals as those the export wrote into that column.
    bool complete_last_field(const char *begin, const char *end, bool unterminated)
    {
        const int decimals = decimals_of(begin, end);
        if (!unterminated) {
            if (decimals >= 0)
                lastDecimals_ = decimals;
            return true;
        }
        if (decimals < 0)
            return true; // nan or inf: a cut leaves no such word
        if (lastDecimals_ >= 0)
            return decimals == lastDecimals_;
        return CsvExporter::precision_with(decimals).has_value();
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
    double lastTime_ = -std::numeric_limits<double>::infinity();
    int lastDecimals_ = -1; // of the last field of the lines before; -1 while unknown
    std::vector<double> batch_;
    QString error_;
};
} // namespace

Result<CsvImport::ImportedRun> CsvImport::read(const QString &path, SampleDatabase &database)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Status::read_failed(file.errorString());
    }
    QByteArray header = file.readLine();
    if (header.startsWith(byteOrderMark))
        header.remove(0, int(std::strlen(byteOrderMark)));
    while (header.endsWith('\n') || header.endsWith('\r'))
        header.chop(1);
    const int columns = columns_of(header);
    if (columns == 0) {
        return Status::invalid(
            QStringLiteral("line 1: the header is not that of a run (id,time,Vol "
                           "or id,time,Vol1,...,Vol16)"));
    }
    // Named as the run was; a file without a run's name after the time it was written.
    const QString name = run_name_of(path);
    QString table = name;
    if (name.isEmpty() || !database.create_table(name, columns == 1).ok()) {
        const Result<QString> made = database.create_run_table(
            name.isEmpty() ? QFileInfo(path).lastModified() : run_start_time(name), columns == 1);
        if (!made.ok()) {
            return Status::write_failed(made.status().message());
        }
        table = made.value();
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
    ImportedRun imported;
    Status refusal;
    while (std::optional<RowBatchHandoff::Batch> batch = handoff.pop()) {
        const qsizetype rows = qsizetype(batch->values.size()) / rowLength;
        const SampleDatabase::Stored stored = database.insert_rows(batch->values.data(), rows);
        const QString why = stored.status.message();
        imported.rows += stored.rows;
        if (stored.rows != rows) {
            refusal =
                Status::write_failed(QStringLiteral("line %1: the row could not be stored (%2)")
                                         .arg(batch->lastLine)
                                         .arg(why));
            handoff.quit();
            break;
        }
        handoff.recycle(std::move(batch->values));
    }
    parsing->wait();
    if (refusal.ok() && !parser.error().isEmpty())
        refusal = Status::invalid(parser.error());
    if (!refusal.ok()) {
        database.drop_tables({table});
        return refusal;
    }
    imported.table = table;
    return imported;
}
