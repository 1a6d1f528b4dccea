#include "clocktext.h"

#include <QTimeZone>

#include <algorithm>
#include <cmath>

QString clock_text(const QDateTime &start, double seconds, int decimals)
{
    decimals = std::clamp(decimals, 0, 4);
    qint64 scale = 1;
    for (int d = 0; d < decimals; ++d)
        scale *= 10;
    // Epoch seconds times 10^4 stay below 2^53, so the sum is exact to the last digit shown.
    const double epochSeconds = double(start.toMSecsSinceEpoch()) / 1000.0 + seconds;
    const qint64 units = std::llround(epochSeconds * double(scale));
    const qint64 whole = units >= 0 ? units / scale : -((-units + scale - 1) / scale);
    const qint64 fraction = units - whole * scale;
    QString text =
        QDateTime::fromSecsSinceEpoch(whole, start.timeZone()).toString(QStringLiteral("hh:mm:ss"));
    if (decimals > 0)
        text +=
            QLatin1Char('.') + QString::number(fraction).rightJustified(decimals, QLatin1Char('0'));
    return text;
}
