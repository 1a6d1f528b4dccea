#pragma once

#include <QString>

#include <functional>

// Shows the modal busy dialog with text until done() holds, looked at every pollMs while the
// event loop runs; its line is refreshed with progress() when one is given. Shown even for a
// wait that is over at once, so the operator sees one sequence always. GUI thread only.
void wait_behind_busy_dialog(const QString &text, const std::function<bool()> &done,
                             const std::function<QString()> &progress = {});

// Runs job on a thread of its own while the modal busy dialog shows text, and returns what
// the job returned (by convention a failure message, empty on success). While it runs, the
// dialog's line is refreshed with progress() when one is given. The thread ends with the
// job, taking along any database connection the job opened. GUI thread only.
QString run_behind_busy_dialog(const QString &text, const std::function<QString()> &job,
                               const std::function<QString()> &progress = {});
