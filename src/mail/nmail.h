#pragma once
// The mail transport: POP3 reception, SMTP sending and attachment extraction,
// behind the functions the rest of the program calls by name. Built over
// libcurl (POP3, SMTP, TLS) and GMime 3 (MIME).
//
// Texts go in and come out as Unicode; every text that comes back has been
// cut at its first NUL (trimAtNul). Calls block: the windows run them off the
// user-interface thread (common/background.h). One POP3 session per
// connection handle; a handle is used by one thread at a time.
#include <QByteArray>
#include <QString>

namespace korvane::nmail {

// Once at start-up, and once at shut-down: global set-up and clean-up of the
// mail libraries (libcurl, GMime).
void NMailInitializeWinSock();
void NMailSetOption(int option, int value);
void NMailEndWinSock();

// The texts of one mail.
struct MailTexts {
    QString subject;  // decoded (RFC 2047/2231, Japanese fallbacks)
    QString date;     // the Date header's text
    QString from;     // decoded
    QString header;   // the raw header block
    QString body;     // NMailPop3GetMail: the body section, transfer-decoded when the mail is a single part
};

// A connection handle (> 0), or -1 when the server cannot be reached.
// `server` as the settings file holds it: "host", "host:port",
// "pop3://host[:port]" (STLS required), "pop3s://host[:port]" (TLS).
int NMailPop3Connect(const QString &server);
// > 0: number of waiting mails; 0: none; < 0: error, reason for NMailGetMessage.
int NMailPop3Authenticate(int handle, const QString &userId, const QString &password, bool apop);
// Subject, date, from and header of mail n (from 1), without its body.
int NMailPop3GetMailStatus(int handle, int n, MailTexts &texts);
// Size of mail n in bytes, or a negative value on error.
qint64 NMailPop3GetMailSize(int handle, int n);
// The whole of mail n: all five texts. The raw message is kept by the handle
// for NMailPop3GetRawMail until the next fetch.
int NMailPop3GetMail(int handle, int n, MailTexts &texts);
// The raw bytes of the mail last fetched with NMailPop3GetMail on this handle.
QByteArray NMailPop3GetRawMail(int handle);
// The unique ID (UIDL) of mail n, or an empty string when the server has none.
QString NMailPop3GetUidl(int handle, int n);
// Marks mail n for deletion; it goes at NMailPop3Close. < 0 on error.
int NMailPop3DeleteMail(int handle, int n);
// QUIT and close. < 0 when the server did not confirm (deletions may not have
// taken effect).
int NMailPop3Close(int handle);

// Parses the whole mail (`mailText`, the raw message), saves every attachment
// into `targetFolder` under a safe name, and leaves in texts.body the readable
// text of the mail. 1: done; -5: an attachment cannot be written; -6: an
// incomplete message/partial. `workFile` is the path of the work file that
// holds the mail text.
int NMailAttachmentFileFirst(MailTexts &texts, const QString &targetFolder, const QString &workFile,
                             const QByteArray &mailText);
void NMailAttachmentFileClose();

// The text of the last error of this thread's calls.
QString NMailGetMessage();

// Sends one mail. `attachments`: comma-separated file paths, empty for none.
// < 0 on failure (then NMailGetMessage says what failed); otherwise sent.
// SMTP authenticates with the POP3 user ID and password of AccountCredentials
// when the server offers AUTH.
int NMailSmtpSendMail(const QString &server, const QString &to, const QString &from, const QString &subject,
                      const QString &body, const QString &attachments);

}  // namespace korvane::nmail
