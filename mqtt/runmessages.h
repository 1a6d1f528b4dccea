#pragma once

#include "status.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

class SampleBatch;
struct RunGap;
struct RunMark;

// The JSON messages a run is published in, and reading them back:
// - samples: {"run": NAME, "columns": ["id","time","Vol1",...], "rows": [[1, 0.0, 12.5, ...]]},
//   the columns as the run's CSV header, the rows in id order, values as stored (mV), every
//   number in its shortest form that reads back to the same double;
// - run: the run's facts (as its sidecar's "facts") plus "run": NAME;
// - marks and gaps: one object each, as the sidecar lists them, plus "run": NAME.
namespace run_messages {

// A run's batch of rows: ids from batch.first_row() + 1 on.
QByteArray samples(const QString &run, const QStringList &columns, const SampleBatch &batch);
QByteArray run_facts(const QString &run, const QJsonObject &facts);
QByteArray mark(const QString &run, const RunMark &mark);
QByteArray gap(const QString &run, const RunGap &gap);

// A samples message read back.
struct Samples
{
    QString run;
    QStringList columns; // "id", "time", then the voltage columns
    QList<qint64> ids;
    QList<double> times;
    QList<QList<double>> values; // one list per voltage column
};
// Invalid, saying why, for anything that is not a samples message of the form above
// (columns not starting with id and time, a row of the wrong width or with a non-number).
Result<Samples> read_samples(const QByteArray &message);
// Any of the other messages: its object; Invalid when it is not a JSON object with "run".
Result<QJsonObject> read_object(const QByteArray &message);
RunMark read_mark(const QJsonObject &object);
RunGap read_gap(const QJsonObject &object);

} // namespace run_messages
