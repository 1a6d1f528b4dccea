#pragma once

#include <QString>

// Whether and where the window publishes its runs, as config.ini keeps it. The password is
// never among it: it lives in the desktop's secret store (PasswordStore), the
// environment or a password file.
struct PublishChoice
{
    bool enabled = false;
    QString url;          // mqtt[s]://[USER@]HOST[:PORT]/PREFIX
    QString caFile;       // mqtts: the certificate authority to trust
    QString passwordFile; // a file whose first line is the password, when no secret store runs

    static PublishChoice load();
    // Keeps enabled, url and caFile (the password file is set in config.ini by hand).
    void save() const;
};
