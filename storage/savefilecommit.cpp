#include "savefilecommit.h"

#include <QSaveFile>

bool commit_save_file(QSaveFile &file)
{
    if (!file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
