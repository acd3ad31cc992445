#pragma once
// One POP3 session over libcurl: one easy handle, reused for every command,
// so its connection stays one session from login to QUIT.
//
// libcurl 7.88 waits for a multi-line answer to custom commands, so only
// multi-line commands (LIST, UIDL, RETR, TOP) carry a body and single-line
// ones (DELE, RSET, QUIT) are sent without one. Should libcurl have opened a
// new connection on the way (the old one broke), message numbers and marks
// for deletion belong to the lost session: the session then maps its numbers
// again by UIDL and marks its deletions anew before going on. A connection
// that fails in a call (timeout, broken off) ends the session: later calls
// fail at once, so a dead server costs the user one timeout, not one a call.
#include "transport_common.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

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
    // SASL, or USER/PASS); the number of mails, or < 0.
    int authenticate(const QString &user, const QString &password, bool apop, QString &error);
    // Mail n (from 1): the whole message, or its header only (TOP n 0, or the
    // header of RETR when the server has no TOP).
    bool retrieve(int n, bool headerOnly, QByteArray &out, QString &error);
    qint64 size(int n) const;
    QString uidl(int n) const;
    bool markDeleted(int n, QString &error);
    // QUIT; true when the server confirmed it (deletions took effect).
    bool quit(QString &error);
    // Ends the session without QUIT when it is closed: the server forgets
    // this session's deletions and keeps every mail.
    void abandon();

    int count() const { return int(sizes_.size()); }
    bool authenticated() const { return authenticated_; }

private:
    CURLcode run(const QByteArray &command, bool noBody, QByteArray *sink);
    CURLcode numbered(int n, const QByteArray &verb, const QByteArray &tail, bool noBody, QByteArray *sink,
                      QString &error);
    bool resync(QString &error);
    int current(int n) const;
    QString failure(CURLcode code) const;

    CURL *curl_ = nullptr;
    ServerAddress address_;
    ReplyLog log_;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
    long lastConnects_ = 0;
    bool authenticated_ = false;
    bool broken_ = false;
    QString brokenError_;
    bool quitDone_ = false;
    QMap<int, qint64> sizes_;      // by the number of the first session
    QMap<int, QByteArray> uidls_;  // by the number of the first session; empty without UIDL
    bool renumbered_ = false;
    QMap<int, int> numbers_;       // first session's number -> current number, once renumbered
    QSet<int> deleted_;            // first session's numbers marked for deletion
    QByteArray user_, password_;
};

}  // namespace korvane::nmail::transport
