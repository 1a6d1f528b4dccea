#pragma once

#include <csignal>

#include <sys/resource.h>

// While it lives, no file of this process may grow beyond `bytes`, as on a disk with no
// more room: writes past it fail instead of killing the process. Zero leaves files alone.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = SIG_DFL;
    bool active_ = false;
};
