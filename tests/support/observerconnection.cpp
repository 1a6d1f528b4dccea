#include "observerconnection.h"

#include <QAtomicInt>
#include <QSqlError>

QString with_observer_connection(const QString &databaseFile,
                                 const std::function<QString(QSqlDatabase &)> &body)
{
    static QAtomicInt counter;
    const QString name = QStringLiteral("observer-%1").arg(counter.fetchAndAddRelaxed(1));
    QString result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databaseFile);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        result = db.open() ? body(db) : QStringLiteral("cannot open: ") + db.lastError().text();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}
