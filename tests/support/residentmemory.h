#pragma once

#include <QtGlobal>

// Resident memory of this process in KiB (VmRSS of /proc/self/status), -1 when unreadable.
qint64 resident_kib();
