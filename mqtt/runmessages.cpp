#include "runmessages.h"

#include "rungap.h"
#include "runmark.h"
#include "runsidecar.h"
#include "samplebatch.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <charconv>
#include <cmath>

namespace {

// The shortest text that reads back as the same double; JSON has no NaN or infinity, so a
// value that is not finite goes as null.
void append_number(QByteArray &out, double value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    out.append(text, int(written.ptr - text));
}

void append_integer(QByteArray &out, qint64 value)
{
    char text[24];
    const auto written = std::to_chars(text, text + sizeof text, value);
    out.append(text, int(written.ptr - text));
}

QByteArray with_run(const QString &run, QJsonObject object)
{
    object.insert(QStringLiteral("run"), run);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

namespace run_messages {

QByteArray samples(const QString &run, const QStringList &columns, const SampleBatch &batch)
{
    QByteArray out;
    out.reserve(64 + int(batch.size()) * (16 + 10 * batch.column_count()));
    out += "{\"run\":";
    out += QJsonDocument(QJsonArray{run}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    out += ",\"columns\":";
    out += QJsonDocument(QJsonArray::fromStringList(columns)).toJson(QJsonDocument::Compact);
    out += ",\"rows\":[";
    for (qsizetype row = 0; row < batch.size(); ++row) {
        out += row == 0 ? "[" : ",[";
        append_integer(out, batch.first_row() + row + 1);
        out += ',';
        append_number(out, batch.times().at(row));
        for (int column = 0; column < batch.column_count(); ++column) {
            out += ',';
            append_number(out, batch.column(column).at(row));
        }
        out += ']';
    }
    out += "]}";
    return out;
}

QByteArray run_facts(const QString &run, const QJsonObject &facts)
{
    return with_run(run, facts);
}

QByteArray mark(const QString &run, const RunMark &mark)
{
    return with_run(run, run_sidecar::mark_object(mark));
}

QByteArray gap(const QString &run, const RunGap &gap)
{
    return with_run(run, run_sidecar::gap_object(gap));
}

Result<QJsonObject> read_object(const QByteArray &message)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(message, &error);
    if (!document.isObject()) {
        return Status::invalid(error.error == QJsonParseError::NoError
                                   ? QStringLiteral("not a JSON object")
                                   : error.errorString());
    }
    const QJsonObject object = document.object();
    if (!object.value(QStringLiteral("run")).isString()) {
        return Status::invalid(QStringLiteral("no run name"));
    }
    return object;
}

Result<Samples> read_samples(const QByteArray &message)
{
    const Result<QJsonObject> object = read_object(message);
    if (!object.ok()) {
        return object.status();
    }
    Samples samples;
    samples.run = object->value(QStringLiteral("run")).toString();
    for (const QJsonValue &column : object->value(QStringLiteral("columns")).toArray()) {
        samples.columns.append(column.toString());
    }
    if (samples.columns.size() < 3 || samples.columns.at(0) != QLatin1String("id") ||
        samples.columns.at(1) != QLatin1String("time")) {
        return Status::invalid(QStringLiteral("the columns are not id, time and voltages"));
    }
    const qsizetype width = samples.columns.size();
    samples.values = QList<QList<double>>(width - 2);
    const QJsonArray rows = object->value(QStringLiteral("rows")).toArray();
    samples.ids.reserve(rows.size());
    samples.times.reserve(rows.size());
    for (const QJsonValue &rowValue : rows) {
        const QJsonArray row = rowValue.toArray();
        if (row.size() != width || !row.at(0).isDouble() || !row.at(1).isDouble()) {
            return Status::invalid(QStringLiteral("a row does not fit the columns"));
        }
        samples.ids.append(qint64(row.at(0).toDouble()));
        samples.times.append(row.at(1).toDouble());
        for (qsizetype c = 2; c < width; ++c) {
            const QJsonValue value = row.at(c);
            if (!value.isDouble() && !value.isNull()) {
                return Status::invalid(QStringLiteral("a value is not a number"));
            }
            samples.values[c - 2].append(value.isNull() ? std::nan("") : value.toDouble());
        }
    }
    return samples;
}

RunMark read_mark(const QJsonObject &object)
{
    RunMark mark;
    mark.time = object.value(QStringLiteral("time_s")).toDouble();
    mark.text = object.value(QStringLiteral("text")).toString();
    return mark;
}

RunGap read_gap(const QJsonObject &object)
{
    RunGap gap;
    gap.start = object.value(QStringLiteral("start_s")).toDouble();
    gap.length = object.value(QStringLiteral("length_s")).toDouble();
    gap.cause = object.value(QStringLiteral("cause")).toString();
    gap.count = qint64(object.value(QStringLiteral("count")).toDouble());
    return gap;
}

} // namespace run_messages
