// The transport's functions by their contract names: a table of POP3
// sessions by handle, the last error text, and the calls into the POP3 and
// SMTP sessions and the MIME code.

#include "nmail.h"

#include "common/digest.h"
#include "common/reasons.h"
#include "common/text.h"
#include "mime/mime.h"
#include "settings/settings.h"
#include "transport_common.h"
#include "transport_pop3.h"
#include "transport_smtp.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <atomic>
#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace korvane::nmail {

namespace {

std::mutex initMutex;
int initCount = 0;

struct Handle {
    std::unique_ptr<transport::Pop3Session> session;
    QByteArray rawMail;
    // A small mail fetched whole for its header, kept for the fetch of the
    // whole mail that follows (one command to the server instead of two).
    int prefetchedNumber = 0;
    QByteArray prefetched;
};

// Mails up to this size are fetched whole already for their header.
constexpr qint64 PrefetchLimit = 256 * 1024;

std::mutex handlesMutex;
std::map<int, std::shared_ptr<Handle>> handles;
int nextHandle = 1;

std::mutex messageMutex;
QString lastMessage;
thread_local QString threadMessage;
thread_local bool threadHasMessage = false;
thread_local QStringList savedFiles;

void setMessage(const QString &text)
{
    threadMessage = text;
    threadHasMessage = true;
    std::lock_guard lock(messageMutex);
    lastMessage = text;
}

std::shared_ptr<Handle> find(int handle)
{
    std::lock_guard lock(handlesMutex);
    auto it = handles.find(handle);
    return it == handles.end() ? nullptr : it->second;
}

std::shared_ptr<Handle> authenticatedHandle(int handle)
{
    std::shared_ptr<Handle> h = find(handle);
    if (!h) {
        setMessage(QStringLiteral("POP3サーバーに接続していません。"));
        return nullptr;
    }
    if (!h->session->authenticated()) {
        setMessage(QStringLiteral("POP3サーバーにログインしていません。"));
        return nullptr;
    }
    return h;
}

void fill(MailTexts &texts, const mime::ReceivedTexts &r, bool withBody)
{
    texts.subject = trimAtNul(r.subject);
    texts.date = trimAtNul(r.date);
    texts.from = trimAtNul(r.from);
    texts.header = trimAtNul(r.header);
    if (withBody)
        texts.body = trimAtNul(r.body);
}

// Removes a handle from the open ones; null (with the message set) for an
// unknown one.
std::shared_ptr<Handle> takeHandle(int handle)
{
    std::lock_guard lock(handlesMutex);
    auto it = handles.find(handle);
    if (it == handles.end()) {
        setMessage(QStringLiteral("POP3サーバーに接続していません。"));
        return nullptr;
    }
    std::shared_ptr<Handle> h = it->second;
    handles.erase(it);
    return h;
}

}  // namespace

void NMailInitializeWinSock()
{
    // libcurl and GMime are set up at their first use (the first session,
    // the first mail taken apart), so the start of the program does not
    // open them.
    std::lock_guard lock(initMutex);
    ++initCount;
}

void NMailEndWinSock()
{
    std::lock_guard lock(initMutex);
    if (initCount == 0 || --initCount > 0)
        return;
    {
        std::lock_guard handlesLock(handlesMutex);
        handles.clear();
    }
    transport::endCurl();
}

namespace {
std::atomic<qint64> maxMailBytes{50LL * 1024 * 1024};
}

qint64 NMailPop3MaxMailSize()
{
    return maxMailBytes.load();
}

void NMailSetOption(int option, int value)
{
    if (option == NMailOptionMaxMailMegabytes)
        maxMailBytes.store(qint64(qBound(1, value, 4000)) * 1024 * 1024);
    if (option == NMailOptionTimeoutSeconds)
        transport::setTimeoutSeconds(value);
    if (option == NMailOptionLongestTransferSeconds)
        transport::setLongestTransferSeconds(value);
}

int NMailPop3Connect(const QString &server, bool clearCancel)
{
    transport::ServerAddress address;
    QString error;
    if (!transport::parseServer(server, transport::Protocol::Pop3, address, error)) {
        setMessage(error);
        return -1;
    }
    if (clearCancel)
        transport::clearCancel();
    auto h = std::make_shared<Handle>();
    h->session = std::make_unique<transport::Pop3Session>(address);
    if (!h->session->probe(error)) {
        setMessage(error);
        return -1;
    }
    std::lock_guard lock(handlesMutex);
    const int id = nextHandle++;
    if (nextHandle <= 0)
        nextHandle = 1;
    handles[id] = std::move(h);
    return id;
}

int NMailPop3Authenticate(int handle, const QString &userId, const QString &password, bool apop)
{
    std::shared_ptr<Handle> h = find(handle);
    if (!h) {
        setMessage(QStringLiteral("POP3サーバーに接続していません。"));
        return -1;
    }
    QString error;
    const int count = h->session->authenticate(userId, password, apop, error);
    if (count < 0)
        setMessage(error);
    return count;
}

int NMailPop3GetMailStatus(int handle, int n, MailTexts &texts)
{
    std::shared_ptr<Handle> h = authenticatedHandle(handle);
    if (!h)
        return -1;
    QByteArray header;
    QString error;
    h->prefetched = QByteArray();
    h->prefetchedNumber = 0;
    const qint64 size = h->session->size(n);
    const bool whole = size >= 0 && size <= PrefetchLimit;
    if (!h->session->retrieve(n, !whole, header, error)) {
        setMessage(error);
        return -1;
    }
    if (whole) {
        h->prefetched = header;
        h->prefetchedNumber = n;
    }
    const mime::MessageSplit split = mime::splitMessage(header);
    fill(texts, mime::headerTexts(header.constData(), split.headerEnd), false);
    return 1;
}

int NMailPop3GetMailHeader(int handle, int n, MailTexts &texts)
{
    std::shared_ptr<Handle> h = authenticatedHandle(handle);
    if (!h)
        return -1;
    h->prefetched = QByteArray();
    h->prefetchedNumber = 0;
    QByteArray header;
    QBuffer sink(&header);
    sink.open(QIODevice::WriteOnly);
    QString error;
    bool large = false;
    if (!h->session->retrieveTo(n, true, sink, 256 * 1024, &large, error)) {
        setMessage(error);
        return -1;
    }
    sink.close();
    const mime::MessageSplit split = mime::splitMessage(header);
    fill(texts, mime::headerTexts(header.constData(), split.headerEnd), false);
    return 1;
}

qint64 NMailPop3GetMailSize(int handle, int n)
{
    std::shared_ptr<Handle> h = authenticatedHandle(handle);
    if (!h)
        return -1;
    const qint64 size = h->session->size(n);
    if (size < 0)
        setMessage(QStringLiteral("メール %1 はサーバーにありません。").arg(n));
    return size;
}

int NMailPop3GetMail(int handle, int n, MailTexts &texts)
{
    std::shared_ptr<Handle> h = authenticatedHandle(handle);
    if (!h)
        return -1;
    h->rawMail = QByteArray();  // the previous mail goes before the next arrives
    QByteArray raw;
    QString error;
    if (h->prefetchedNumber == n) {
        raw = std::move(h->prefetched);
    } else if (!h->session->retrieve(n, false, raw, error)) {
        h->prefetched = QByteArray();
        h->prefetchedNumber = 0;
        setMessage(error);
        return -1;
    }
    h->prefetched = QByteArray();
    h->prefetchedNumber = 0;
    h->rawMail = raw;
    fill(texts, mime::messageTexts(raw), true);
    return 1;
}

QByteArray NMailPop3GetRawMail(int handle)
{
    std::shared_ptr<Handle> h = find(handle);
    return h ? h->rawMail : QByteArray();
}

namespace {

// Writes what it is given into a file and, when asked, a copy into memory:
// the mail is on disk as it arrives, and read once. A large mail goes on
// its way to the disk while the rest of it comes in, so that the sync that
// follows the check does not wait for all of it at once.
class TeeDevice final : public QIODevice {
public:
    TeeDevice(QFile &file, QByteArray *copy, Sha256 *digest)
        : file_(file), copy_(copy), digest_(digest)
    {
        open(QIODevice::WriteOnly);
    }
    // Starts writing out what the file has been given and was not started
    // yet (without waiting for the disk).
    void startWriteBack()
    {
#ifdef Q_OS_LINUX
        if (file_.flush() && written_ > startedTo_)
            ::sync_file_range(file_.handle(), startedTo_, written_ - startedTo_, SYNC_FILE_RANGE_WRITE);
#endif
        startedTo_ = written_;
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        if (file_.write(data, size) != size) {
            setErrorString(file_.errorString());
            return -1;
        }
        if (copy_)
            copy_->append(data, qsizetype(size));
        if (digest_)
            digest_->add(QByteArrayView(data, qsizetype(size)));
        written_ += size;
        if (written_ - startedTo_ >= WriteBackStep)
            startWriteBack();
        return size;
    }

private:
    static constexpr qint64 WriteBackStep = 4 * 1024 * 1024;
    QFile &file_;
    QByteArray *copy_;
    Sha256 *digest_;
    qint64 written_ = 0;
    qint64 startedTo_ = 0;
};

}  // namespace

namespace {

int mailTooLarge(int n, qint64 size, qint64 limit)
{
    setMessage(QStringLiteral("メール %1 は大きすぎるため（%2 MB、上限 %3 MB）受信しませんでした。サーバーに残してあります。")
                   .arg(n)
                   .arg(double(size) / (1024 * 1024), 0, 'f', 1)
                   .arg(limit / (1024 * 1024)));
    return -3;
}

struct Retrieval {
    std::shared_ptr<Handle> h;
    qint64 limit = 0;
    qint64 listed = 0;
};

// The session for a retrieval of mail n within the size limit; null with
// the answer in *answer (-1, or -3 for a mail listed too large) otherwise.
Retrieval startRetrieval(int handle, int n, int *answer)
{
    Retrieval r;
    r.h = authenticatedHandle(handle);
    *answer = -1;
    if (!r.h)
        return r;
    r.h->prefetched = QByteArray();
    r.h->prefetchedNumber = 0;
    r.limit = NMailPop3MaxMailSize();
    r.listed = r.h->session->size(n);
    if (r.listed > r.limit) {
        *answer = mailTooLarge(n, r.listed, r.limit);
        r.h.reset();
    }
    return r;
}

}  // namespace

int NMailPop3RetrieveAhead(int handle, int n)
{
    std::shared_ptr<Handle> h = authenticatedHandle(handle);
    return h && h->session->retrieveAhead(n, NMailPop3MaxMailSize()) ? 1 : 0;
}

int NMailPop3RetrieveToMemory(int handle, int n, QByteArray &bytes)
{
    bytes = QByteArray();
    int answer = -1;
    const auto [h, limit, listed] = startRetrieval(handle, n, &answer);
    if (!h)
        return answer;
    // Reserved once, for the mail as listed (a hint, never a promise: a
    // larger one grows past it, and never past the limit), so that a large
    // mail is not moved as it grows.
    bytes.reserve(qsizetype(std::clamp<qint64>(listed, 0, limit)) + 4096);
    QBuffer sink(&bytes);
    sink.open(QIODevice::WriteOnly);
    QString error;
    bool large = false;
    const bool whole = h->session->retrieveTo(n, false, sink, limit, &large, error);
    sink.close();
    if (!whole || large) {
        bytes = QByteArray();
        if (large)
            return mailTooLarge(n, qMax(listed, limit + 1), limit);
        setMessage(error);
        return -1;
    }
    return 1;
}

int NMailPop3RetrieveToFile(int handle, int n, const QString &path, QByteArray *bytes, QByteArray *sha256)
{
    if (bytes)
        bytes->clear();
    if (sha256)
        sha256->clear();
    int answer = -1;
    const auto [h, limit, listed] = startRetrieval(handle, n, &answer);
    if (!h)
        return answer;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        setMessage(QStringLiteral("受信したメールを書き込むファイル %1 を作れません: %2")
                       .arg(QDir::toNativeSeparators(path), deviceReason(file)));
        // The session is untouched, but a mail that cannot be kept must not
        // go on: the check stops here.
        return -1;
    }
    QString error;
    bool large = false;
    std::optional<Sha256> digest;
    if (sha256)
        digest.emplace();
    TeeDevice sink(file, bytes, digest ? &*digest : nullptr);
    const bool whole = h->session->retrieveTo(n, false, sink, limit, &large, error);
    const bool written = whole && file.flush();
    if (written)
        sink.startWriteBack();
    if (whole && !written)
        error = QStringLiteral("受信したメールを書き込めません: %1").arg(deviceReason(file));
    file.close();
    if (!written || large) {
        // A mail that could not be written was still read to its end: the
        // session goes on, and the check decides what to do.
        QFile::remove(path);
        if (bytes)
            *bytes = QByteArray();
        if (large)
            return mailTooLarge(n, qMax(listed, limit + 1), limit);
        setMessage(error);
        return -1;
    }
    if (sha256)
        *sha256 = digest->result();
    return 1;
}

void NMailPop3CancelAll()
{
    transport::cancelAllSessions();
}

void NMailPop3ClearCancel()
{
    transport::clearCancel();
}

QString NMailPop3GetUidl(int handle, int n)
{
    std::shared_ptr<Handle> h = find(handle);
    return h ? trimAtNul(h->session->uidl(n)) : QString();
}

int NMailPop3DeleteMail(int handle, int n)
{
    std::shared_ptr<Handle> h = authenticatedHandle(handle);
    if (!h)
        return -1;
    QString error;
    bool refused = false;
    if (!h->session->markDeleted(n, error, &refused)) {
        setMessage(error);
        return refused ? -2 : -1;
    }
    return 1;
}

int NMailPop3DeleteAhead(int handle, int n)
{
    std::shared_ptr<Handle> h = authenticatedHandle(handle);
    return h && h->session->deleteAhead(n) ? 1 : 0;
}

int NMailPop3DeleteOutcome(int handle, int n)
{
    std::shared_ptr<Handle> h = authenticatedHandle(handle);
    if (!h)
        return -1;
    QString error;
    const int outcome = h->session->deleteOutcome(n, error);
    if (outcome == 0)
        return NMailPop3DeleteMail(handle, n);  // not sent ahead: sent now
    if (outcome < 0)
        setMessage(error);
    return outcome;
}

int NMailPop3Close(int handle)
{
    std::shared_ptr<Handle> h = takeHandle(handle);
    if (!h)
        return -1;
    QString error;
    const bool confirmed = h->session->quit(error);
    h.reset();  // closes the connection
    if (!confirmed) {
        setMessage(error);
        return -1;
    }
    return 0;
}

int NMailPop3Abandon(int handle)
{
    std::shared_ptr<Handle> h = takeHandle(handle);
    if (!h)
        return -1;
    h->session->abandon();
    return 0;  // the connection closes with the last holder of the handle
}

int NMailAttachmentFileFirst(MailTexts &texts, const QString &targetFolder, const QString &workFile,
                             const QByteArray &mailText, bool syncedByCaller)
{
    Q_UNUSED(workFile);  // never replaced: saved names never take an existing file's
    const mime::Extraction ex =
        mime::extractAttachments(mailText, targetFolder,
                                 syncedByCaller ? mime::FileSync::ByCaller : mime::FileSync::EachFile,
                                 [] { return transport::cancelRequested(); });
    savedFiles = ex.savedFiles;
    if (ex.texts.hasHeader)
        fill(texts, ex.texts, false);
    // A NUL inside the text would cut off everything behind it: it becomes
    // U+FFFD, which the history shows as "〓" and reports as not kept.
    texts.body = ex.texts.body;
    texts.body.replace(QChar(u'\0'), QChar(0xFFFD));
    if (ex.result != 1)
        setMessage(ex.error);
    return ex.result;
}

QStringList NMailAttachmentSavedFiles()
{
    return savedFiles;
}

void NMailAttachmentFileClose()
{
    savedFiles.clear();
}

QString NMailGetMessage()
{
    if (threadHasMessage)
        return trimAtNul(threadMessage);
    std::lock_guard lock(messageMutex);
    return trimAtNul(lastMessage);
}

int NMailSmtpSendMail(const QString &server, const QString &to, const QString &from, const QString &subject,
                      const QString &body, const QString &attachments)
{
    return NMailSmtpSendMail(server, to, from, subject, body, attachments, SmtpSendExtras{});
}

int NMailSmtpSendMail(const QString &server, const QString &to, const QString &from, const QString &subject,
                      const QString &body, const QString &attachments, const SmtpSendExtras &extras)
{
    transport::ServerAddress address;
    QString error;
    if (!transport::parseServer(server, transport::Protocol::Smtp, address, error)) {
        setMessage(error);
        return -1;
    }
    QStringList recipients;
    if (!mime::envelopeAddresses(to, recipients, error)) {
        setMessage(error);
        return -1;
    }
    if (recipients.isEmpty()) {
        setMessage(QStringLiteral("宛先が指定されていません。"));
        return -1;
    }
    QStringList senders;
    if (!mime::envelopeAddresses(from, senders, error) || senders.size() != 1) {
        setMessage(from.trimmed().isEmpty() ? QStringLiteral("差出人のメールアドレスが設定されていません。")
                                            : QStringLiteral("差出人のメールアドレス「%1」が正しくありません。").arg(from));
        return -1;
    }
    mime::OutgoingMail mail;
    mail.from = from;
    mail.to = to;
    mail.subject = subject;
    mail.body = body;
    mail.answeredMessageId = extras.answeredMessageId;
    mail.answeredReferences = extras.answeredReferences;
    for (const QString &path : attachments.split(QLatin1Char(','))) {
        if (!path.trimmed().isEmpty())
            mail.attachments << path.trimmed();
    }
    QByteArray message;
    if (!mime::buildMessage(mail, message, error)) {
        setMessage(error);
        return -1;
    }
    settings::AccountCredentials credentials = settings::accountCredentials();
    if (credentials.userId.isEmpty() && credentials.password.isEmpty()) {
        credentials.userId = settings::readCredentialValue(QStringLiteral("NAME"));
        credentials.password = settings::readCredentialValue(QStringLiteral("NAME2"));
    }
    const transport::SendResult sent =
        transport::sendMessage(address, senders.first(), recipients, message, credentials.userId, credentials.password, error);
    if (sent != transport::SendResult::Accepted) {
        setMessage(error);
        return sent == transport::SendResult::Uncertain ? SmtpSendUncertain : -1;
    }
    if (extras.sentMessage)
        *extras.sentMessage = std::move(message);
    return 0;
}

}  // namespace korvane::nmail
