#pragma once

#include "logmanager.h"

// Runs the process's log manager (Logs/ of the working directory) for the
// lifetime of the object; stopping it writes out every queued line.
class ScopedLogManager
{
public:
    ScopedLogManager() { start_log_manager(); }
    ~ScopedLogManager() { stop_log_manager(); }
    ScopedLogManager(const ScopedLogManager &) = delete;
    ScopedLogManager &operator=(const ScopedLogManager &) = delete;
};
