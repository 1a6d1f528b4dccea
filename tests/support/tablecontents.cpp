#include "tablecontents.h"

#include "observerconnection.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

QStringList tablesInFile(const QString &databaseFile)
{
    QStringList names;
    with_observer_connection(databaseFile, [&names](QSqlDatabase &db) -> QString {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'")))
            return QString();
        while (query.next())
            names.append(query.value(0).toString());
        return QString();
    });
    return names;
}

int rowsInTable(const QString &databaseFile, const QString &table)
{
    int rows = -1;
    with_observer_connection(databaseFile, [&](QSqlDatabase &db) -> QString {
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("SELECT COUNT(*) FROM \"%1\"").arg(table)) && query.next())
            rows = query.value(0).toInt();
        return QString();
    });
    return rows;
}

QByteArray tableAsCsv(const QString &databaseFile, const QString &table, int voltageDecimals)
{
    QByteArray csv;
    with_observer_connection(databaseFile, [&](QSqlDatabase &db) -> QString {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT * FROM \"%1\"").arg(table)))
            return QString();
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
        return QString();
    });
    return csv;
}
