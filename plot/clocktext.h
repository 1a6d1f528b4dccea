#pragma once

#include <QDateTime>
#include <QString>

// The local time of day `seconds` after start as hh:mm:ss with `decimals` fraction digits
// (at most 4), rounded as a whole so 12:00:00.99996 reads 12:00:01.0000, not 12:00:00.10000.
QString clock_text(const QDateTime &start, double seconds, int decimals);
