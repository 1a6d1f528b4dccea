#pragma once

#include <QString>
#include <QStringList>

// The POSIX record locks this process holds on the files, as the kernel lists them in
// /proc/locks (Linux): one "<file> <READ|WRITE> <first byte> <last byte>" entry per lock,
// sorted. Such a lock belongs to the process and the file, and closing any descriptor of the
// process on the file releases it, whoever opened that descriptor.
QStringList held_posix_locks(const QStringList &files);

// Those of files on which this process holds at least one POSIX lock, in the order given.
QStringList posix_locked_files(const QStringList &files);
