#include "appicon.h"

QIcon application_icon()
{
    return QIcon(QStringLiteral(":/image/image_resource/logo.ico"));
}
