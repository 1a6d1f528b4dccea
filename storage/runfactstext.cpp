#include "runfactstext.h"

namespace {

QString utc_text(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QStringLiteral("-");
}

QString module_text(const std::optional<bool> &fitted)
{
    if (!fitted)
        return QStringLiteral("unknown");
    return *fitted ? QStringLiteral("fitted") : QStringLiteral("absent");
}

QString seconds_text(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 3);
}

// A tab or a line break in the operator's text would split the line's fields; the backslash
// is escaped too, so the text can be read back exactly.
QString escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

} // namespace

namespace run_facts_text {

QStringList lines(const RunFacts &facts)
{
    QStringList excitation;
    const QStringList names = facts.voltage_names();
    for (int i = 0; i < names.size() && i < facts.voltages.size(); ++i)
        excitation.append(QStringLiteral("%1 %2 V").arg(names[i]).arg(facts.voltages[i]));
    QStringList lines{
        QStringLiteral("started\t") + utc_text(facts.started),
        QStringLiteral("utc offset\t%1 s").arg(facts.utcOffsetSeconds),
        QStringLiteral("mode\t") + facts.mode(),
        QStringLiteral("channels\t%1").arg(facts.channels()),
        QStringLiteral("rate\t%1 points/s").arg(facts.rate),
        QStringLiteral("collection time\t%1 s").arg(facts.seconds),
        QStringLiteral("excitation\t") + excitation.join(QStringLiteral(", ")),
        QStringLiteral("battery\t") + (facts.batteryPercent
                                           ? QStringLiteral("%1 %").arg(*facts.batteryPercent)
                                           : QStringLiteral("unknown")),
        QStringLiteral("range module\t") + module_text(facts.rangeModule),
        QStringLiteral("program version\t") + facts.programVersion,
    };
    if (!facts.is_complete()) {
        // Being recorded right now, or left so by a killed program.
        lines.append(QStringLiteral("outcome\t%1 (no end recorded)").arg(facts.outcome_shown()));
        return lines;
    }
    lines << QStringLiteral("outcome\t") + facts.outcome
          << QStringLiteral("committed rows\t%1").arg(facts.committedRows)
          << QStringLiteral("dropped\t%1 frames, %2 samples")
                 .arg(facts.droppedFrames)
                 .arg(facts.droppedSamples)
          << QStringLiteral("paused\t%1 s").arg(seconds_text(facts.pausedMs))
          << QStringLiteral("ended\t") + utc_text(facts.ended);
    return lines;
}

QString mark_line(const RunMark &mark)
{
    return QStringLiteral("mark\t%1 s\t%2")
        .arg(QString::number(mark.time, 'f', 3), escaped(mark.text));
}

QStringList gap_lines(const QList<RunGap> &gaps)
{
    if (gaps.isEmpty()) {
        return {QStringLiteral("gaps\tno gaps")};
    }
    QStringList lines;
    for (const RunGap &gap : gaps) {
        lines.append(QStringLiteral("gap\t%1 s\t%2 s\t%3%4")
                         .arg(QString::number(gap.start, 'f', 3),
                              QString::number(gap.length, 'f', 3), gap.cause,
                              gap.count > 0 ? QStringLiteral(" (%1)").arg(gap.count) : QString()));
    }
    return lines;
}

QString summary(const RunFacts &facts)
{
    return QStringLiteral("Facts: %1, %2 rows committed, %3 frames and %4 samples dropped, %5 s "
                          "paused")
        .arg(facts.outcome_shown())
        .arg(facts.committedRows)
        .arg(facts.droppedFrames)
        .arg(facts.droppedSamples)
        .arg(seconds_text(facts.pausedMs));
}

} // namespace run_facts_text
