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
// The ID and password a login uses: those given in this run (the ID/PASS
// window's OK puts them into the record, saved or not) and, while the run has
// none, those of the credentials file, which then become the run's.
AccountCredentials loginCredentials();

// Section "EXEINI" of "\\★MailData\\iniIdPass.ini".
QString readCredentialValue(const QString &key);
void writeCredentialValue(const QString &key, const QString &value);

// ---- Details of the two files ----

// "pelnix.ini" in the program folder: four lines "SMTP=", "POP3=", "MAIL=",
// "APOP=", each ended by CR LF, code page 932. Reading takes the keys
// case-sensitively at the start of a line, at most 100 characters of value,
// the last occurrence of a key winning.
inline constexpr const char16_t *SettingsFile = u"\\pelnix.ini";
inline constexpr int MaxSettingLength = 100;
QString settingsFilePath();
// The file's bytes for a record (what saveServerSettings writes).
QByteArray settingsFileContent(const ServerSettings &settings);
// Reads settings text into a record; keys that do not occur leave their
// fields as they are.
void parseSettingsFile(const QByteArray &bytes, ServerSettings &settings);
// saveServerSettings with the reason of a failure.
bool saveServerSettings(QString *error);

// The credentials file: a profile file with section "EXEINI" and the keys
// "NAME" (user ID), "NAME2" (password, in clear text) and "NAME3" ("1" or "0",
// whether the last confirmation asked to save). It is kept readable by its
// owner only. Where the desktop's keyring answers, the password lives there
// instead (keyring.h, under keyringAccount()) and "NAME2" stays empty; a
// password found in the file moves to the keyring when it is read.
inline constexpr const char16_t *CredentialsFile = u"\\★MailData\\iniIdPass.ini";
inline constexpr const char *CredentialsSection = "EXEINI";
inline constexpr int MaxCredentialBytes = 255;
inline constexpr const char *PasswordKey = "NAME2";
QString keyringAccount();
QString credentialsFilePath();
// writeCredentialValue with the outcome: false, with the reason in *error,
// when the file cannot be written.
bool tryWriteCredentialValue(const QString &key, const QString &value, QString *error = nullptr);

}  // namespace korvane::settings
