#include "transport_smtp.h"

#include <QSysInfo>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <cstring>

#include <sys/socket.h>

namespace korvane::nmail::transport {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> finalReplyWait{600};  // RFC 5321 4.5.3.2.6: the "DATA termination" timeout
std::atomic<bool> stopRequested{false};

// One send as it goes: the upload, and the traffic that shows the server is alive.
struct Send {
    CURL *curl = nullptr;
    const QByteArray *data = nullptr;
    qsizetype offset = 0;
    ReplyLog log;
    Clock::time_point lastTraffic = Clock::now();
    bool mailSent = false;        // every byte of the mail handed over
    Clock::time_point mailSentAt;
    bool repliedAfterMail = false;
    bool stalled = false;         // a reply other than the final one did not come in time
    bool finalReplyMissing = false;
    curl_socket_t socket = CURL_SOCKET_BAD;
};

// libcurl may go on waiting for an answer after the progress callback asked
// it to stop (its own QUIT on the way out waits a whole server timeout): the
// connection is shut, which ends every wait on it at once.
int giveUp(Send *s)
{
    if (s->socket != CURL_SOCKET_BAD)
        ::shutdown(s->socket, SHUT_RDWR);
    return 1;
}

int noteSocket(void *userp, curl_socket_t socket, curlsocktype)
{
    static_cast<Send *>(userp)->socket = socket;
    return CURL_SOCKOPT_OK;
}

size_t readUpload(char *buffer, size_t size, size_t count, void *userp)
{
    auto *s = static_cast<Send *>(userp);
    const size_t n = qMin(size * count, size_t(s->data->size() - s->offset));
    memcpy(buffer, s->data->constData() + s->offset, n);
    s->offset += qsizetype(n);
    if (s->offset == s->data->size() && !s->mailSent) {
        s->mailSent = true;
        s->mailSentAt = Clock::now();
        // Only the answer to the end of the mail may take that long; the
        // progress callback holds the wait to finalReplyWait.
        const long longest = finalReplyWait.load() + 5;
        curl_easy_setopt(s->curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, longest);
        curl_easy_setopt(s->curl, CURLOPT_LOW_SPEED_TIME, longest);
    }
    return n;
}

int watchTraffic(CURL *, curl_infotype type, char *data, size_t size, void *userp)
{
    auto *s = static_cast<Send *>(userp);
    if (type != CURLINFO_TEXT) {
        s->lastTraffic = Clock::now();
        if (type == CURLINFO_HEADER_IN && s->mailSent)
            s->repliedAfterMail = true;
    }
    return logTraffic(type, data, size, &s->log);
}

int watchProgress(void *userp, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto *s = static_cast<Send *>(userp);
    if (stopRequested.load())
        return giveUp(s);
    const Clock::time_point now = Clock::now();
    if (s->log.quitUnasked && now - s->log.quitSentAt > UnaskedQuitGrace)
        return giveUp(s);  // give up waiting for the answer to libcurl's own QUIT
    if (s->mailSent && !s->repliedAfterMail) {
        if (now - s->mailSentAt > std::chrono::seconds(finalReplyWait.load())) {
            s->finalReplyMissing = true;
            return giveUp(s);
        }
        return 0;
    }
    if (now - s->lastTraffic > std::chrono::seconds(timeoutSeconds())) {
        s->stalled = true;
        return giveUp(s);
    }
    return 0;
}

}  // namespace

int finalReplySeconds()
{
    return finalReplyWait.load();
}

void setFinalReplySeconds(int seconds)
{
    finalReplyWait.store(qBound(1, seconds, 600));
}

void stopSending()
{
    stopRequested.store(true);
}

void clearStopSending()
{
    stopRequested.store(false);
}

SendResult sendMessage(const ServerAddress &server, const QString &envelopeFrom, const QStringList &recipients,
                       const QByteArray &message, const QString &user, const QString &password, QString &error)
{
    CURL *curl = newCurlHandle();
    if (!curl) {
        error = QStringLiteral("通信の準備ができません。");
        return SendResult::Refused;
    }
    Send send;
    send.curl = curl;
    send.data = &message;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    applyCommonOptions(curl, server);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, watchProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &send);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, watchTraffic);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &send);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_SOCKOPTFUNCTION, noteSocket);
    curl_easy_setopt(curl, CURLOPT_SOCKOPTDATA, &send);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    // The URL's path is the name the client greets with (EHLO).
    QString host = QSysInfo::machineHostName();
    if (host.isEmpty())
        host = QStringLiteral("localhost");
    const QByteArray url = server.url + QUrl::toPercentEncoding(host);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());

    const QByteArray from = '<' + envelopeFrom.toUtf8() + '>';
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.constData());
    curl_slist *rcpt = nullptr;
    for (const QString &r : recipients)
        rcpt = curl_slist_append(rcpt, ('<' + r.toUtf8() + '>').constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);

    const QByteArray userBytes = user.toUtf8();
    const QByteArray passwordBytes = password.toUtf8();
    if (!user.isEmpty() && !password.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, userBytes.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, passwordBytes.constData());
    }

    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readUpload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &send);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));

    CURLcode rc = curl_easy_perform(curl);
    SendResult result = rc == CURLE_OK ? SendResult::Accepted : SendResult::Refused;
    if (rc != CURLE_OK && send.mailSent && !send.repliedAfterMail) {
        // The whole mail went out and no answer came back: the server may
        // well have stored it and be sending it on. Sending again could
        // deliver it twice.
        result = SendResult::Uncertain;
        const int wait = finalReplySeconds();
        const QString waited = wait % 60 == 0 ? QStringLiteral("%1分").arg(wait / 60) : QStringLiteral("%1秒").arg(wait);
        error = (send.finalReplyMissing
                     ? QStringLiteral("メールを最後まで送りましたが、SMTPサーバー（%1）から%2待っても受け取りの返事がありませんでした。")
                           .arg(server.shown, waited)
                 : stopRequested.load()
                     ? QStringLiteral("メールを最後まで送った後、SMTPサーバー（%1）の受け取りの返事を待つのを中止しました。")
                           .arg(server.shown)
                     : QStringLiteral("メールを最後まで送りましたが、SMTPサーバー（%1）から受け取りの返事がないまま接続が切れました。")
                           .arg(server.shown))
                + QStringLiteral("\nサーバーはこのメールを受け取って配送している可能性があります。"
                                 "もう一度送ると相手に二通届くことがあるため、送り直す前に相手に届いたかどうかを確かめてください。");
    } else if (rc != CURLE_OK) {
        if (send.stalled)
            rc = CURLE_OPERATION_TIMEDOUT;
        error = stopRequested.load()
                    ? QStringLiteral("メールの送信を中止しました。メールは送られていません。")
                    : describeFailure(rc, send.stalled ? "" : errorBuffer, send.log, server, Protocol::Smtp);
    }
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);
    return result;
}

}  // namespace korvane::nmail::transport
