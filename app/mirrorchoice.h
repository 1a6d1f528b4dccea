#pragma once

#include <QString>

// Whether and where the window mirrors its runs to a PostgreSQL server, as config.ini keeps
// it. Never a password: that lives in the desktop's secret store (PasswordStore) or libpq's
// own places (~/.pgpass, PGPASSWORD, a service file).
struct MirrorChoice
{
    bool enabled = false;
    QString uri; // a libpq connection URI without a password

    static MirrorChoice load();
    void save() const;
};
