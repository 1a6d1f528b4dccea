#include "servercheck.h"

#include "pgconnection.h"
#include "serverschema.h"

Status check_server(const MirrorTarget &target, int timeoutSeconds)
{
    PgConnection connection(target.uri(), timeoutSeconds, target.password());
    const Status connected = connection.connect_status();
    if (connected.is(Status::Kind::Unavailable)) {
        return Status::unavailable(QStringLiteral("the PostgreSQL server %1 cannot be reached: %2")
                                       .arg(target.shown(), connected.message()));
    }
    if (!connected.ok()) {
        return Status::invalid(QStringLiteral("cannot connect to the PostgreSQL server %1: %2")
                                   .arg(target.shown(), connected.message()));
    }
    const Status layout = server_schema::ensure(connection);
    if (layout.is(Status::Kind::Unavailable)) {
        return Status::unavailable(QStringLiteral("the PostgreSQL server %1 went away: %2")
                                       .arg(target.shown(), layout.message()));
    }
    if (!layout.ok()) {
        return Status::invalid(
            QStringLiteral("the PostgreSQL server %1: %2").arg(target.shown(), layout.message()));
    }
    return Status::success();
}
