#include "passwordstore.h"

#include "brokeraddress.h"
#include "mirrortarget.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QObject>

#include <type_traits>

namespace {

PasswordStore::Answer answer_of(const QKeychain::Job &job)
{
    switch (job.error()) {
    case QKeychain::NoError:
        return PasswordStore::Answer::Done;
    case QKeychain::EntryNotFound:
        return PasswordStore::Answer::NotFound;
    // Where no store runs, the jobs fail with one of these rather than saying so.
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
    case QKeychain::OtherError:
        return PasswordStore::Answer::NoStore;
    default:
        return PasswordStore::Answer::Failed;
    }
}

// The job is the context's child, so a context that goes first takes its job (and the
// answer) with it; the job deletes itself once it has answered.
template <typename JobType>
void run_job(JobType *job, const QString &key, QObject *context, PasswordStore::Done done)
{
    job->setKey(key);
    // Never fall back to a plain file: a password belongs in a store or nowhere.
    job->setInsecureFallback(false);
    QObject::connect(
        job, &QKeychain::Job::finished, context, [job, done = std::move(done)](QKeychain::Job *) {
            const PasswordStore::Answer answer = answer_of(*job);
            QString password;
            if constexpr (std::is_same_v<JobType, QKeychain::ReadPasswordJob>) {
                if (answer == PasswordStore::Answer::Done)
                    password = job->textData();
            }
            done(answer, password,
                 answer == PasswordStore::Answer::Done ? QString() : job->errorString());
        });
    job->start();
}

} // namespace

QString PasswordStore::broker_key(const BrokerAddress &address)
{
    const QString hostPort = QStringLiteral("%1:%2").arg(address.host).arg(address.port);
    return address.user.isEmpty() ? hostPort : address.user + QLatin1Char('@') + hostPort;
}

QString PasswordStore::server_key(const MirrorTarget &target)
{
    return target.user() + QLatin1Char('@') + target.shown();
}

void PasswordStore::read(const QString &key, QObject *context, Done done)
{
    run_job(new QKeychain::ReadPasswordJob(service(), context), key, context, std::move(done));
}

QString PasswordStore::wait_for(const QString &key)
{
    QEventLoop loop;
    QString kept;
    bool answered = false;
    read(key, &loop, [&](Answer answer, const QString &password, const QString &) {
        if (answer == Answer::Done)
            kept = password;
        answered = true;
        loop.quit();
    });
    if (!answered)
        loop.exec();
    return kept;
}

void PasswordStore::write(const QString &key, const QString &password, QObject *context, Done done)
{
    auto *job = new QKeychain::WritePasswordJob(service(), context);
    job->setTextData(password);
    run_job(job, key, context, std::move(done));
}
