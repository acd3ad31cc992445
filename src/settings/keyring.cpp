#include "keyring.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <functional>

namespace korvane::settings::keyring {
namespace {

const QString Service = QStringLiteral("Korvane");

bool &enabledFlag()
{
    static bool enabled = true;
    return enabled;
}

bool &failedFlag()
{
    static bool failed = false;
    return failed;
}

// Runs a job to its end or to the deadline, whichever comes first; `done`
// sees the job when it ended in time. A job left behind at the deadline
// deletes itself when it ends, and nothing here hears of it.
bool runJob(QKeychain::Job *job, QKeychain::Error *error,
            const std::function<void(QKeychain::Job *)> &done = nullptr)
{
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job *ended) {
        finished = true;
        *error = ended->error();
        if (done)
            done(ended);
        loop.quit();
    });
    QTimer::singleShot(TimeoutMs, &loop, &QEventLoop::quit);
    job->start();
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return finished;
}

bool usable()
{
    return enabledFlag() && !failedFlag() && sessionBusKnown();
}

// A failed call: no keyring for the rest of the run.
void giveUp()
{
    failedFlag() = true;
}

}  // namespace

std::optional<QString> readPassword(const QString &account)
{
    if (!usable())
        return std::nullopt;
    auto *job = new QKeychain::ReadPasswordJob(Service);
    job->setKey(account);
    QString text;
    QKeychain::Error error = QKeychain::OtherError;
    if (!runJob(job, &error, [&text](QKeychain::Job *ended) {
            text = static_cast<QKeychain::ReadPasswordJob *>(ended)->textData();
        })) {
        giveUp();
        return std::nullopt;
    }
    if (error == QKeychain::EntryNotFound)
        return QString();
    if (error != QKeychain::NoError) {
        giveUp();
        return std::nullopt;
    }
    return text;
}

bool writePassword(const QString &account, const QString &password)
{
    if (!usable())
        return false;
    auto *job = new QKeychain::WritePasswordJob(Service);
    job->setKey(account);
    job->setTextData(password);
    QKeychain::Error error = QKeychain::OtherError;
    if (!runJob(job, &error) || error != QKeychain::NoError) {
        giveUp();
        return false;
    }
    return true;
}

bool deletePassword(const QString &account)
{
    if (!usable())
        return false;
    auto *job = new QKeychain::DeletePasswordJob(Service);
    job->setKey(account);
    QKeychain::Error error = QKeychain::OtherError;
    if (!runJob(job, &error)) {
        giveUp();
        return false;
    }
    return error == QKeychain::NoError || error == QKeychain::EntryNotFound;
}

bool sessionBusKnown()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

bool mayBeAvailable()
{
    return usable();
}

void setEnabled(bool enabled)
{
    enabledFlag() = enabled;
    if (enabled)
        failedFlag() = false;
}

}  // namespace korvane::settings::keyring
