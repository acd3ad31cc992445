#pragma once
// One POP3 session. libcurl opens the connection and logs in (TLS, STLS,
// APOP, SASL, USER/PASS: CURLOPT_CONNECT_ONLY with the account set); the
// commands of the transaction state (LIST, UIDL, TOP, RETR, DELE, QUIT) are
// then spoken over that connection with curl_easy_send / curl_easy_recv.
//
// Why not libcurl's own POP3 transfers: a RETR that the server breaks off
// before its terminating "." line ends with success there, so a cut mail would
// be stored as whole and then deleted. Here a mail counts only when its
// terminator arrived; it streams into a device as it arrives, past a size
// limit it is read to its end and dropped; and every command has an overall
// deadline besides the timeout on silence, so a server that trickles bytes
// cannot hold the program.
//
// A connection that fails in a call (timeout, broken off, cut mail,
// cancelled) ends the session: later calls fail at once, and the session is
// closed without QUIT, so the server deletes nothing. There are no
// reconnections: message numbers stay those of the one session.
#include "transport_common.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <deque>
#include <chrono>

class QIODevice;

namespace korvane::nmail::transport {

class Pop3Session {
public:
    explicit Pop3Session(const ServerAddress &address);
    ~Pop3Session();
    Pop3Session(const Pop3Session &) = delete;
    Pop3Session &operator=(const Pop3Session &) = delete;

    // Reaches the server (greeting, and STLS or TLS as asked) without logging in.
    bool probe(QString &error);
    // Logs in (APOP when asked, else the best method the server offers:
    // SASL, or USER/PASS); the number of mails, or < 0 (-2: refused login).
    int authenticate(const QString &user, const QString &password, bool apop, QString &error);

    // Mail n (from 1) into `sink`, byte for byte as the server holds it
    // (dot-stuffing undone), or its header only (TOP n 0, else the whole).
    // Past `limit` bytes nothing more is written and *tooLarge is set; the
    // mail is still read to its end, so the session goes on. False when the
    // mail did not arrive whole (then the session has ended).
    bool retrieveTo(int n, bool headerOnly, QIODevice &sink, qint64 limit, bool *tooLarge, QString &error);
    // Asks for mail n now and reads the answer when it is needed (by
    // retrieveTo(n), or first thing by any later command), so that the
    // server prepares it while the last mail is taken care of. Only where
    // the server takes commands in a row (CAPA lists PIPELINING), for a mail
    // of at most AheadBytes and `limit` as listed, and no more than two
    // ahead; false when not asked (nothing changes then).
    bool retrieveAhead(int n, qint64 limit);
    static constexpr qint64 AheadBytes = 1024 * 1024;
    bool retrieve(int n, bool headerOnly, QByteArray &out, QString &error);

    qint64 size(int n) const;
    QString uidl(int n) const;
    // DELE. False with *refused set when the server said no (the session goes
    // on), false without it when the session ended.
    bool markDeleted(int n, QString &error, bool *refused = nullptr);
    // Sends DELE n and reads its answer when it is needed (deleteOutcome(n),
    // or in turn on the way to a later answer), so that the server goes on
    // with the mails asked for meanwhile. Only where the server takes
    // commands in a row; false when not sent (nothing changes then).
    bool deleteAhead(int n);
    // The answer to DELE n sent ahead: 1 deleted; -2 the server said no (the
    // session goes on); -1 the session ended; 0 no DELE n was sent ahead.
    int deleteOutcome(int n, QString &error);
    // QUIT; true when the server confirmed it (deletions took effect).
    bool quit(QString &error);
    // Ends the session without QUIT when it is closed: the server forgets
    // this session's deletions and keeps every mail.
    void abandon();

    int count() const { return int(sizes_.size()); }
    bool authenticated() const { return authenticated_; }
    bool broken() const { return broken_; }

private:
    using Clock = std::chrono::steady_clock;
    bool connect(bool login, QString &error);
    bool sendCommand(const QByteArray &command, Clock::time_point deadline);
    // Reads one line (without its line break) of the server's answer.
    bool readLine(QByteArray &line, Clock::time_point deadline);
    // Takes in what has come from the server behind the bytes held.
    CURLcode receiveMore(size_t *n);
    // Drops the bytes taken up (before inPos_).
    void dropTaken();
    // The first line of an answer: true for "+OK", false for "-ERR" (the
    // session goes on, *refused set) or a failure (the session has ended).
    bool command(const QByteArray &command, Clock::time_point deadline, QString &error, bool *refused,
                 QByteArray *status = nullptr);
    // The lines after "+OK" up to the terminating ".", dot-stuffing undone.
    bool readMultiline(QIODevice &sink, qint64 limit, bool *tooLarge, Clock::time_point deadline,
                       const QString &what, QString &error);
    // Waits until the socket is readable (or writable); false at the
    // deadline, after `timeout` seconds of silence, or when cancelled.
    bool waitSocket(bool forWrite, Clock::time_point deadline, Clock::time_point idleDeadline);
    Clock::time_point deadlineFor(qint64 expectedBytes) const;
    void fail(const QString &error);
    // False with the reason when the session cannot act on mail n (not
    // logged in, or no such mail).
    bool canActOn(int n, QString &error) const;

    CURL *curl_ = nullptr;
    curl_socket_t socket_ = CURL_SOCKET_BAD;
    ServerAddress address_;
    ReplyLog log_;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
    QByteArray in_;      // received and not yet taken up
    // RETRs and DELEs sent ahead, in the order sent, until retrieveTo or
    // deleteOutcome takes their answers.
    struct AheadAnswer {
        bool dele = false;  // DELE n, else RETR n
        int n = 0;
        qint64 limit = 0;
        bool read = false;  // the answer has been taken in
        bool ok = false;    // +OK and the whole mail
        bool tooLarge = false;
        QByteArray body;
        QString error;      // the server's -ERR
    };
    std::deque<AheadAnswer>::iterator findAhead(bool dele, int n);
    // Whether the server takes commands in a row (CAPA lists PIPELINING),
    // asked once per session.
    bool serverTakesCommandsInARow();
    // Sends `command` without waiting for its answer, which `answer` is to
    // take; false when not sent.
    bool sendAhead(const QByteArray &command, AheadAnswer answer);
    std::deque<AheadAnswer> ahead_;
    int pipelining_ = -1;  // -1: not asked yet
    // Takes in the answers sent ahead, in order, up to `upTo`'s (nullptr:
    // all). False when the session ended.
    bool readAheadAnswers(const AheadAnswer *upTo, QString &error);
    // The answer to mail n's RETR sent ahead, read in turn and taken off the
    // queue: 1; 0 when n was not asked for ahead; -1 (with `error`) when the
    // server said no or the session ended meanwhile.
    int takeAheadAnswer(int n, AheadAnswer &answer, QString &error);
    qsizetype inPos_ = 0;
    bool authenticated_ = false;
    bool broken_ = false;
    QString brokenError_;
    QString failure_;    // why the last wait gave up
    bool quitDone_ = false;
    QList<qint64> sizes_;        // by mail number - 1
    QList<QByteArray> uidls_;    // by mail number - 1; empty without UIDL
    QByteArray user_, password_;
};

}  // namespace korvane::nmail::transport
