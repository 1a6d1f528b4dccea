#pragma once

#include "runreport.h"

#include <QString>

// Decides how a run ended, once, from what the run engine knows at its end: the problems in
// the order they are told and the outcome the run's facts keep. Everything that tells of the
// end renders the RunReport it makes.
class RunVerdict
{
public:
    // Fills in the problems and the facts' outcome of a report whose figures are known.
    static RunReport judge(RunReport report);
    // The outcome the run's facts keep (see RunFacts).
    static QString facts_outcome(RunOutcome outcome, bool stopAsked);
};
