#include "scopedworkdir.h"

#include <QDir>

ScopedWorkDir::ScopedWorkDir()
    : previous_(QDir::currentPath())
{
    QDir::setCurrent(dir_.path());
}

ScopedWorkDir::~ScopedWorkDir()
{
    QDir::setCurrent(previous_);
}
