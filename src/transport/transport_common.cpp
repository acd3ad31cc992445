#include "transport_common.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace korvane::nmail::transport {

namespace {

std::atomic<int> timeout{20};
std::atomic<bool> cancelled{false};

bool validHostChar(QChar c)
{
    if (c.unicode() >= 0x80)
        return c.isLetterOrNumber();
    return c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-') || c == QLatin1Char('_');
}

int progressCallback(void *userp, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto *log = static_cast<const ReplyLog *>(userp);
    if (log->cancellable && cancelled.load())
        return 1;
    if (log->quitUnasked && std::chrono::steady_clock::now() - log->quitSentAt > UnaskedQuitGrace)
        return 1;  // give up waiting for the answer to libcurl's own QUIT
    return 0;
}

int debugCallback(CURL *, curl_infotype type, char *data, size_t size, void *userp)
{
    return logTraffic(type, data, size, static_cast<ReplyLog *>(userp));
}

}  // namespace

int logTraffic(curl_infotype type, const char *data, size_t size, ReplyLog *log)
{
    if (type == CURLINFO_HEADER_OUT) {
        if (!log->quitAsked && size >= 4 && qstrnicmp(data, "QUIT", 4) == 0) {
            log->quitUnasked = true;
            log->quitSentAt = std::chrono::steady_clock::now();
        }
        return 0;
    }
    if (type != CURLINFO_HEADER_IN)
        return 0;
    const QByteArray line = QByteArray(data, qsizetype(size)).trimmed();
    if (line.isEmpty())
        return 0;
    log->lastReply = line.left(1000);
    const bool error = line.startsWith("-ERR")
                       || (line.size() >= 3 && (line[0] == '4' || line[0] == '5') && line[1] >= '0' && line[1] <= '9'
                           && line[2] >= '0' && line[2] <= '9');
    if (error)
        log->lastError = log->lastReply;
    return 0;
}

void cancelAllSessions()
{
    cancelled.store(true);
}

void clearCancel()
{
    cancelled.store(false);
}

bool cancelRequested()
{
    return cancelled.load();
}

int timeoutSeconds()
{
    return timeout.load();
}

void setTimeoutSeconds(int seconds)
{
    timeout.store(qBound(1, seconds, 600));
}

namespace {
std::atomic<int> longestTransfer{600};
}

int longestTransferSeconds()
{
    return longestTransfer.load();
}

void setLongestTransferSeconds(int seconds)
{
    longestTransfer.store(qBound(1, seconds, 600));
}

bool parseServer(const QString &name, Protocol protocol, ServerAddress &address, QString &error)
{
    QString rest = name.trimmed();
    if (rest.isEmpty()) {
        error = protocol == Protocol::Pop3 ? QStringLiteral("POP3サーバーが設定されていません。")
                                           : QStringLiteral("SMTPサーバーが設定されていません。");
        return false;
    }
    const QString plainScheme = protocol == Protocol::Pop3 ? QStringLiteral("pop3") : QStringLiteral("smtp");
    const QString tlsScheme = plainScheme + QLatin1Char('s');
    Security security = Security::Plain;
    const qsizetype sep = rest.indexOf(QLatin1String("://"));
    if (sep >= 0) {
        const QString scheme = rest.left(sep).toLower();
        if (scheme == plainScheme)
            security = Security::StartTls;
        else if (scheme == tlsScheme)
            security = Security::ImplicitTls;
        else {
            error = QStringLiteral("サーバー名「%1」は使えません。%2://、%3:// で始めるか、ホスト名だけを書いてください。")
                        .arg(name.trimmed(), plainScheme, tlsScheme);
            return false;
        }
        rest = rest.mid(sep + 3);
    }
    while (rest.endsWith(QLatin1Char('/')))
        rest.chop(1);

    QString host;
    QString port;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0) {
            error = QStringLiteral("サーバー名「%1」を読み取れません。").arg(name.trimmed());
            return false;
        }
        host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (after.startsWith(QLatin1Char(':')))
            port = after.mid(1);
        else if (!after.isEmpty())
            host.clear();
        const bool valid = std::all_of(host.cbegin(), host.cend(), [](QChar c) {
            return c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'))
                   || c == QLatin1Char(':') || c == QLatin1Char('.');
        });
        if (!valid)
            host.clear();
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0 && rest.indexOf(QLatin1Char(':')) == colon) {
            host = rest.left(colon);
            port = rest.mid(colon + 1);
        } else {
            host = rest;
        }
        if (!std::all_of(host.cbegin(), host.cend(), validHostChar))
            host.clear();
    }
    if (host.isEmpty()) {
        error = QStringLiteral("サーバー名「%1」を読み取れません。").arg(name.trimmed());
        return false;
    }
    int number = 0;
    if (port.isEmpty()) {
        if (protocol == Protocol::Pop3)
            number = security == Security::ImplicitTls ? 995 : 110;
        else
            number = security == Security::ImplicitTls ? 465 : security == Security::StartTls ? 587 : 25;
    } else {
        bool ok = false;
        number = port.toInt(&ok);
        if (!ok || number < 1 || number > 65535) {
            error = QStringLiteral("サーバー名「%1」のポート番号が正しくありません。").arg(name.trimmed());
            return false;
        }
    }
    // Without a scheme, the port of TLS from the start means TLS, as every
    // mail program takes it: no server greets a plain connection there.
    if (sep < 0 && number == (protocol == Protocol::Pop3 ? 995 : 465))
        security = Security::ImplicitTls;
    const bool v6 = host.contains(QLatin1Char(':'));
    const QString urlHost = v6 ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    address.host = host;
    address.port = number;
    address.security = security;
    address.shown = QStringLiteral("%1:%2").arg(urlHost).arg(number);
    const QString scheme = security == Security::ImplicitTls ? tlsScheme : plainScheme;
    address.url = (scheme + QLatin1String("://") + address.shown + QLatin1Char('/')).toUtf8();
    return true;
}

namespace {
std::mutex curlMutex;
bool curlUp = false;
}  // namespace

CURL *newCurlHandle()
{
    {
        std::lock_guard lock(curlMutex);
        if (!curlUp)
            curlUp = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
    }
    return curl_easy_init();
}

void endCurl()
{
    std::lock_guard lock(curlMutex);
    if (curlUp)
        curl_global_cleanup();
    curlUp = false;
}

void applyCommonOptions(CURL *curl, const ServerAddress &address)
{
    const long t = timeoutSeconds();
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, t);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, t);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, t);
    curl_easy_setopt(curl, CURLOPT_USE_SSL,
                     address.security == Security::StartTls ? long(CURLUSESSL_ALL) : long(CURLUSESSL_NONE));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    const QByteArray ca = qgetenv("KORVANE_CA_FILE");
    if (!ca.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, ca.constData());
}

void attachReplyLog(CURL *curl, ReplyLog *log)
{
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progressCallback);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, log);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, debugCallback);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, log);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
}

namespace {

// What the user reads for a failed libcurl call, in the user's words: %1 the
// protocol ("POP3", "SMTP"), %2 the server (host:port), %3 the host name, %4
// the timeout in seconds. The library's own text follows only as a detail.
struct FailureText {
    CURLcode code;
    bool beforeServerReply;  // said even where the server answered with a refusal
    const char16_t *text;
};
constexpr FailureText failureTexts[] = {
    {CURLE_UNSUPPORTED_PROTOCOL, false, u"サーバー名（%2）の書き方では%1サーバーと通信できません。"},
    {CURLE_URL_MALFORMAT, false, u"サーバー名（%2）を読み取れません。"},
    {CURLE_FAILED_INIT, false, u"%1サーバー（%2）と通信する準備ができません。"},
    {CURLE_COULDNT_RESOLVE_HOST, true, u"%1サーバー「%3」が見つかりません。サーバー名と、ネットワークにつながっているかを確かめてください。"},
    {CURLE_COULDNT_CONNECT, true, u"%1サーバー（%2）に接続できません。サーバー名とポート番号を確かめてください。"},
    {CURLE_WEIRD_SERVER_REPLY, false, u"%1サーバー（%2）の応答を読み取れません。%1サーバーでないか、ポート番号が違う可能性があります。"},
    {CURLE_REMOTE_ACCESS_DENIED, false, u"%1サーバー（%2）が要求を断りました。"},
    {CURLE_OPERATION_TIMEDOUT, true, u"%1サーバー（%2）から応答がありません（%4秒でタイムアウトしました）。"},
    {CURLE_OUT_OF_MEMORY, false, u"メモリが足りないため、%1サーバー（%2）と通信できません。"},
    {CURLE_READ_ERROR, false, u"%1サーバー（%2）へ送るデータを読み込めません。"},
    {CURLE_SEND_ERROR, false, u"%1サーバー（%2）との接続が切れました。"},
    {CURLE_RECV_ERROR, false, u"%1サーバー（%2）との接続が切れました。"},
    {CURLE_GOT_NOTHING, false, u"%1サーバー（%2）との接続が切れました。"},
    {CURLE_SSL_CONNECT_ERROR, true, u"%1サーバー（%2）と暗号化の手続きができません。"},
    {CURLE_SSL_ENGINE_NOTFOUND, false, u"%1サーバー（%2）と暗号化の手続きができません。"},
    {CURLE_SSL_ENGINE_SETFAILED, false, u"%1サーバー（%2）と暗号化の手続きができません。"},
    {CURLE_SSL_CERTPROBLEM, false, u"%1サーバー（%2）と暗号化の手続きができません。"},
    {CURLE_SSL_CIPHER, false, u"%1サーバー（%2）と暗号化の手続きができません（共通の暗号方式がありません）。"},
    {CURLE_SSL_SHUTDOWN_FAILED, false, u"%1サーバー（%2）との暗号化した接続を正しく閉じられませんでした。"},
    {CURLE_PEER_FAILED_VERIFICATION, true,
     u"%1サーバー（%2）の証明書を確かめられません。証明書が信頼できないか、サーバー名と合っていません"
     u"（通信の途中に第三者が入り込んでいる可能性もあります）。暗号化できない相手とは通信しません。"},
    {CURLE_SSL_CACERT_BADFILE, true,
     u"%1サーバー（%2）の証明書を確かめられません。証明書が信頼できないか、サーバー名と合っていません"
     u"（通信の途中に第三者が入り込んでいる可能性もあります）。暗号化できない相手とは通信しません。"},
    {CURLE_SSL_ISSUER_ERROR, true,
     u"%1サーバー（%2）の証明書を確かめられません。証明書が信頼できないか、サーバー名と合っていません"
     u"（通信の途中に第三者が入り込んでいる可能性もあります）。暗号化できない相手とは通信しません。"},
    {CURLE_AUTH_ERROR, false, u"%1サーバー（%2）の認証に失敗しました。"},
};

// The well-known port of the protocol over TLS from the start.
int tlsPort(Protocol protocol)
{
    return protocol == Protocol::Pop3 ? 995 : 465;
}

}  // namespace

QString describeFailure(CURLcode code, const char *errorBuffer, const ReplyLog &log, const ServerAddress &address,
                        Protocol protocol)
{
    const QString server = address.shown;
    const QString kind = protocol == Protocol::Pop3 ? QStringLiteral("POP3") : QStringLiteral("SMTP");
    auto fill = [&](const char16_t *text) {
        // Names hold no "%", so one replacement cannot make another's mark.
        return QString::fromUtf16(text)
            .replace(QLatin1String("%1"), kind)
            .replace(QLatin1String("%2"), server)
            .replace(QLatin1String("%3"), address.host)
            .replace(QLatin1String("%4"), QString::number(timeoutSeconds()));
    };
    const FailureText *known = nullptr;
    for (const FailureText &f : failureTexts) {
        if (f.code == code)
            known = &f;
    }
    QString text;
    switch (code) {
    case CURLE_USE_SSL_FAILED:
        text = QStringLiteral("%1サーバー（%2）は暗号化（%3）に対応していません。暗号化なしでは通信しません。")
                   .arg(kind, server, protocol == Protocol::Pop3 ? QStringLiteral("STLS") : QStringLiteral("STARTTLS"));
        break;
    case CURLE_ABORTED_BY_CALLBACK:
        text = cancelRequested() ? fill(u"%1サーバー（%2）との通信を中止しました。")
                                 : fill(u"%1サーバー（%2）との通信でエラーが起きました。");
        break;
    case CURLE_LOGIN_DENIED:
        text = protocol == Protocol::Pop3 ? QStringLiteral("ユーザーIDまたはパスワードが違います（認証に失敗しました）。")
                                          : QStringLiteral("SMTPサーバーの認証に失敗しました。");
        break;
    default:
        if (known && known->beforeServerReply) {
            text = fill(known->text);
        } else if (!log.lastError.isEmpty()) {
            // The server said no (a refused recipient, a refused command).
            text = protocol == Protocol::Smtp ? QStringLiteral("SMTPサーバー（%1）が送信を断りました。").arg(server)
                                              : QStringLiteral("POP3サーバー（%1）がエラーを返しました。").arg(server);
        } else {
            text = fill(known ? known->text : u"%1サーバー（%2）との通信でエラーが起きました。");
        }
        break;
    }
    // A server on the port of TLS from the start waits for the TLS handshake
    // and never greets a plain connection.
    const bool silentOnTlsPort = code == CURLE_OPERATION_TIMEDOUT || code == CURLE_GOT_NOTHING
                                 || code == CURLE_RECV_ERROR || code == CURLE_WEIRD_SERVER_REPLY;
    if (silentOnTlsPort && address.security != Security::ImplicitTls && address.port == tlsPort(protocol)) {
        const QString scheme = protocol == Protocol::Pop3 ? QStringLiteral("pop3s") : QStringLiteral("smtps");
        text += QStringLiteral("\nポート %1 は暗号化（TLS）で始める接続の番号です。サーバー名を「%2://%3」と書いてください。")
                    .arg(address.port)
                    .arg(scheme, address.shown);
    }
    if (!log.lastError.isEmpty())
        text += QStringLiteral("\nサーバーの応答: ") + QString::fromUtf8(log.lastError);
    if (errorBuffer && *errorBuffer)
        text += QStringLiteral("\n（詳細: ") + QString::fromUtf8(errorBuffer).trimmed() + QStringLiteral("）");
    return text;
}

}  // namespace korvane::nmail::transport
