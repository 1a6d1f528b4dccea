#include "publishchoice.h"

#include "settingsstore.h"

namespace {
const QString enabledKey = QStringLiteral("publish/enabled");
const QString urlKey = QStringLiteral("publish/url");
const QString caKey = QStringLiteral("publish/ca");
const QString passwordFileKey = QStringLiteral("publish/passwordFile");
} // namespace

PublishChoice PublishChoice::load()
{
    PublishChoice choice;
    choice.enabled = read_setting(enabledKey, false).toBool();
    choice.url = read_setting(urlKey, QString()).toString();
    choice.caFile = read_setting(caKey, QString()).toString();
    choice.passwordFile = read_setting(passwordFileKey, QString()).toString();
    return choice;
}

void PublishChoice::save() const
{
    write_setting_soon(enabledKey, enabled);
    write_setting_soon(urlKey, url);
    write_setting_soon(caKey, caFile);
}
