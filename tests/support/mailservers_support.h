#pragma once
// The private mail servers of a test run (scripts/mailservers.sh): their
// details, a way to put mail into the POP3 mailbox and to read what the SMTP
// server accepted. A test marked MAILSERVERS finds them through the
// environment variable KORVANE_MAILSERVERS (the folder holding "env").
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace korvane::test {

// One message the SMTP server accepted: its bytes as received and its envelope.
struct SpooledMail {
    QByteArray content;       // byte for byte, CR LF as sent
    QString envelopeFrom;
    QStringList recipients;
    QString authUser;         // empty without AUTH
    QString listener;         // "plain", "submission" or "smtps"
    bool tls = false;
};

class MailServers {
public:
    // Reads $KORVANE_MAILSERVERS/env. ok() is false (and error() says why)
    // when the variable is unset or the file cannot be read.
    static MailServers fromEnvironment();
    // Reads DIR/env.
    static MailServers fromFolder(const QString &dir);

    bool ok() const { return error_.isEmpty(); }
    QString error() const { return error_; }

    QString host = QStringLiteral("127.0.0.1");
    QString host2 = QStringLiteral("127.0.0.2");  // dovecot treats it as not secured
    int pop3Port = 0;
    int pop3sPort = 0;
    int smtpPort = 0;        // plain SMTP with STARTTLS, no AUTH
    int submissionPort = 0;  // STARTTLS, then AUTH required
    int smtpsPort = 0;       // TLS from the start, AUTH required
    QString user;
    QString password;
    QString maildir;         // the POP3 user's Maildir (tmp, new, cur)
    QString smtpSpool;       // accepted messages as NNNNNN.eml + NNNNNN.env
    QString caFile;          // the CA that signed the servers' certificate

    // Server names as the settings file would hold them.
    QString pop3Plain() const;                   // "127.0.0.1:port"
    QString pop3Stls(bool secondHost = false) const;  // "pop3://host:port"
    QString pop3s() const;                       // "pop3s://127.0.0.1:port"
    QString smtpPlain() const;                   // "127.0.0.1:port"
    QString smtpSubmission() const;              // "smtp://127.0.0.1:port" (STARTTLS + AUTH)
    QString smtps() const;                       // "smtps://127.0.0.1:port"

    // Makes the transport (this process and programs it starts) trust the
    // servers' CA: sets KORVANE_CA_FILE.
    void trustCa() const;

    // Puts one message into the mailbox (written into tmp/, renamed into new/),
    // seen at the next login. Messages delivered one after another are listed
    // by the server in that order. False when it cannot be written.
    bool deliver(const QByteArray &message) const;
    // Removes every mail of the mailbox (UIDLs never repeat afterwards).
    void emptyMaildir() const;
    // Mails in the mailbox (new and cur).
    int maildirCount() const;

    // The SMTP server's accepted messages, oldest first.
    QList<SpooledMail> spooled() const;
    // Waits up to `timeoutMs` until at least `count` messages are spooled.
    QList<SpooledMail> waitForSpooled(int count, int timeoutMs = 5000) const;
    void emptySpool() const;

    // A TCP port on 127.0.0.1 where nothing listens (free at the time of the call).
    static int unusedPort();

private:
    QString error_;
};

// The misbehaving POP3 server of tests/support/pop3_misbehaving.py on 127.0.0.1:
// a mailbox of files, and a fault chosen by its options ("--cut", "2";
// "--dup-uidl"; "--refuse-dele", "1"; "--trickle"; "--in-pieces"; "--lie-size"). Stopped
// when this object goes.
class MisbehavingPop3 {
public:
    MisbehavingPop3(const QList<QByteArray> &mails, const QStringList &options);
    ~MisbehavingPop3();
    MisbehavingPop3(const MisbehavingPop3 &) = delete;
    MisbehavingPop3 &operator=(const MisbehavingPop3 &) = delete;

    bool ok() const { return port_ > 0; }
    QString address() const;         // "127.0.0.1:port"
    QStringList commands() const;    // every command received, in order
    int mailboxCount() const;        // mails still on the server
    // The server again, with other options, on the same mailbox.
    bool restart(const QStringList &options);

private:
    bool start(const QStringList &options);
    void stop();
    QString dir_;
    qint64 pid_ = 0;
    int port_ = 0;
};

}  // namespace korvane::test
