#pragma once

#include "runfacts.h"
#include "rungaps.h"
#include "runmarks.h"

#include <QString>
#include <QStringList>

// A run's facts, marks and gaps as people read them: the same words in the recorder's info, its end
// summary and the window's facts dialog.
namespace run_facts_text {

// One tab-separated name and value per line; a run without an end says so in place of
// the end's fields.
QStringList lines(const RunFacts &facts);
// "mark", the time in seconds and the text, tab-separated; a backslash, tab, newline or
// carriage return in the text is written as \\, \t, \n or \r.
QString mark_line(const RunMark &mark);
// A "gap" line per gap (start, length, cause and what was lost), or one saying there is none.
QStringList gap_lines(const QList<RunGap> &gaps);
// How the run ended, in one line: outcome, rows committed, drops and time paused.
QString summary(const RunFacts &facts);

} // namespace run_facts_text
