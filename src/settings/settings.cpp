#include "settings.h"

#include "keyring.h"

#include "common/atomicfile.h"
#include "common/cp932.h"
#include "common/paths.h"
#include "common/text.h"
#include "profilefile.h"

#include <QFile>

namespace korvane::settings {
namespace {

// One line of the file, without its line end.
QByteArray settingLine(const char *key, QString value)
{
    // A line end inside a value would start a new line of its own.
    value.replace(u'\r', u' ');
    value.replace(u'\n', u' ');
    return QByteArray(key) + cp932::encode(value) + "\r\n";
}

}  // namespace

ServerSettings &serverSettings()
{
    static ServerSettings settings;
    return settings;
}

AccountCredentials &accountCredentials()
{
    static AccountCredentials credentials;
    return credentials;
}

AccountCredentials loginCredentials()
{
    AccountCredentials &run = accountCredentials();
    if (!run.userId.isEmpty() && !run.password.isEmpty())
        return run;
    const AccountCredentials saved{readCredentialValue(QStringLiteral("NAME")),
                                   readCredentialValue(QStringLiteral("NAME2"))};
    if (!saved.userId.isEmpty() && !saved.password.isEmpty())
        run = saved;
    return run;
}

QString settingsFilePath()
{
    return paths::resolve(QString::fromUtf16(SettingsFile));
}

QByteArray settingsFileContent(const ServerSettings &s)
{
    return settingLine("SMTP=", s.smtpServer) + settingLine("POP3=", s.pop3Server)
         + settingLine("MAIL=", s.mailAddress) + settingLine("APOP=", QString::number(s.useApop));
}

void parseSettingsFile(const QByteArray &bytes, ServerSettings &s)
{
    // Lines end with CR LF; a bare CR or LF ends a line as well, so a file
    // edited with another tool still reads line by line.
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        const QString line = cp932::decode(bytes.constData() + start, end - start);
        if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n')
            ++end;
        start = end + 1;

        const QString key = line.left(5);
        const QString value = line.mid(5, MaxSettingLength);
        if (key == u"SMTP=")
            s.smtpServer = value;
        else if (key == u"POP3=")
            s.pop3Server = value;
        else if (key == u"MAIL=")
            s.mailAddress = value;
        else if (key == u"APOP=")
            s.useApop = leadingInt16(value);
    }
}

void loadServerSettings()
{
    QFile file(settingsFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    parseSettingsFile(file.readAll(), serverSettings());
}

bool saveServerSettings(QString *error)
{
    // Written to a work copy and renamed over the file, so a crash never
    // leaves the settings half written. The account's servers and address:
    // the owner's alone.
    QString reason;
    if (!replaceFile(settingsFilePath(), settingsFileContent(serverSettings()), &reason, OwnerOnlyPermissions)) {
        if (error)
            *error = QStringLiteral("%1 に書き込めません: %2").arg(settingsFilePath(), reason);
        return false;
    }
    return true;
}

bool saveServerSettings()
{
    return saveServerSettings(nullptr);
}

QString credentialsFilePath()
{
    return paths::resolve(QString::fromUtf16(CredentialsFile));
}

namespace {

bool isPasswordKey(const QString &key)
{
    return key.compare(QLatin1String(PasswordKey), Qt::CaseInsensitive) == 0;
}

bool writeCredentialFile(const QString &key, const QString &value, QString *error)
{
    // The file may hold a password in clear text: owner only, from the first
    // byte written, and tightened if it was ever wider.
    return profile::writeString(paths::ensureParent(QString::fromUtf16(CredentialsFile)),
                                QString::fromLatin1(CredentialsSection), key, value,
                                QFileDevice::ReadOwner | QFileDevice::WriteOwner, error);
}

}  // namespace

QString keyringAccount()
{
    // One saved password per program folder, as one credentials file.
    return QStringLiteral("iniIdPass %1").arg(credentialsFilePath());
}

QString readCredentialValue(const QString &key)
{
    const QString value = profile::readString(credentialsFilePath(), QString::fromLatin1(CredentialsSection), key,
                                              QString(), MaxCredentialBytes);
    if (!isPasswordKey(key))
        return value;
    if (!value.isEmpty()) {
        // A password the file still holds moves to the keyring and leaves
        // the file, where a keyring takes it.
        if (keyring::writePassword(keyringAccount(), value))
            writeCredentialFile(key, QString(), nullptr);
        return value;
    }
    return keyring::readPassword(keyringAccount()).value_or(QString());
}

bool tryWriteCredentialValue(const QString &key, const QString &value, QString *error)
{
    if (isPasswordKey(key)) {
        const bool inKeyring = value.isEmpty() ? keyring::deletePassword(keyringAccount())
                                               : keyring::writePassword(keyringAccount(), value);
        if (inKeyring)
            return writeCredentialFile(key, QString(), error);
    }
    return writeCredentialFile(key, value, error);
}

void writeCredentialValue(const QString &key, const QString &value)
{
    tryWriteCredentialValue(key, value);
}

}  // namespace korvane::settings
