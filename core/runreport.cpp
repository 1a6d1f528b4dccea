#include "runreport.h"

#include <algorithm>

bool RunReport::has(ProblemKind kind) const
{
    return find(kind) != nullptr;
}

const RunReport::Problem *RunReport::find(ProblemKind kind) const
{
    const auto it = std::find_if(problems.cbegin(), problems.cend(),
                                 [kind](const Problem &problem) { return problem.kind == kind; });
    return it == problems.cend() ? nullptr : &*it;
}

bool RunReport::has_any(std::initializer_list<ProblemKind> kinds) const
{
    return std::any_of(kinds.begin(), kinds.end(), [this](ProblemKind kind) { return has(kind); });
}
