#include "transport_common.h"

#include <QFile>

#include <algorithm>
#include <atomic>

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

QString describeFailure(CURLcode code, const char *errorBuffer, const ReplyLog &log, const ServerAddress &address,
                        Protocol protocol)
{
    const QString server = address.shown;
    const QString kind = protocol == Protocol::Pop3 ? QStringLiteral("POP3") : QStringLiteral("SMTP");
    QString text;
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        text = QStringLiteral("%1サーバー「%2」が見つかりません。").arg(kind, address.host);
        break;
    case CURLE_COULDNT_CONNECT:
        text = QStringLiteral("%1サーバー（%2）に接続できません。").arg(kind, server);
        break;
    case CURLE_OPERATION_TIMEDOUT:
        text = QStringLiteral("%1サーバー（%2）から応答がありません（%3秒でタイムアウトしました）。")
                   .arg(kind, server)
                   .arg(timeoutSeconds());
        break;
    case CURLE_USE_SSL_FAILED:
        text = QStringLiteral("%1サーバー（%2）は暗号化（%3）に対応していません。暗号化なしでは通信しません。")
                   .arg(kind, server, protocol == Protocol::Pop3 ? QStringLiteral("STLS") : QStringLiteral("STARTTLS"));
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        text = QStringLiteral("%1サーバー（%2）の証明書を確かめられません。証明書が信頼できないか、サーバー名と合っていません"
                              "（通信の途中に第三者が入り込んでいる可能性もあります）。暗号化できない相手とは通信しません。")
                   .arg(kind, server);
        break;
    case CURLE_ABORTED_BY_CALLBACK:
        if (cancelRequested()) {
            text = QStringLiteral("%1サーバー（%2）との通信を中止しました。").arg(kind, server);
            break;
        }
        text = QStringLiteral("%1サーバー（%2）との通信でエラーが起きました。").arg(kind, server);
        break;
    case CURLE_SSL_CONNECT_ERROR:
        text = QStringLiteral("%1サーバー（%2）と暗号化の手続きができません。").arg(kind, server);
        break;
    case CURLE_LOGIN_DENIED:
        text = protocol == Protocol::Pop3 ? QStringLiteral("ユーザーIDまたはパスワードが違います（認証に失敗しました）。")
                                          : QStringLiteral("SMTPサーバーの認証に失敗しました。");
        break;
    default:
        if (!log.lastError.isEmpty()) {
            // The server said no (a refused recipient, a refused command).
            text = protocol == Protocol::Smtp ? QStringLiteral("SMTPサーバー（%1）が送信を断りました。").arg(server)
                                              : QStringLiteral("POP3サーバー（%1）がエラーを返しました。").arg(server);
            break;
        }
        if (code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR || code == CURLE_GOT_NOTHING) {
            text = QStringLiteral("%1サーバー（%2）との接続が切れました。").arg(kind, server);
            break;
        }
        text = QStringLiteral("%1サーバー（%2）との通信でエラーが起きました。").arg(kind, server);
        break;
    }
    if (!log.lastError.isEmpty())
        text += QStringLiteral("\nサーバーの応答: ") + QString::fromUtf8(log.lastError);
    if (errorBuffer && *errorBuffer)
        text += QStringLiteral("\n（") + QString::fromUtf8(errorBuffer).trimmed() + QStringLiteral("）");
    return text;
}

}  // namespace korvane::nmail::transport
