#include "status.h"

Status Status::prefixed(const QString &context) const
{
    if (ok()) {
        return *this;
    }
    return Status(kind_, context + QLatin1String(": ") + message_);
}
