#include "tablecontents.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <functional>

namespace {

// Runs work on a fresh connection to databaseFile and removes it afterwards.
void withConnection(const QString &databaseFile, const std::function<void(QSqlDatabase &)> &work)
{
    static QAtomicInt counter;
    const QString name = QStringLiteral("observer-%1").arg(counter.fetchAndAddRelaxed(1));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databaseFile);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (db.open())
            work(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

QStringList tablesInFile(const QString &databaseFile)
{
    QStringList names;
    withConnection(databaseFile, [&names](QSqlDatabase &db) {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'")))
            return;
        while (query.next())
            names.append(query.value(0).toString());
    });
    return names;
}

int rowsInTable(const QString &databaseFile, const QString &table)
{
    int rows = -1;
    withConnection(databaseFile, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("SELECT COUNT(*) FROM \"%1\"").arg(table)) && query.next())
            rows = query.value(0).toInt();
    });
    return rows;
}

QByteArray tableAsCsv(const QString &databaseFile, const QString &table, int voltageDecimals)
{
    QByteArray csv;
    withConnection(databaseFile, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT * FROM \"%1\"").arg(table)))
            return;
        const QSqlRecord record = query.record();
        QStringList header;
        for (int column = 0; column < record.count(); ++column)
            header.append(record.fieldName(column));
        csv += header.join(QLatin1Char(',')).toUtf8() + '\n';
        while (query.next()) {
            QStringList fields;
            for (int column = 0; column < record.count(); ++column) {
                const QVariant value = query.value(column);
                if (value.typeId() == QMetaType::Double) {
                    fields.append(
                        QString::number(value.toDouble(), 'f', column == 1 ? 4 : voltageDecimals));
                } else {
                    fields.append(value.toString());
                }
            }
            csv += fields.join(QLatin1Char(',')).toUtf8() + '\n';
        }
    });
    return csv;
}
