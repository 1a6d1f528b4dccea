#include "brokerpasswordstore.h"

#include "brokeraddress.h"

#include <qt6keychain/keychain.h>

#include <type_traits>

namespace {

BrokerPasswordStore::Answer answer_of(const QKeychain::Job &job)
{
    switch (job.error()) {
    case QKeychain::NoError:
        return BrokerPasswordStore::Answer::Done;
    case QKeychain::EntryNotFound:
        return BrokerPasswordStore::Answer::NotFound;
    // Where no store runs, the jobs fail with one of these rather than saying so.
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
    case QKeychain::OtherError:
        return BrokerPasswordStore::Answer::NoStore;
    default:
        return BrokerPasswordStore::Answer::Failed;
    }
}

// The job is the context's child, so a context that goes first takes its job (and the
// answer) with it; the job deletes itself once it has answered.
template <typename JobType>
void run_job(JobType *job, const BrokerAddress &address, QObject *context,
             BrokerPasswordStore::Done done)
{
    job->setKey(BrokerPasswordStore::key_for(address));
    // Never fall back to a plain file: a password belongs in a store or nowhere.
    job->setInsecureFallback(false);
    QObject::connect(
        job, &QKeychain::Job::finished, context, [job, done = std::move(done)](QKeychain::Job *) {
            const BrokerPasswordStore::Answer answer = answer_of(*job);
            QString password;
            if constexpr (std::is_same_v<JobType, QKeychain::ReadPasswordJob>) {
                if (answer == BrokerPasswordStore::Answer::Done)
                    password = job->textData();
            }
            done(answer, password,
                 answer == BrokerPasswordStore::Answer::Done ? QString() : job->errorString());
        });
    job->start();
}

} // namespace

QString BrokerPasswordStore::key_for(const BrokerAddress &address)
{
    const QString hostPort = QStringLiteral("%1:%2").arg(address.host).arg(address.port);
    return address.user.isEmpty() ? hostPort : address.user + QLatin1Char('@') + hostPort;
}

void BrokerPasswordStore::read(const BrokerAddress &address, QObject *context, Done done)
{
    run_job(new QKeychain::ReadPasswordJob(service(), context), address, context, std::move(done));
}

void BrokerPasswordStore::write(const BrokerAddress &address, const QString &password,
                                QObject *context, Done done)
{
    auto *job = new QKeychain::WritePasswordJob(service(), context);
    job->setTextData(password);
    run_job(job, address, context, std::move(done));
}
