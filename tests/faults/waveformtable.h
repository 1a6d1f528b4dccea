#pragma once

#include <QList>
#include <QString>

// Reads a run table back from a database file and compares it with what the instrument
// simulator sent: row k of a clean run holds sample k of the simulator's waveform, at time
// k / rate. Rows carrying a voltage of 20 V or more cannot come from the waveform (it stays
// within a few volts); they are set aside as foreign rows for the caller to check.
class WaveformTable
{
public:
    WaveformTable(const QString &databaseFile, const QString &table);

    // Empty when the table is a gap-free, duplicate-free copy of the waveform from its first
    // sample on (foreign rows aside); otherwise what differs, for the failure message.
    QString compare(bool singleChannel, int rate, quint32 pattern);

    qint64 rows() const { return rows_; }
    qint64 waveform_rows() const { return waveformRows_; }
    // The voltages of each foreign row, in table order.
    const QList<QList<double>> &foreign_rows() const { return foreign_; }

    // The voltage the decoder makes of the simulator's channel (0-15) at sample k.
    static double millivolts(int channel, quint64 sample, quint32 pattern);
    // "ok", or SQLite's complaint.
    static QString integrity_check(const QString &databaseFile);

private:
    QString file_;
    QString table_;
    qint64 rows_ = -1;
    qint64 waveformRows_ = 0;
    QList<QList<double>> foreign_;
};
