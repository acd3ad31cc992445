#include "transport_pop3.h"
#include "common/reasons.h"

#include <QBuffer>
#include <QIODevice>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <poll.h>
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

// How often a wait looks whether the check was cancelled.
constexpr int PollSliceMs = 100;
// The slowest transfer a mail may take before its deadline: a mail of
// `size` bytes gets the timeout plus size / this rate.
constexpr qint64 MinimumBytesPerSecond = 16 * 1024;
// However large the mail announced, its transfer gets no more than this on
// top of the timeout: a mail too large for the limit is dropped anyway, and
// a server that trickles must not hold the check for the better part of an
// hour. The wait still gives up at once when the check is stopped.
// Answers of LIST and UIDL are small; a hostile endless one is cut here.
constexpr qint64 ListingLimit = 64LL * 1024 * 1024;

// Where the next line that starts with a dot begins (the line break before
// it), or -1. Going from dot to dot with memchr is much faster than
// searching for the two bytes together, and than going from line break to
// line break: dots are rarer than line ends (base64 has none).
qsizetype findDotLine(const char *data, qsizetype size)
{
    const char *const end = data + size;
    for (const char *p = data + 1; p < end;) {
        const auto *dot = static_cast<const char *>(std::memchr(p, '.', size_t(end - p)));
        if (!dot)
            return -1;
        if (dot[-1] == '\n')
            return dot - 1 - data;
        p = dot + 1;
    }
    return -1;
}

// "n value" lines of LIST or UIDL, as a list by mail number. Numbers that
// are not 1 … count in order make the listing unusable (empty result).
bool parseListing(const QByteArray &listing, QList<QByteArray> &values)
{
    values.clear();
    qsizetype pos = 0;
    while (pos < listing.size()) {
        qsizetype end = listing.indexOf('\n', pos);
        if (end < 0)
            end = listing.size();
        const QByteArray line = listing.mid(pos, end - pos).trimmed();
        pos = end + 1;
        if (line.isEmpty())
            continue;
        const qsizetype space = line.indexOf(' ');
        if (space <= 0)
            return false;
        bool ok = false;
        const qint64 n = line.left(space).toLongLong(&ok);
        if (!ok || n != values.size() + 1)
            return false;
        values.append(line.mid(space + 1).trimmed());
    }
    return true;
}

}  // namespace

Pop3Session::Pop3Session(const ServerAddress &address) : address_(address)
{
    curl_ = newCurlHandle();
    if (!curl_)
        return;
    applyCommonOptions(curl_, address_);
    attachReplyLog(curl_, &log_);
    log_.cancellable = true;
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "pop3,pop3s");
    curl_easy_setopt(curl_, CURLOPT_URL, address_.url.constData());
    curl_easy_setopt(curl_, CURLOPT_CONNECT_ONLY, 1L);
    // Greeting, TLS and login together get twice the timeout at most,
    // however slowly the server answers.
    curl_easy_setopt(curl_, CURLOPT_TIMEOUT_MS, long(timeoutSeconds()) * 2000L);
}

Pop3Session::~Pop3Session()
{
    if (!curl_)
        return;
    // libcurl would end the connection with a QUIT of its own, which makes
    // the deletions of the session take effect. QUIT is ours to send (quit());
    // otherwise the connection is shut first so that nothing more reaches
    // the server.
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(curl_, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK && socket != CURL_SOCKET_BAD)
        shutdownSocket(socket);
    curl_easy_cleanup(curl_);
}

void Pop3Session::fail(const QString &error)
{
    if (!broken_) {
        broken_ = true;
        brokenError_ = error;
    }
    if (socket_ != CURL_SOCKET_BAD)
        shutdownSocket(socket_);
}

bool Pop3Session::probe(QString &error)
{
    if (!curl_) {
        error = QStringLiteral("通信の準備ができません。");
        return false;
    }
    // A separate handle: a connection opened without the account cannot be
    // reused for the session that logs in.
    CURL *c = newCurlHandle();
    if (!c) {
        error = QStringLiteral("通信の準備ができません。");
        return false;
    }
    ReplyLog log;
    log.cancellable = true;
    char buffer[CURL_ERROR_SIZE] = {};
    applyCommonOptions(c, address_);
    attachReplyLog(c, &log);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, buffer);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "pop3,pop3s");
    curl_easy_setopt(c, CURLOPT_URL, address_.url.constData());
    curl_easy_setopt(c, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, long(timeoutSeconds()) * 2000L);
    const CURLcode rc = curl_easy_perform(c);
    if (rc != CURLE_OK)
        error = describeFailure(rc, buffer, log, address_, Protocol::Pop3);
    // Nothing was asked of this session: it may end as libcurl ends it.
    curl_easy_cleanup(c);
    return rc == CURLE_OK;
}

int Pop3Session::authenticate(const QString &user, const QString &password, bool apop, QString &error)
{
    if (!curl_) {
        error = QStringLiteral("通信の準備ができません。");
        return -1;
    }
    if (authenticated_)
        return count();
    user_ = user.toUtf8();
    password_ = password.toUtf8();
    curl_easy_setopt(curl_, CURLOPT_USERNAME, user_.constData());
    curl_easy_setopt(curl_, CURLOPT_PASSWORD, password_.constData());
    curl_easy_setopt(curl_, CURLOPT_LOGIN_OPTIONS, apop ? "AUTH=+APOP" : "AUTH=*");
    log_.clear();
    errorBuffer_[0] = '\0';
    const CURLcode rc = curl_easy_perform(curl_);
    if (rc != CURLE_OK) {
        error = describeFailure(rc, errorBuffer_, log_, address_, Protocol::Pop3);
        if (apop && rc == CURLE_LOGIN_DENIED && log_.lastError.isEmpty())
            error = QStringLiteral("APOPで認証できません（サーバーがAPOPに対応していない可能性があります）。\n") + error;
        broken_ = true;
        brokenError_ = error;
        return rc == CURLE_LOGIN_DENIED ? -2 : -1;
    }
    if (curl_easy_getinfo(curl_, CURLINFO_ACTIVESOCKET, &socket_) != CURLE_OK || socket_ == CURL_SOCKET_BAD) {
        error = QStringLiteral("POP3サーバー（%1）との接続を使えません。").arg(address_.shown);
        broken_ = true;
        brokenError_ = error;
        return -1;
    }
    authenticated_ = true;

    QBuffer listing;
    listing.open(QIODevice::WriteOnly);
    bool tooLarge = false;
    if (!command("LIST", deadlineFor(0), error, nullptr)
        || !readMultiline(listing, ListingLimit, &tooLarge, deadlineFor(ListingLimit / 64), QStringLiteral("LIST"),
                          error))
        return -1;
    QList<QByteArray> values;
    if (tooLarge || !parseListing(listing.data(), values)) {
        error = QStringLiteral("POP3サーバー（%1）のメール一覧（LIST）を読み取れません。").arg(address_.shown);
        fail(error);
        return -1;
    }
    sizes_.clear();
    for (const QByteArray &v : std::as_const(values)) {
        // "size" may be followed by more; a size that cannot be read is unknown.
        bool ok = false;
        const qint64 size = v.split(' ').value(0).toLongLong(&ok);
        sizes_.append(ok && size >= 0 ? size : -1);
    }

    // Without UIDL the session still works; only the protection against a
    // second copy after a broken check is lost.
    QBuffer ids;
    ids.open(QIODevice::WriteOnly);
    bool refused = false;
    uidls_.clear();
    if (command("UIDL", deadlineFor(0), error, &refused)) {
        if (!readMultiline(ids, ListingLimit, &tooLarge, deadlineFor(ListingLimit / 64), QStringLiteral("UIDL"),
                           error))
            return -1;
        if (!tooLarge && parseListing(ids.data(), values) && values.size() == sizes_.size())
            uidls_ = values;
    } else if (!refused) {
        return -1;
    }
    error.clear();
    return count();
}

Pop3Session::Clock::time_point Pop3Session::deadlineFor(qint64 expectedBytes) const
{
    const qint64 transferMs = qMin(qint64(longestTransferSeconds()) * 1000, qMax<qint64>(0, expectedBytes) * 1000 / MinimumBytesPerSecond);
    const qint64 ms = qint64(timeoutSeconds()) * 1000 + transferMs;
    return Clock::now() + std::chrono::milliseconds(ms);
}

bool Pop3Session::waitSocket(bool forWrite, Clock::time_point deadline, Clock::time_point idleDeadline)
{
    for (;;) {
        if (cancelRequested()) {
            failure_ = QStringLiteral("POP3サーバー（%1）との通信を中止しました。").arg(address_.shown);
            return false;
        }
        const auto now = Clock::now();
        if (now >= idleDeadline) {
            failure_ = QStringLiteral("POP3サーバー（%1）から応答がありません（%2秒でタイムアウトしました）。")
                           .arg(address_.shown)
                           .arg(timeoutSeconds());
            return false;
        }
        if (now >= deadline) {
            failure_ = QStringLiteral("POP3サーバー（%1）の応答が遅すぎるため、通信を打ち切りました。")
                           .arg(address_.shown);
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(std::min(deadline, idleDeadline) - now);
        const int slice = int(std::clamp<qint64>(qint64(left.count()), 1, PollSliceMs));
#ifdef Q_OS_WIN
        WSAPOLLFD p{};
        p.fd = socket_;
        p.events = forWrite ? POLLWRNORM : POLLRDNORM;
        const int r = WSAPoll(&p, 1, slice);
#else
        pollfd p{};
        p.fd = socket_;
        p.events = forWrite ? POLLOUT : POLLIN;
        const int r = ::poll(&p, 1, slice);
#endif
        if (r > 0)
            return true;
        if (r < 0 && errno != EINTR) {
            failure_ = QStringLiteral("POP3サーバー（%1）との接続が切れました。").arg(address_.shown);
            return false;
        }
    }
}

bool Pop3Session::sendCommand(const QByteArray &command, Clock::time_point deadline)
{
    const QByteArray line = command + "\r\n";
    qsizetype sent = 0;
    auto idle = Clock::now() + std::chrono::seconds(timeoutSeconds());
    while (sent < line.size()) {
        size_t n = 0;
        const CURLcode rc = curl_easy_send(curl_, line.constData() + sent, size_t(line.size() - sent), &n);
        if (rc == CURLE_AGAIN) {
            if (!waitSocket(true, deadline, idle))
                return false;
            continue;
        }
        if (rc != CURLE_OK) {
            failure_ = QStringLiteral("POP3サーバー（%1）との接続が切れました。").arg(address_.shown);
            return false;
        }
        sent += qsizetype(n);
        idle = Clock::now() + std::chrono::seconds(timeoutSeconds());
    }
    return true;
}

void Pop3Session::dropTaken()
{
    // The rest is moved to the start of the buffer rather than the start
    // moved on to the rest: the buffer then keeps its room behind.
    const qsizetype rest = in_.size() - inPos_;
    if (rest > 0 && inPos_ > 0)
        std::memmove(in_.data(), in_.constData() + inPos_, size_t(rest));
    in_.truncate(rest);
    inPos_ = 0;
}

CURLcode Pop3Session::receiveMore(size_t *n)
{
    // Received straight behind what is held, without a copy through a
    // buffer of its own.
    constexpr qsizetype Chunk = 64 * 1024;
    const qsizetype held = in_.size();
    in_.resize(held + Chunk);
    *n = 0;
    const CURLcode rc = curl_easy_recv(curl_, in_.data() + held, size_t(Chunk), n);
    in_.truncate(held + (rc == CURLE_OK ? qsizetype(*n) : 0));
    return rc;
}

bool Pop3Session::readLine(QByteArray &line, Clock::time_point deadline)
{
    auto idle = Clock::now() + std::chrono::seconds(timeoutSeconds());
    for (;;) {
        const qsizetype nl = in_.indexOf('\n', inPos_);
        if (nl >= 0) {
            qsizetype end = nl;
            if (end > inPos_ && in_[end - 1] == '\r')
                --end;
            line = in_.mid(inPos_, end - inPos_);
            inPos_ = nl + 1;
            if (inPos_ > 64 * 1024 || inPos_ == in_.size())
                dropTaken();
            return true;
        }
        if (in_.size() - inPos_ > 64 * 1024) {
            failure_ = QStringLiteral("POP3サーバー（%1）の応答を読み取れません。").arg(address_.shown);
            return false;
        }
        size_t n = 0;
        const CURLcode rc = receiveMore(&n);
        if (rc == CURLE_AGAIN) {
            if (!waitSocket(false, deadline, idle))
                return false;
            continue;
        }
        if (rc != CURLE_OK || n == 0) {
            failure_ = QStringLiteral("POP3サーバー（%1）との接続が切れました。").arg(address_.shown);
            return false;
        }
        idle = Clock::now() + std::chrono::seconds(timeoutSeconds());
    }
}

bool Pop3Session::command(const QByteArray &cmd, Clock::time_point deadline, QString &error, bool *refused,
                          QByteArray *status)
{
    if (refused)
        *refused = false;
    if (broken_ || socket_ == CURL_SOCKET_BAD) {
        error = broken_ ? brokenError_ : QStringLiteral("POP3サーバーにログインしていません。");
        return false;
    }
    // The answers to the commands sent ahead come first.
    if (!readAheadAnswers(nullptr, error))
        return false;
    QByteArray line;
    if (!sendCommand(cmd, deadline) || !readLine(line, deadline)) {
        error = failure_;
        fail(error);
        return false;
    }
    if (status)
        *status = line;
    if (line.startsWith("+OK"))
        return true;
    if (line.startsWith("-ERR")) {
        error = QStringLiteral("POP3サーバー（%1）がエラーを返しました。\nサーバーの応答: %2")
                    .arg(address_.shown, QString::fromUtf8(line.left(1000)));
        if (refused)
            *refused = true;
        return false;
    }
    error = QStringLiteral("POP3サーバー（%1）の応答を読み取れません。\nサーバーの応答: %2")
                .arg(address_.shown, QString::fromUtf8(line.left(200)));
    fail(error);
    return false;
}

bool Pop3Session::readMultiline(QIODevice &sink, qint64 limit, bool *tooLarge, Clock::time_point deadline,
                                const QString &what, QString &error)
{
    *tooLarge = false;
    qint64 written = 0;
    bool atLineStart = true;
    // A sink that cannot take more (a full disk) does not end the session:
    // the answer is read to its end all the same.
    QString sinkError;
    auto idle = Clock::now() + std::chrono::seconds(timeoutSeconds());
    auto put = [&](const char *data, qsizetype n) {
        if (n <= 0 || *tooLarge || !sinkError.isEmpty())
            return;
        if (written + n > limit) {
            *tooLarge = true;
            return;
        }
        written += n;
        if (sink.write(data, n) != n)
            sinkError = deviceReason(sink);
    };
    for (;;) {
        // Takes up every whole piece of what has arrived; a "." at the start
        // of a line waits until the next bytes show whether it ends the answer.
        while (inPos_ < in_.size()) {
            const char *data = in_.constData() + inPos_;
            const qsizetype avail = in_.size() - inPos_;
            if (atLineStart && data[0] == '.') {
                if (avail < 2 || (data[1] == '\r' && avail < 3))
                    break;
                if (data[1] == '\n' || (data[1] == '\r' && data[2] == '\n')) {
                    inPos_ += data[1] == '\n' ? 2 : 3;
                    dropTaken();
                    if (!sinkError.isEmpty()) {
                        error = QStringLiteral("受信したメールを書き込めません: %1").arg(sinkError);
                        return false;
                    }
                    return true;
                }
                ++inPos_;  // a stuffed dot
                atLineStart = false;
                continue;
            }
            // Everything up to the next line that starts with a dot (rare in
            // mail) goes in one piece.
            const qsizetype dotLine = findDotLine(data, avail);
            const qsizetype n = dotLine >= 0 ? dotLine + 1 : avail;
            put(data, n);
            inPos_ += n;
            atLineStart = data[n - 1] == '\n';
        }
        dropTaken();

        size_t n = 0;
        const CURLcode rc = receiveMore(&n);
        if (rc == CURLE_AGAIN) {
            if (!waitSocket(false, deadline, idle)) {
                error = failure_ + QStringLiteral("\n（%1 の受信が終わっていません）").arg(what);
                fail(error);
                return false;
            }
            continue;
        }
        if (rc != CURLE_OK || n == 0) {
            // The connection ended before the terminating line: what came is
            // not the whole answer.
            error = QStringLiteral("POP3サーバー（%1）との接続が、%2 の途中で切れました（終わりの印が届いていません）。")
                        .arg(address_.shown, what);
            fail(error);
            return false;
        }
        idle = Clock::now() + std::chrono::seconds(timeoutSeconds());
    }
}

bool Pop3Session::retrieveTo(int n, bool headerOnly, QIODevice &sink, qint64 limit, bool *tooLarge, QString &error)
{
    bool large = false;
    if (tooLarge)
        *tooLarge = false;
    if (!canActOn(n, error))
        return false;
    const QString what = QStringLiteral("メール %1").arg(n);
    if (headerOnly) {
        bool refused = false;
        if (command("TOP " + QByteArray::number(n) + " 0", deadlineFor(0), error, &refused))
            return readMultiline(sink, limit, tooLarge ? tooLarge : &large, deadlineFor(64 * 1024), what, error);
        if (!refused)
            return false;
        error.clear();  // no TOP: the whole mail it is
    }
    AheadAnswer answer;
    const int taken = takeAheadAnswer(n, answer, error);
    if (taken < 0)
        return false;
    if (taken > 0) {
        if (answer.tooLarge || answer.body.size() > limit) {
            *(tooLarge ? tooLarge : &large) = true;
            return true;
        }
        if (sink.write(answer.body) != answer.body.size()) {
            error = QStringLiteral("受信したメールを書き込めません: %1").arg(deviceReason(sink));
            return false;
        }
        return true;
    }
    if (!command("RETR " + QByteArray::number(n), deadlineFor(0), error, nullptr))
        return false;
    const qint64 expected = qMin(qMax<qint64>(size(n), 0), limit);
    return readMultiline(sink, limit, tooLarge ? tooLarge : &large, deadlineFor(expected), what, error);
}

std::deque<Pop3Session::AheadAnswer>::iterator Pop3Session::findAhead(bool dele, int n)
{
    return std::find_if(ahead_.begin(), ahead_.end(), [&](const AheadAnswer &a) { return a.dele == dele && a.n == n; });
}

int Pop3Session::takeAheadAnswer(int n, AheadAnswer &answer, QString &error)
{
    auto it = findAhead(false, n);
    if (it == ahead_.end())
        return 0;
    if (!readAheadAnswers(&*it, error))
        return -1;
    answer = std::move(*it);
    ahead_.erase(it);
    if (!answer.ok) {
        error = answer.error;
        return -1;
    }
    return 1;
}

bool Pop3Session::retrieve(int n, bool headerOnly, QByteArray &out, QString &error)
{
    out.clear();
    // A mail asked for ahead is handed over as it was taken in, not copied.
    AheadAnswer answer;
    const int taken = headerOnly || !authenticated_ ? 0 : takeAheadAnswer(n, answer, error);
    if (taken < 0)
        return false;
    if (taken > 0) {
        if (!answer.tooLarge)
            out = std::move(answer.body);
        return true;
    }
    // The listed size is a hint, never a promise: reserve no more than a
    // little ahead.
    out.reserve(qsizetype(std::clamp<qint64>(size(n), 0, 1 << 20)) + 4096);
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    bool tooLarge = false;
    if (!retrieveTo(n, headerOnly, buffer, std::numeric_limits<qsizetype>::max() / 2, &tooLarge, error))
        return false;
    return true;
}

bool Pop3Session::serverTakesCommandsInARow()
{
    QString error;
    if (pipelining_ < 0) {
        // Asked once per session: without PIPELINING a server may take a
        // command only after it answered the last one.
        pipelining_ = 0;
        bool refused = false;
        if (command("CAPA", deadlineFor(0), error, &refused)) {
            QBuffer capabilities;
            capabilities.open(QIODevice::WriteOnly);
            bool tooLarge = false;
            if (!readMultiline(capabilities, 64 * 1024, &tooLarge, deadlineFor(64 * 1024), QStringLiteral("CAPA"),
                               error))
                return false;
            for (const QByteArray &line : capabilities.data().split('\n'))
                if (line.trimmed().toUpper() == "PIPELINING")
                    pipelining_ = 1;
        }
    }
    return pipelining_ == 1;
}

bool Pop3Session::retrieveAhead(int n, qint64 limit)
{
    if (!authenticated_ || broken_ || n < 1 || n > count())
        return false;
    if (size(n) < 0 || size(n) > qMin(limit, AheadBytes))
        return false;
    if (findAhead(false, n) != ahead_.end())
        return true;
    if (std::count_if(ahead_.begin(), ahead_.end(), [](const AheadAnswer &a) { return !a.dele; }) >= 2)
        return false;
    AheadAnswer answer;
    answer.n = n;
    answer.limit = limit;
    return sendAhead("RETR " + QByteArray::number(n), std::move(answer));
}

bool Pop3Session::sendAhead(const QByteArray &command, AheadAnswer answer)
{
    if (!serverTakesCommandsInARow())
        return false;
    if (!sendCommand(command, deadlineFor(0))) {
        fail(failure_);
        return false;
    }
    ahead_.push_back(std::move(answer));
    return true;
}

bool Pop3Session::readAheadAnswers(const AheadAnswer *upTo, QString &error)
{
    for (AheadAnswer &a : ahead_) {
        if (a.read) {
            if (&a == upTo)
                break;
            continue;
        }
        if (broken_) {
            error = brokenError_;
            return false;
        }
        QByteArray line;
        if (!readLine(line, deadlineFor(0))) {
            error = failure_;
            fail(error);
            return false;
        }
        a.read = true;
        if (a.dele && line.startsWith("+OK")) {
            a.ok = true;
        } else if (line.startsWith("+OK")) {
            a.body.reserve(qsizetype(std::clamp<qint64>(size(a.n), 0, 1 << 20)) + 4096);
            QBuffer sink(&a.body);
            sink.open(QIODevice::WriteOnly);
            const qint64 expected = qMin(qMax<qint64>(size(a.n), 0), a.limit);
            if (!readMultiline(sink, a.limit, &a.tooLarge, deadlineFor(expected), QStringLiteral("メール %1").arg(a.n),
                               error))
                return false;
            a.ok = true;
        } else if (line.startsWith("-ERR")) {
            a.error = QStringLiteral("POP3サーバー（%1）がエラーを返しました。\nサーバーの応答: %2")
                          .arg(address_.shown, QString::fromUtf8(line.left(1000)));
        } else {
            error = QStringLiteral("POP3サーバー（%1）の応答を読み取れません。\nサーバーの応答: %2")
                        .arg(address_.shown, QString::fromUtf8(line.left(200)));
            fail(error);
            return false;
        }
        if (&a == upTo)
            break;
    }
    return true;
}

qint64 Pop3Session::size(int n) const
{
    return n >= 1 && n <= sizes_.size() ? sizes_[n - 1] : -1;
}

bool Pop3Session::canActOn(int n, QString &error) const
{
    if (!authenticated_) {
        error = broken_ ? brokenError_ : QStringLiteral("POP3サーバーにログインしていません。");
        return false;
    }
    if (n < 1 || n > count()) {
        error = QStringLiteral("メール %1 はサーバーにありません。").arg(n);
        return false;
    }
    return true;
}

QString Pop3Session::uidl(int n) const
{
    return n >= 1 && n <= uidls_.size() ? QString::fromLatin1(uidls_[n - 1]) : QString();
}

bool Pop3Session::markDeleted(int n, QString &error, bool *refused)
{
    if (refused)
        *refused = false;
    if (!canActOn(n, error))
        return false;
    return command("DELE " + QByteArray::number(n), deadlineFor(0), error, refused);
}

bool Pop3Session::deleteAhead(int n)
{
    if (!authenticated_ || broken_ || n < 1 || n > count() || findAhead(true, n) != ahead_.end())
        return false;
    AheadAnswer answer;
    answer.dele = true;
    answer.n = n;
    return sendAhead("DELE " + QByteArray::number(n), std::move(answer));
}

int Pop3Session::deleteOutcome(int n, QString &error)
{
    const auto it = findAhead(true, n);
    if (it == ahead_.end())
        return 0;
    if (!readAheadAnswers(&*it, error)) {
        if (error.isEmpty())
            error = brokenError_;
        return -1;
    }
    const AheadAnswer answer = std::move(*it);
    ahead_.erase(it);
    if (answer.ok)
        return 1;
    error = answer.error;
    return -2;
}

void Pop3Session::abandon()
{
    fail(QStringLiteral("POP3サーバー（%1）との接続を、削除を確定せずに閉じました。").arg(address_.shown));
}

bool Pop3Session::quit(QString &error)
{
    if (!authenticated_ || quitDone_)
        return true;
    if (broken_) {
        error = brokenError_ + QStringLiteral("\n削除の指示は確定していません（メールはサーバーに残っています）。");
        return false;
    }
    bool refused = false;
    if (!command("QUIT", deadlineFor(0), error, &refused)) {
        error += QStringLiteral("\n削除の指示がサーバーに届いていない可能性があります。");
        return false;
    }
    quitDone_ = true;
    return true;
}

}  // namespace korvane::nmail::transport
