#include "mirrorchoice.h"

#include "settingsstore.h"

namespace {
const QString enabledKey = QStringLiteral("mirror/enabled");
const QString uriKey = QStringLiteral("mirror/uri");
} // namespace

MirrorChoice MirrorChoice::load()
{
    MirrorChoice choice;
    choice.enabled = read_setting(enabledKey, false).toBool();
    choice.uri = read_setting(uriKey, QString()).toString();
    return choice;
}

void MirrorChoice::save() const
{
    write_setting_soon(enabledKey, enabled);
    write_setting_soon(uriKey, uri);
}
