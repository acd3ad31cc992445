#pragma once
// The process-wide settings records and their files.
#include <QString>

namespace korvane::settings {

// The server settings of "pelnix.ini", one record for the whole run.
struct ServerSettings {
    QString smtpServer;
    QString pop3Server;
    QString mailAddress;
    qint16 useApop = 0;
};
ServerSettings &serverSettings();
void loadServerSettings();
// Writes the record to "pelnix.ini"; false when the file cannot be written.
bool saveServerSettings();

// The POP3 account, one record for the whole run.
struct AccountCredentials {
    QString userId;
    QString password;
};
AccountCredentials &accountCredentials();

// Section "EXEINI" of "\\★MailData\\iniIdPass.ini".
QString readCredentialValue(const QString &key);
void writeCredentialValue(const QString &key, const QString &value);

}  // namespace korvane::settings
