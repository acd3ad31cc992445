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
#include <QStringList>

namespace korvane::nmail {

// Once at start-up, and once at shut-down: global set-up and clean-up of the
// mail libraries (libcurl, GMime).
void NMailInitializeWinSock();
// Option 1: a size for text buffers; texts here have no size
// limit here, so it changes nothing. Option 2: seconds after which a server
// that does not answer (connect, reply or transfer) ends a call with an error
// (default 20, 1 to 600).
inline constexpr int NMailOptionBufferSize = 1;
inline constexpr int NMailOptionTimeoutSeconds = 2;
// Option 3: the largest mail, in megabytes, that NMailPop3RetrieveToFile
// takes (default 50, 1 to 4000); a larger one stays on the server.
inline constexpr int NMailOptionMaxMailMegabytes = 3;
// Option 4: seconds a mail's transfer may take beyond option 2, whatever its
// announced size (default 600, 1 to 600).
inline constexpr int NMailOptionLongestTransferSeconds = 4;
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
// `server` as the settings file holds it: "host", "host:port" (plain POP3,
// port 110), "pop3://host[:port]" (STLS required, port 110),
// "pop3s://host[:port]" (TLS, port 995). Certificates are verified against
// the system's CAs, or only against the CA file named by the environment
// variable KORVANE_CA_FILE when it is set (the test servers' own CA).
// A stop asked with NMailPop3CancelAll is cleared first, unless
// `clearCancel` is false: a caller that clears it itself
// (NMailPop3ClearCancel) before its session begins keeps a stop asked
// meanwhile, which then ends the connect at once.
int NMailPop3Connect(const QString &server, bool clearCancel = true);
// > 0: number of waiting mails; 0: none; < 0: error, reason for NMailGetMessage.
int NMailPop3Authenticate(int handle, const QString &userId, const QString &password, bool apop);
// Subject, date, from and header of mail n (from 1), without its body.
int NMailPop3GetMailStatus(int handle, int n, MailTexts &texts);
// The same from the header alone (TOP n 0; without TOP, from the first
// 256 KB of the mail), whatever size the mail is: for a mail that is not
// received.
int NMailPop3GetMailHeader(int handle, int n, MailTexts &texts);
// Size of mail n in bytes, or a negative value on error.
qint64 NMailPop3GetMailSize(int handle, int n);
// The whole of mail n: all five texts. The body is the mail's body section:
// the decoded text when the mail is a single text part, else the section as
// it stands (boundaries, part headers, encoded parts); CR LF line ends. The
// raw message is kept by the handle for NMailPop3GetRawMail until the next fetch.
int NMailPop3GetMail(int handle, int n, MailTexts &texts);
// The raw bytes of the mail last fetched with NMailPop3GetMail on this handle.
QByteArray NMailPop3GetRawMail(int handle);
// Mail n written into the new file `path` (readable by its owner only) as it
// arrives, byte for byte as the server holds it, and flushed to the
// operating system. 1: the whole mail, its terminating line received;
// -3: larger than option 3 allows (the file is removed, the mail stays on
// the server, the session goes on); -1: it did not arrive whole (the file
// is removed; the message says why: the session may have ended).
// With `bytes`, the mail is also left there; with `sha256`, its SHA-256,
// taken as it arrived (empty unless 1, or when it could not be taken).
int NMailPop3RetrieveToFile(int handle, int n, const QString &path, QByteArray *bytes = nullptr,
                            QByteArray *sha256 = nullptr);
// The same into `bytes` only (empty unless 1).
int NMailPop3RetrieveToMemory(int handle, int n, QByteArray &bytes);
// Asks the server for mail n ahead of its retrieval, where the server takes
// commands in a row (small mails only); 1 when asked, 0 when not (nothing
// changes then). The mails asked for are retrieved in the order asked.
int NMailPop3RetrieveAhead(int handle, int n);
// The largest mail NMailPop3RetrieveToFile takes, in bytes.
qint64 NMailPop3MaxMailSize();
// Every POP3 call running now or started later gives up within a fraction
// of a second and its session ends without QUIT (nothing is deleted): the
// user stopped the check, or the program is ending. NMailPop3Connect clears it.
void NMailPop3CancelAll();
void NMailPop3ClearCancel();
// The unique ID (UIDL) of mail n, or an empty string when the server has none.
QString NMailPop3GetUidl(int handle, int n);
// Marks mail n for deletion; it goes at NMailPop3Close. < 0 on error: -2
// when the server refused (the session goes on), -1 when the session ended.
int NMailPop3DeleteMail(int handle, int n);
// Sends DELE n without waiting for its answer, where the server takes
// commands in a row: 1 when sent, 0 when not (then NMailPop3DeleteMail is
// the way). NMailPop3DeleteOutcome gives the answer, as NMailPop3DeleteMail
// would have (1, -2 refused, -1 failed; NMailGetMessage says why).
int NMailPop3DeleteAhead(int handle, int n);
int NMailPop3DeleteOutcome(int handle, int n);
// QUIT and close. < 0 when the server did not confirm (deletions may not have
// taken effect).
int NMailPop3Close(int handle);
// Closes without QUIT: the server keeps every mail, those marked included.
// < 0 for an unknown handle.
int NMailPop3Abandon(int handle);

// Parses the whole mail (`mailText`, the raw message), saves every attachment
// into `targetFolder` under a safe name, and leaves in texts.body the readable
// text of the mail (a NUL in it turned into U+FFFD, so nothing is cut off). 1: done; -5: an attachment cannot be written; -6: an
// incomplete message/partial. `workFile` is the path of the work file that
// holds the mail text.
// A saved name is the attachment's decoded name reduced to a safe base name
// (no folders, no "..", no control characters or characters a file system
// refuses); an existing file is never replaced ("name (2).ext"). A mail
// without attachments saves nothing. A stop asked with NMailPop3CancelAll
// ends the saving (-5; the files saved so far are the caller's to remove). The other texts are set from the mail's
// header as NMailPop3GetMail sets them. The saved files are on the disk when
// it returns, unless syncedByCaller: the caller then syncs the folder.
int NMailAttachmentFileFirst(MailTexts &texts, const QString &targetFolder, const QString &workFile,
                             const QByteArray &mailText, bool syncedByCaller = false);
// The files saved by this thread's last NMailAttachmentFileFirst (absolute paths).
QStringList NMailAttachmentSavedFiles();
void NMailAttachmentFileClose();

// The text of the last error: of this thread's calls when this thread had
// one, else of the last failed call of any thread (the calls of one check or
// send run one after another, possibly each on its own worker thread).
QString NMailGetMessage();

// Sends one mail. `attachments`: comma-separated file paths, empty for none.
// < 0 on failure (then NMailGetMessage says what failed); otherwise sent.
// SMTP authenticates with the POP3 user ID and password of AccountCredentials
// (read from the credentials file when the record is empty) when the server
// offers AUTH. `server`: "host", "host:port" (plain SMTP, port 25),
// "smtp://host[:port]" (STARTTLS required, port 587), "smtps://host[:port]"
// (TLS, port 465). `to` may hold several addresses separated by "," or ";".
int NMailSmtpSendMail(const QString &server, const QString &to, const QString &from, const QString &subject,
                      const QString &body, const QString &attachments);

// What a send may add to the call above.
struct SmtpSendExtras {
    // For a reply: the answered mail's Message-ID and References fields.
    QByteArray answeredMessageId;
    QByteArray answeredReferences;
    // Set to the mail's bytes exactly as they went to the server (when sent).
    QByteArray *sentMessage = nullptr;
};
// The result of a send whose mail went out whole but whose acceptance the
// server never confirmed: the server may have the mail (NMailGetMessage says so).
constexpr int SmtpSendUncertain = -2;
// As above, with the extras; SmtpSendUncertain besides -1 on failure.
int NMailSmtpSendMail(const QString &server, const QString &to, const QString &from, const QString &subject,
                      const QString &body, const QString &attachments, const SmtpSendExtras &extras);

}  // namespace korvane::nmail
