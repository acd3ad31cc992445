#include "transport_pop3.h"

#include <QHash>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace korvane::nmail::transport {

namespace {

void shutdownSocket(curl_socket_t socket)
{
#ifdef Q_OS_WIN
    ::shutdown(socket, SD_BOTH);
#else
    ::shutdown(socket, SHUT_RDWR);
#endif
}

size_t appendTo(char *data, size_t size, size_t count, void *userp)
{
    const size_t n = size * count;
    if (userp)
        static_cast<QByteArray *>(userp)->append(data, qsizetype(n));
    return n;
}

// "n value" lines of LIST or UIDL.
template <class F>
void forEachListing(const QByteArray &listing, F f)
{
    for (const QByteArray &raw : listing.split('\n')) {
        const QByteArray line = raw.trimmed();
        const int space = line.indexOf(' ');
        if (space <= 0)
            continue;
        bool ok = false;
        const int n = line.left(space).toInt(&ok);
        if (ok && n > 0)
            f(n, line.mid(space + 1).trimmed());
    }
}

}  // namespace

Pop3Session::Pop3Session(const ServerAddress &address) : address_(address)
{
    curl_ = curl_easy_init();
    if (!curl_)
        return;
    applyCommonOptions(curl_, address_);
    attachReplyLog(curl_, &log_);
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "pop3,pop3s");
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, appendTo);
    curl_easy_setopt(curl_, CURLOPT_BUFFERSIZE, 256L * 1024L);
}

Pop3Session::~Pop3Session()
{
    if (!curl_)
        return;
    if (broken_) {
        // A server that stopped answering would make the QUIT of the clean-up
        // wait a whole timeout again: close the connection under libcurl first
        // so that QUIT fails at once.
        curl_socket_t socket = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(curl_, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK && socket != CURL_SOCKET_BAD)
            shutdownSocket(socket);
    }
    curl_easy_cleanup(curl_);  // sends QUIT if the session is still open
}

QString Pop3Session::failure(CURLcode code) const
{
    return describeFailure(code, errorBuffer_, log_, address_, Protocol::Pop3);
}

bool Pop3Session::probe(QString &error)
{
    if (!curl_) {
        error = QStringLiteral("通信の準備ができません。");
        return false;
    }
    // A separate handle: a connection opened without the account cannot be
    // reused for the session that logs in.
    CURL *c = curl_easy_init();
    if (!c) {
        error = QStringLiteral("通信の準備ができません。");
        return false;
    }
    ReplyLog log;
    char buffer[CURL_ERROR_SIZE] = {};
    applyCommonOptions(c, address_);
    attachReplyLog(c, &log);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, buffer);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "pop3,pop3s");
    curl_easy_setopt(c, CURLOPT_URL, address_.url.constData());
    curl_easy_setopt(c, CURLOPT_CONNECT_ONLY, 1L);
    const CURLcode rc = curl_easy_perform(c);
    if (rc != CURLE_OK)
        error = describeFailure(rc, buffer, log, address_, Protocol::Pop3);
    curl_easy_cleanup(c);
    return rc == CURLE_OK;
}

CURLcode Pop3Session::run(const QByteArray &command, bool noBody, QByteArray *sink)
{
    log_.clear();
    log_.quitAsked = command == "QUIT";
    errorBuffer_[0] = '\0';
    curl_easy_setopt(curl_, CURLOPT_URL, address_.url.constData());
    curl_easy_setopt(curl_, CURLOPT_CUSTOMREQUEST, command.isEmpty() ? nullptr : command.constData());
    curl_easy_setopt(curl_, CURLOPT_NOBODY, noBody ? 1L : 0L);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, sink);
    const CURLcode rc = curl_easy_perform(curl_);
    lastConnects_ = 0;
    curl_easy_getinfo(curl_, CURLINFO_NUM_CONNECTS, &lastConnects_);
    // A refusal ("-ERR") leaves the session as it was; anything else means
    // the connection is gone or unusable.
    if (authenticated_ && rc != CURLE_OK && !(rc == CURLE_WEIRD_SERVER_REPLY && !log_.lastError.isEmpty())) {
        broken_ = true;
        brokenError_ = failure(rc);
    }
    return rc;
}

int Pop3Session::authenticate(const QString &user, const QString &password, bool apop, QString &error)
{
    if (!curl_) {
        error = QStringLiteral("通信の準備ができません。");
        return -1;
    }
    user_ = user.toUtf8();
    password_ = password.toUtf8();
    curl_easy_setopt(curl_, CURLOPT_USERNAME, user_.constData());
    curl_easy_setopt(curl_, CURLOPT_PASSWORD, password_.constData());
    curl_easy_setopt(curl_, CURLOPT_LOGIN_OPTIONS, apop ? "AUTH=+APOP" : "AUTH=*");

    QByteArray listing;
    CURLcode rc = run(QByteArray(), false, &listing);  // LIST
    if (rc != CURLE_OK) {
        error = failure(rc);
        if (apop && rc == CURLE_LOGIN_DENIED && log_.lastError.isEmpty())
            error = QStringLiteral("APOPで認証できません（サーバーがAPOPに対応していない可能性があります）。\n") + error;
        return rc == CURLE_LOGIN_DENIED ? -2 : -1;
    }
    authenticated_ = true;
    sizes_.clear();
    forEachListing(listing, [&](int n, const QByteArray &v) { sizes_.insert(n, v.toLongLong()); });

    QByteArray ids;
    if (run("UIDL", false, &ids) == CURLE_OK)
        forEachListing(ids, [&](int n, const QByteArray &v) { uidls_.insert(n, v); });
    return count();
}

int Pop3Session::current(int n) const
{
    if (!sizes_.contains(n))
        return -1;
    if (!renumbered_)
        return n;
    return numbers_.value(n, -1);
}

bool Pop3Session::resync(QString &error)
{
    // The connection was replaced: the server numbers afresh, and marks for
    // deletion were lost with the old session.
    if (uidls_.isEmpty()) {
        broken_ = true;
        brokenError_ = error = QStringLiteral("POP3サーバー（%1）との接続が途中で切れました。このサーバーはUIDLに対応していないため、"
                                              "メールの番号を確かめられません。")
                                   .arg(address_.shown);
        return false;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        QByteArray ids;
        const CURLcode rc = run("UIDL", false, &ids);
        if (rc != CURLE_OK) {
            error = failure(rc);
            return false;
        }
        // The list belongs to the session now open, whether or not this
        // command opened it.
        QHash<QByteArray, int> now;
        forEachListing(ids, [&](int k, const QByteArray &v) { now.insert(v, k); });
        renumbered_ = true;
        numbers_.clear();
        for (auto it = uidls_.cbegin(); it != uidls_.cend(); ++it)
            numbers_.insert(it.key(), now.value(it.value(), -1));
        bool replaced = false;
        for (int d : std::as_const(deleted_)) {
            const int k = current(d);
            if (k < 0)
                continue;
            const CURLcode r = run("DELE " + QByteArray::number(k), true, nullptr);
            if (r != CURLE_OK) {
                error = failure(r);
                return false;
            }
            if (lastConnects_ > 0) {
                run("RSET", true, nullptr);
                replaced = true;
                break;
            }
        }
        if (!replaced)
            return true;
    }
    broken_ = true;
    brokenError_ = error = QStringLiteral("POP3サーバー（%1）との接続が何度も切れます。").arg(address_.shown);
    return false;
}

CURLcode Pop3Session::numbered(int n, const QByteArray &verb, const QByteArray &tail, bool noBody, QByteArray *sink,
                               QString &error)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (broken_) {
            error = brokenError_;
            return CURLE_RECV_ERROR;
        }
        const int k = current(n);
        if (k < 0) {
            error = QStringLiteral("メール %1 はサーバーにありません。").arg(n);
            return CURLE_REMOTE_FILE_NOT_FOUND;
        }
        if (sink)
            sink->clear();
        const CURLcode rc = run(verb + ' ' + QByteArray::number(k) + tail, noBody, sink);
        if (rc != CURLE_OK) {
            error = failure(rc);
            return rc;
        }
        if (lastConnects_ == 0)
            return rc;
        // A new session answered with a number nobody checked: undo a mark
        // it may have set, map the numbers again, then repeat the command.
        if (noBody && run("RSET", true, nullptr) != CURLE_OK) {
            error = failure(CURLE_RECV_ERROR);
            return CURLE_RECV_ERROR;
        }
        if (!resync(error))
            return CURLE_RECV_ERROR;
    }
    broken_ = true;
    brokenError_ = error = QStringLiteral("POP3サーバー（%1）との接続が何度も切れます。").arg(address_.shown);
    return CURLE_RECV_ERROR;
}

bool Pop3Session::retrieve(int n, bool headerOnly, QByteArray &out, QString &error)
{
    if (!authenticated_) {
        error = QStringLiteral("POP3サーバーにログインしていません。");
        return false;
    }
    out.clear();
    if (headerOnly) {
        if (numbered(n, "TOP", " 0", false, &out, error) == CURLE_OK)
            return true;
        if (log_.lastError.isEmpty())
            return false;  // not a refusal of TOP: the connection failed
        error.clear();
    }
    out.reserve(qsizetype(qBound<qint64>(0, size(n), qint64(1) << 30)) + 4096);
    return numbered(n, "RETR", QByteArray(), false, &out, error) == CURLE_OK;
}

qint64 Pop3Session::size(int n) const
{
    return sizes_.value(n, -1);
}

QString Pop3Session::uidl(int n) const
{
    return QString::fromLatin1(uidls_.value(n));
}

bool Pop3Session::markDeleted(int n, QString &error)
{
    if (!authenticated_) {
        error = QStringLiteral("POP3サーバーにログインしていません。");
        return false;
    }
    if (deleted_.contains(n))
        return true;
    if (numbered(n, "DELE", QByteArray(), true, nullptr, error) != CURLE_OK)
        return false;
    deleted_.insert(n);
    return true;
}

void Pop3Session::abandon()
{
    broken_ = true;
    brokenError_ = QStringLiteral("POP3サーバー（%1）との接続を、削除を確定せずに閉じました。").arg(address_.shown);
}

bool Pop3Session::quit(QString &error)
{
    if (!authenticated_ || quitDone_)
        return true;
    const QString notDeleted = QStringLiteral("\n削除の指示がサーバーに届いていない可能性があります。");
    for (int attempt = 0; attempt < 3 && !broken_; ++attempt) {
        const CURLcode rc = run("QUIT", true, nullptr);
        if (rc != CURLE_OK)
            break;
        if (lastConnects_ > 0 && !deleted_.isEmpty()) {
            // QUIT went to a new session that knew nothing of our deletions:
            // open another, mark them again, and end that one.
            if (!resync(error)) {
                error += notDeleted;
                return false;
            }
            continue;
        }
        quitDone_ = true;
        return true;
    }
    error = (broken_ ? brokenError_ : QStringLiteral("POP3サーバー（%1）との接続が何度も切れます。").arg(address_.shown))
            + (deleted_.isEmpty() ? QString() : notDeleted);
    return false;
}

}  // namespace korvane::nmail::transport
