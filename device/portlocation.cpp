#include "portlocation.h"

#include <QFileInfo>

QString port_location(const QString &name)
{
    const QFileInfo file(name);
    if (name.isEmpty() || file.isAbsolute())
        return name;
    // A link whose target is gone is the file meant all the same: it is reported missing.
    if (file.exists() || file.isSymLink())
        return file.absoluteFilePath();
#ifdef Q_OS_UNIX
    if (!name.startsWith(QLatin1String("./")) && !name.startsWith(QLatin1String("../")))
        return QStringLiteral("/dev/") + name;
#endif
    return name;
}
