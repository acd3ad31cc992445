#include "keyring.h"

#include "common/desktopservices.h"

#include <QFileInfo>

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

bool usable()
{
    return enabledFlag() && !failedFlag() && sessionBusKnown();
}

// A failed call: no keyring for the rest of the run.
void giveUp()
{
    failedFlag() = true;
}

// The keyring's side of the desktop module; null, and no keyring for the rest
// of the run, when the module cannot be loaded.
desktop::Services *keyringServices()
{
    QString error;
    desktop::Services *services = desktop::services(&error);
    if (!services) {
        qWarning("%s", qPrintable(QStringLiteral("キーリングに使う部品を読み込めないため、キーリングは使いません。（%1）")
                                       .arg(error)));
        giveUp();
    }
    return services;
}

}  // namespace

std::optional<QString> readPassword(const QString &account)
{
    if (!usable())
        return std::nullopt;
    desktop::Services *services = keyringServices();
    if (!services)
        return std::nullopt;
    QString text;
    switch (services->readPassword(Service, account, &text, TimeoutMs)) {
    case desktop::KeyringResult::Done: return text;
    case desktop::KeyringResult::NotFound: return QString();
    case desktop::KeyringResult::Failed:
    case desktop::KeyringResult::NoAnswer: break;
    }
    giveUp();
    return std::nullopt;
}

bool writePassword(const QString &account, const QString &password)
{
    if (!usable())
        return false;
    desktop::Services *services = keyringServices();
    if (!services)
        return false;
    if (services->writePassword(Service, account, password, TimeoutMs) != desktop::KeyringResult::Done) {
        giveUp();
        return false;
    }
    return true;
}

bool deletePassword(const QString &account)
{
    if (!usable())
        return false;
    desktop::Services *services = keyringServices();
    if (!services)
        return false;
    switch (services->deletePassword(Service, account, TimeoutMs)) {
    case desktop::KeyringResult::Done:
    case desktop::KeyringResult::NotFound: return true;
    case desktop::KeyringResult::Failed: return false;
    case desktop::KeyringResult::NoAnswer: break;
    }
    giveUp();
    return false;
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
