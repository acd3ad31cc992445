#pragma once
// What the POP3 and SMTP sessions share: server names as the settings file
// holds them, libcurl options every session sets, and the texts that tell
// the user what went wrong.
#include <QByteArray>
#include <QString>

#include <curl/curl.h>

#include <chrono>

namespace korvane::nmail::transport {

enum class Security {
    Plain,        // "host", "host:port": as before, no encryption
    StartTls,     // "pop3://", "smtp://": STLS / STARTTLS required
    ImplicitTls,  // "pop3s://", "smtps://": TLS from the start
};

enum class Protocol { Pop3, Smtp };

struct ServerAddress {
    QString host;
    int port = 0;
    Security security = Security::Plain;
    QByteArray url;  // for libcurl, ending in "/"
    QString shown;   // host:port, for messages
};

// Parses a server name; false (with a message) when it cannot be used.
// Ports by default: POP3 110, POP3S 995; SMTP 25, SMTPS 465, submission 587.
// Without a scheme, port 995 (POP3) or 465 (SMTP) means TLS from the start.
bool parseServer(const QString &name, Protocol protocol, ServerAddress &address, QString &error);

// Seconds after which a silent server (connect, reply or transfer) ends a call.
int timeoutSeconds();
void setTimeoutSeconds(int seconds);
// Seconds a mail's transfer may take beyond timeoutSeconds(), however large
// the server says the mail is (default 600, 1 to 600): a server announcing a
// huge mail cannot hold a check for hours by trickling it.
int longestTransferSeconds();
void setLongestTransferSeconds(int seconds);

// A new libcurl handle (null when libcurl has none to give), libcurl's
// global set-up done before the first: libcurl is set up when the first
// session begins, not at start.
CURL *newCurlHandle();
// libcurl's global clean-up, when it was set up; a later handle sets it up
// again.
void endCurl();

// Options every session sets: timeouts, TLS and certificate checks, the CA
// file named by KORVANE_CA_FILE when set, no signals (calls run off the
// user-interface thread).
void applyCommonOptions(CURL *curl, const ServerAddress &address);

// Every POP3 session open, and every one to come, gives up its current call
// within a fraction of a second: the user stopped the check, or the program
// is ending. Holds until clearCancel().
void cancelAllSessions();
void clearCancel();
bool cancelRequested();

// Collects the server's reply lines through libcurl's debug callback, so a
// failure can be told with the server's own words.
struct ReplyLog {
    QByteArray lastReply;  // the last reply line of the current command
    QByteArray lastError;  // the last "-ERR" / 4xx / 5xx line
    // libcurl closes a connection after a failed command with a QUIT of its
    // own and waits a whole server timeout for the answer; a server that
    // stopped answering would cost that timeout twice. Such a QUIT gets a
    // short grace only; a QUIT we ask for ourselves gets the full timeout.
    bool quitAsked = false;
    bool cancellable = false;  // gives up when cancelRequested()
    bool quitUnasked = false;
    std::chrono::steady_clock::time_point quitSentAt;
    void clear()
    {
        lastReply.clear();
        lastError.clear();
        quitUnasked = false;
    }
};
// How long a QUIT that libcurl sent by itself may wait for its answer.
constexpr std::chrono::milliseconds UnaskedQuitGrace{1000};
void attachReplyLog(CURL *curl, ReplyLog *log);
// What the debug callback of attachReplyLog does with one piece of traffic:
// for a session that watches the traffic itself and passes it on.
int logTraffic(curl_infotype type, const char *data, size_t size, ReplyLog *log);

// A sentence for the user about a failed libcurl call.
QString describeFailure(CURLcode code, const char *errorBuffer, const ReplyLog &log, const ServerAddress &address,
                        Protocol protocol);

}  // namespace korvane::nmail::transport
