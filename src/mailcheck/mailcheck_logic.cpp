// Over a thousand lines on purpose: this is one class, MailCheck, whose steps
// (fetch, take up, store, delete ahead, settle, sync to disk, stop) share the
// session's state and its ordering rules; kept in one file they read in the
// order a check runs them.
#include "mailcheck_logic.h"

#include "common/cp932.h"
#include "common/digest.h"
#include "common/dialogs.h"
#include "common/addressfield.h"
#include "common/paths.h"
#include "common/reasons.h"
#include "common/text.h"
#include "mailcheck/mailcheck_journal.h"
#include "mailcheck/mailcheck_session.h"
#include "history/mailhistory.h"
#include "pilgrimage/progress.h"
#include "settings/settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QSettings>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane::mail {
namespace {

class NMailTransport final : public MailCheckTransport {
public:
    int connect(const QString &server) override { return nmail::NMailPop3Connect(server, false); }
    int authenticate(int h, const QString &id, const QString &pw, bool apop) override
    {
        return nmail::NMailPop3Authenticate(h, id, pw, apop);
    }
    QString uidl(int h, int n) override { return nmail::NMailPop3GetUidl(h, n); }
    int status(int h, int n, nmail::MailTexts &t) override { return nmail::NMailPop3GetMailStatus(h, n, t); }
    int header(int h, int n, nmail::MailTexts &t) override { return nmail::NMailPop3GetMailHeader(h, n, t); }
    qint64 size(int h, int n) override { return nmail::NMailPop3GetMailSize(h, n); }
    int getMail(int h, int n, nmail::MailTexts &t) override { return nmail::NMailPop3GetMail(h, n, t); }
    QByteArray rawMail(int h) override { return nmail::NMailPop3GetRawMail(h); }
    int attachmentFirst(nmail::MailTexts &t, const QString &folder, const QByteArray &mailText) override
    {
        return nmail::NMailAttachmentFileFirst(t, folder, QString(), mailText, true);
    }
    QStringList savedAttachments() override { return nmail::NMailAttachmentSavedFiles(); }
    void attachmentClose() override { nmail::NMailAttachmentFileClose(); }
    int retrieve(int h, int n, nmail::MailTexts &, QByteArray &raw) override
    {
        return nmail::NMailPop3RetrieveToMemory(h, n, raw);
    }
    int retrieveToFile(int h, int n, nmail::MailTexts &, const QString &path, qint64 *size, QByteArray *digest) override
    {
        const int got = nmail::NMailPop3RetrieveToFile(h, n, path, nullptr, digest);
        *size = got == 1 ? QFileInfo(path).size() : 0;
        return got;
    }
    void retrieveAhead(int h, int n) override { nmail::NMailPop3RetrieveAhead(h, n); }
    qint64 maxMailSize() override { return nmail::NMailPop3MaxMailSize(); }
    int deleteMail(int h, int n) override { return nmail::NMailPop3DeleteMail(h, n); }
    int deleteAhead(int h, int n) override { return nmail::NMailPop3DeleteAhead(h, n); }
    int deleteOutcome(int h, int n) override { return nmail::NMailPop3DeleteOutcome(h, n); }
    int close(int h) override { return nmail::NMailPop3Close(h); }
    void abandon(int h) override { nmail::NMailPop3Abandon(h); }
    QString lastMessage() override { return nmail::NMailGetMessage(); }
    void cancelAll() override { nmail::NMailPop3CancelAll(); }
    void clearCancel() override { nmail::NMailPop3ClearCancel(); }
};

const QString LeftOnServer = QStringLiteral("このメールと、まだ受信していないメールはサーバーに残してあります。"
                                            "原因を取り除いてから、もう一度受信して下さい。");

std::function<bool(QString *)> &historySyncHook()
{
    static std::function<bool(QString *)> hook;
    return hook;
}



// The record's subject field, in code page 932 bytes.
constexpr qsizetype SubjectFieldWidth = 100;

// DELEs whose answer the next mail does not wait for: an answer is taken
// behind the fetches asked for before it (MailCheck::FetchDepth at most).
constexpr int UnansweredDeletes = MailCheck::FetchDepth + 2;

// Mails fetched beyond the one at hand (MailCheck::FetchDepth at most) are
// no more than so many bytes (as listed) unless it is only the next one.
constexpr qint64 FetchAheadBytes = 16 * 1024 * 1024;

// A mail listed larger goes into its file as it arrives, never whole into
// memory: the file is the kept original, and the extraction reads it there.
// Such mails take no part in the memory budget above; of them, no more than
// so many are fetched and not yet taken up, so that the next one comes in
// while the last one is taken apart.
constexpr qint64 ToFileBytes = FetchAheadBytes;
constexpr int FilesAhead = 2;

// Files that hold mail are for their owner's eyes only.
constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Writes `bytes` into the new file `path`, for its owner's eyes only. On
// failure nothing of it is left and `error` says why.
bool writeNewMailFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, OwnerOnly) && file.write(bytes) == bytes.size()
        && file.flush())
        return true;
    *error = deviceReason(file);
    if (file.isOpen()) {
        file.close();
        QFile::remove(path);
    }
    return false;
}

// Puts the files on the disk, which lie in the folders given.
bool syncFolderContents(const QStringList &folders, const QStringList &files, QString *error)
{
#ifdef Q_OS_LINUX
    // One call puts every file of a folder's file system on the disk: once
    // for each file system the folders are on.
    Q_UNUSED(files);
    QList<dev_t> synced;
    for (const QString &folder : folders) {
        const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st {};
        bool ok = fd >= 0 && ::fstat(fd, &st) == 0;
        if (ok && !synced.contains(st.st_dev)) {
            ok = ::syncfs(fd) == 0;
            synced << st.st_dev;
        }
        if (!ok && error)
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(folder), systemReason(errno));
        if (fd >= 0)
            ::close(fd);
        if (!ok)
            return false;
    }
    return true;
#else
    Q_UNUSED(folders);
    for (const QString &path : files) {
        QFile f(path);
        if (!f.open(QIODevice::ReadWrite) || ::fsync(f.handle()) != 0) {
            if (error)
                *error = deviceReason(f);
            return false;
        }
    }
    return true;
#endif
}

}  // namespace

int MailCheckTransport::retrieve(int handle, int n, nmail::MailTexts &texts, QByteArray &raw)
{
    if (status(handle, n, texts) < 0)
        return -1;
    size(handle, n);
    if (getMail(handle, n, texts) < 0)
        return -1;
    raw = rawMail(handle);
    return 1;
}

int MailCheckTransport::retrieveToFile(int handle, int n, nmail::MailTexts &texts, const QString &path, qint64 *size,
                                       QByteArray *digest)
{
    *size = 0;
    digest->clear();
    QByteArray raw;
    const int got = retrieve(handle, n, texts, raw);
    if (got < 0)
        return got;
    QString error;
    if (!writeNewMailFile(path, raw, &error))
        return -1;
    *size = raw.size();
    *digest = sha256(raw);
    return got;
}

std::shared_ptr<MailCheckTransport> makeNMailTransport()
{
    return std::make_shared<NMailTransport>();
}

QByteArray mailTextFromWorkFile(const QByteArray &fileBytes)
{
    const char *p = fileBytes.constData();
    const qsizetype size = fileBytes.size();
    // A mail whose every CR starts a CR LF and that ends with one is handed
    // on as it is.
    bool asItIs = size >= 2 && p[size - 2] == '\r' && p[size - 1] == '\n';
    for (const char *cr = p; asItIs;) {
        cr = static_cast<const char *>(std::memchr(cr, '\r', size_t(p + size - cr)));
        if (!cr)
            break;
        asItIs = cr + 1 < p + size && cr[1] == '\n';
        cr += 2;
    }
    if (asItIs)
        return fileBytes;
    QByteArray out;
    out.reserve(size + size / 64 + 2);
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (p[i] != '\r')
            continue;
        out.append(p + lineStart, i - lineStart);
        out.append("\r\n", 2);
        if (i + 1 < size && p[i + 1] == '\n')
            ++i;
        lineStart = i + 1;
    }
    if (lineStart < size) {
        out.append(p + lineStart, size - lineStart);
        out.append("\r\n", 2);
    }
    return out;
}

struct MailCheck::Session {
    int handle = -1;
    QStringList uidls;        // of mails 1 … count
    QList<int> pendingNumbers; // the mail numbers of journal.pending
    QList<qint64> sizes;      // as listed
    QSet<QString> already;    // stored by an earlier check
    ReceiveJournal journal;   // as written for this session
    QStringList undeleted;    // stored, but the server refused DELE
    QStringList refusedNumbers; // their numbers, for the user
    QStringList refusedUnremembered; // the same without a UIDL of their own: stored again next time
    QStringList tooLarge;     // what was left on the server for its size
    QSet<QString> toldBefore; // too large, and told so by an earlier check (UIDLs)
    QSet<QString> toldNow;    // too large in this check (UIDLs)
    QString originalsFolder;  // "\受信原本\"
    QStringList keptFiles;    // originals and attachments kept by this check, to be put on the disk before QUIT
    bool journalWritten = false;
    bool keptChanged = false;  // mails received in this check to be remembered as kept
    bool serverFailed = false; // an exchange with the server failed
    QString attachmentFolder;  // "\添付フォルダ\"
    std::optional<MailHistoryAppender> history;  // the received history, held open while mails come in

    // Mail n was stored by an earlier check: it is only removed.
    bool storedBefore(int n) const
    {
        return n <= uidls.size() && !uidls[n - 1].isEmpty() && already.contains(uidls[n - 1]);
    }

    // Mails kept on the server (KeepOnServer): received by an earlier
    // check, by UIDL, with when; those received meanwhile go in there too.
    bool keep = false;
    int keepDays = 0;             // 0: for ever
    QHash<QString, qint64> kept;
    QSet<QString> leftAlone;      // kept, and not yet due for deletion: neither fetched nor deleted
    bool leftAloneHas(int n) const { return n <= uidls.size() && !uidls[n - 1].isEmpty() && leftAlone.contains(uidls[n - 1]); }
    // Mail n is not fetched in this check.
    bool notFetched(int n) const { return storedBefore(n) || leftAloneHas(n); }
};

MailCheck::MailCheck(MailCheckView &view, std::shared_ptr<MailCheckTransport> transport)
    : view_(view), transportOwner_(std::move(transport)), transport_(*transportOwner_)
{
}

MailCheck::~MailCheck() = default;

void MailCheck::setHistorySyncHook(std::function<bool(QString *)> hook)
{
    historySyncHook() = std::move(hook);
}

template <class F> auto MailCheck::net(F &&call)
{
    using R = std::invoke_result_t<F>;
    std::optional<R> r;
    session_->run([&] { r.emplace(call()); });
    return std::move(*r);
}

MailCheckResult MailCheck::run()
{
    result_ = MailCheckResult();
    recoverProgressCounter();
    // Every mail counts on the pilgrimage; the counter is written once, when
    // the mails are in (see the journal).
    pilgrimage::ProgressCounterHold counterHold;
    session_ = std::make_unique<SessionThread>();
    extraction_ = std::make_unique<SessionThread>(QStringLiteral("mail extraction"));
    originals_ = std::make_unique<SessionThread>(QStringLiteral("mail originals"));
    aheadStarted_ = 0;
    syncedMeanwhile_ = 0;
    cancelled_ = false;
    gate_ = std::make_shared<FetchGate>();
    // Cleared here, before anything waits: a stop asked from now on (the
    // user, or the program ending while the server is reached) holds for
    // every call of this check.
    transport_.clearCancel();
    session_->setCancel([this] { cancel(); });
    extraction_->setCancel([this] { cancel(); });
    originals_->setCancel([this] { cancel(); });
    struct EndSession {
        std::unique_ptr<SessionThread> &session;
        std::unique_ptr<SessionThread> &extraction;
        std::unique_ptr<SessionThread> &originals;
        std::unique_ptr<SessionThread> &sync;
        std::shared_ptr<SessionThread::Call> &syncCall;
        ~EndSession()
        {
            syncCall.reset();
            sync.reset();
            originals.reset();
            extraction.reset();
            session.reset();
        }
    } endSession{session_, extraction_, originals_, syncThread_, syncCall_};
    const settings::ServerSettings server = settings::serverSettings();
    bool loginSkipped = false;
    if (!server.pop3Server.isEmpty()) {
        Session s;
        QString connectMessage;
        s.handle = net([&] {
            const int handle = transport_.connect(server.pop3Server);
            if (handle == -1)
                connectMessage = transport_.lastMessage();
            return handle;
        });
        view_.setStatus(checktext::Checking);
        if (s.handle == -1) {
            // "No new mail" must never stand for "cannot reach the server".
            result_.stopped = true;
            result_.stopReason = trimAtNul(connectMessage);
            notify(QStringLiteral("メールを受信できません。\n%1").arg(result_.stopReason), ErrorTitle);
        } else {
            // What was typed into ID/PASS holds for the whole run, saved or not.
            const settings::AccountCredentials credentials = settings::loginCredentials();
            const QString userId = credentials.userId;
            const QString password = credentials.password;
            view_.setCredentialBoxes(userId, password);
            if (userId.isEmpty() || password.isEmpty()) {
                loginSkipped = true;
                view_.showCredentialsWindow();
            } else {
                const bool apop = server.useApop != 0;
                QString message;
                result_.count = net([&] {
                    int count = transport_.authenticate(s.handle, userId, password, apop);
                    if (count < 0)
                        message = transport_.lastMessage();
                    return count;
                });
                if (result_.count > 0) {
                    receiveAll(s);
                    reportLeftovers(s);
                } else if (result_.count < 0) {
                    result_.stopReason = trimAtNul(message);
                    notify(result_.stopReason, ErrorTitle);
                }
            }
            pilgrimage::ProgressCounterHold::writeHeld();
            if (historyOnDisk(s) && keptOnDisk(s)) {
                QString quitMessage;
                result_.quitConfirmed = closeSession(s, &quitMessage) >= 0;
                if (!result_.quitConfirmed && result_.deleted + result_.replayed > 0 && !result_.stopped)
                    tellDeletionsUnconfirmed(s, quitMessage);
            } else {
                net([&] {
                    transport_.abandon(s.handle);
                    return 0;
                });
            }
            if (s.journalWritten)
                finishJournal(s);
            else if (result_.count == 0 && result_.quitConfirmed) {
                // An empty mailbox holds nothing the journal names, nor a
                // mail told too large.
                clearReceiveJournal();
                saveToldTooLarge({});
            }
        }
    }
    // What the status line says is what the check found out: a check that
    // could not ask the server, or stopped, never says there is no new mail.
    const QString got = result_.received >= 1 ? checktext::NewMail : QString();
    QString status = result_.received >= 1 ? checktext::NewMail : checktext::NoNewMail;
    if (server.pop3Server.isEmpty())
        status = checktext::NoServer;
    else if (loginSkipped)
        status = checktext::NoLogin;
    else if (cancelled_ && result_.stopped)
        status = got + checktext::Stopped;
    else if (result_.count < 0 || result_.stopped)
        status = got.isEmpty() ? checktext::NotReceived : got + checktext::StoppedPartway;
    else if (result_.skipped > 0)
        status = (result_.received >= 1 ? checktext::NewMail : QString())
                 + QStringLiteral("大きすぎるメール %1 通をサーバーに残しました。").arg(result_.skipped);
    view_.setStatus(status);
    if (cancelled_ && session_ && !session_->applicationQuitting())
        dialogs().notice(view_.dialogParent(),
                         QStringLiteral("メールの受信を中止しました。\n受信していないメールはサーバーに残してあります。"),
                         ProgramTitle);
    result_.cancelled = cancelled_;
    return result_;
}

void MailCheck::cancel()
{
    cancelled_ = true;
    {
        std::lock_guard lock(gate_->mutex);
        gate_->cancelled = true;
    }
    gate_->changed.notify_all();
    transport_.cancelAll();
}

void MailCheck::holdFetching(bool hold)
{
    {
        std::lock_guard lock(gate_->mutex);
        gate_->held = hold;
    }
    gate_->changed.notify_all();
}

bool MailCheck::FetchGate::pass()
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return !held || cancelled; });
    return !cancelled;
}

void MailCheck::notify(const QString &text, const QString &title)
{
    // A check the user stopped, or that the program's end cut short, says
    // so once at its end; a program that is ending shows nothing.
    if (cancelled_ || (session_ && session_->applicationQuitting()))
        return;
    dialogs().notice(view_.dialogParent(), text, title,
                     title == ErrorTitle ? Dialogs::Icon::Critical : Dialogs::Icon::Exclamation);
}

void MailCheck::receiveAll(Session &s)
{
    const int count = result_.count;
    net([&] {
        s.uidls.reserve(count);
        s.sizes.reserve(count);
        for (int n = 1; n <= count; ++n) {
            s.uidls.append(transport_.uidl(s.handle, n));
            s.sizes.append(transport_.size(s.handle, n));
        }
        return 0;
    });

    // A UIDL the server gives to more than one mail (which it must not) says
    // nothing about which of them was stored: such mails count as having no
    // UIDL, so no journal entry can make one of them look stored.
    QHash<QString, int> seen;
    for (const QString &uidl : std::as_const(s.uidls))
        if (!uidl.isEmpty())
            ++seen[uidl];
    for (QString &uidl : s.uidls)
        if (seen.value(uidl) > 1)
            uidl.clear();

    // Every mail is kept whole, byte for byte, beside its record.
    s.originalsFolder = paths::ensureFolder(QString::fromUtf16(paths::OriginalsFolder));
    if (!QFileInfo(s.originalsFolder).isDir()) {
        stop(s,
             QStringLiteral("受信したメールの原本を保存するフォルダ %1 を作れないため、メールを受信できません。\n\n%2")
                 .arg(QDir::toNativeSeparators(s.originalsFolder), QStringLiteral("メールはすべてサーバーに残してあります。")),
             ProgramTitle);
        return;
    }
    QFile::setPermissions(s.originalsFolder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // What a check that died was receiving is of no use: it was not stored.
    for (const QString &stale : QDir(s.originalsFolder).entryList({QStringLiteral(".incoming-*.part")},
                                                                  QDir::Files | QDir::Hidden))
        QFile::remove(QDir(s.originalsFolder).filePath(stale));

    s.toldBefore = loadToldTooLarge();

    // With the mails kept on the server, those received before are not
    // fetched again; those due (KeepDays after they were received) are
    // removed as the mails stored by a broken check are.
    {
        const QSettings options(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Korvane"),
                                QStringLiteral("Korvane"));
        s.keep = options.value(QStringLiteral("Receive/KeepOnServer"), false).toBool();
        s.keepDays = qMax(0, options.value(QStringLiteral("Receive/KeepDays"), 0).toInt());
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (s.keep) {
        const qsizetype unnamed = std::count(s.uidls.cbegin(), s.uidls.cend(), QString());
        if (unnamed > 0) {
            stop(s,
                 QStringLiteral("メールをサーバーに残す設定になっていますが、このサーバーはメールに固有の番号（UIDL）を"
                                "付けていない（%1 通）ため、どのメールを受信済みか覚えておけません。同じメールを何度も"
                                "受信しないよう、メールを受信しませんでした。\n\n受信の設定で「サーバーに残す」を"
                                "やめると受信できます。メールはすべてサーバーに残してあります。")
                     .arg(unnamed),
                 ProgramTitle);
            return;
        }
        s.kept = loadKeptOnServer();
    }
    auto due = [&](const QString &uidl) {
        return s.keepDays > 0 && now - s.kept.value(uidl) >= qint64(s.keepDays) * 24 * 60 * 60;
    };

    // Mails stored by a check whose session did not end cleanly are still on
    // the server: find them before anything is fetched.
    const ReceiveJournal previous = loadReceiveJournal();
    const int historyCount = mailRecordCount(HistoryKind::Received);
    const QSet<QString> storedBefore = previous.storedUidls(historyCount);
    s.journal = ReceiveJournal();
    s.journal.base = historyCount;
    s.journal.counterBefore = int(pilgrimage::progressCounterValue());
    for (int n = 1; n <= s.uidls.size(); ++n) {
        const QString &uidl = s.uidls[n - 1];
        if (s.keep && !uidl.isEmpty() && storedBefore.contains(uidl) && !s.kept.contains(uidl))
            s.kept.insert(uidl, now);  // stored by a check that broke off: kept from now on
        if (s.keep && s.kept.contains(uidl) && !due(uidl)) {
            s.leftAlone.insert(uidl);
        } else if (!uidl.isEmpty() && (storedBefore.contains(uidl) || (s.keep && s.kept.contains(uidl)))) {
            if (!s.already.contains(uidl)) {
                s.already.insert(uidl);
                s.journal.stored.append(uidl);
            }
        } else {
            s.journal.pending.append(uidl);
            s.pendingNumbers.append(n);
        }
    }
    QString error;
    if (!saveReceiveJournal(s.journal, &error)) {
        stop(s,
             QStringLiteral("受信の記録を書き込めないため、メールを受信できません。\n%1\n\n%2")
                 .arg(error, QStringLiteral("メールはすべてサーバーに残してあります。")),
             ProgramTitle);
        return;
    }
    s.journalWritten = true;
    if (s.keep && !saveKeptOnServer(s.kept, &error)) {
        stop(s,
             QStringLiteral("受信済みのメールの記録を書き込めないため、メールを受信できません。\n%1\n\n%2")
                 .arg(error, QStringLiteral("メールはすべてサーバーに残してあります。")),
             ProgramTitle);
        return;
    }

    // What runs ahead on the session thread uses this session: it is over
    // before the session is, whatever way the loop ends.
    auto drain = qScopeGuard([this] { drainAhead(); });
    for (int n = 1; n <= count && !result_.stopped; ++n) {
        // The program ending during a check (its main window closed): the
        // mail at hand is done; the session ends cleanly so its deletions
        // count.
        if (cancelled_ || session_->applicationQuitting()) {
            result_.stopped = true;
            break;
        }
        if (s.leftAloneHas(n))
            continue;  // received before, and kept on the server
        if (s.storedBefore(n)) {
            // Already in the history: only remove it from the server.
            if (!settleDeletes(s))
                break;
            QString message;
            const int deleted = net([&] { return deleteMail(s, n, &message); });
            if (deleted >= 0) {
                ++result_.replayed;
                continue;
            }
            if (deleted == -2) {
                noteRefusedDelete(s, n, message);
                continue;
            }
            s.undeleted.append(s.uidls[n - 1]);
            deleteFailed(s, n, message);
            break;
        }
        if (!receiveOne(s, n))
            break;
    }
    settleDeletes(s);
}

MailCheck::Fetched MailCheck::fetch(Session &s, int n)
{
    Fetched out;
    const qint64 limit = transport_.maxMailSize();
    const qint64 listed = transport_.size(s.handle, n);
    auto tooLarge = [&] {
        out.result = -3;
        // Named by its sender, subject and size, from its header alone.
        nmail::MailTexts head;
        if (transport_.header(s.handle, n, head) < 0)
            head = nmail::MailTexts();
        const QString size = listed > limit ? QStringLiteral("%1 MB").arg(double(listed) / (1024 * 1024), 0, 'f', 1)
                                            : QStringLiteral("%1 MB 超").arg(limit / (1024 * 1024));
        out.message = QStringLiteral("%1 通目のメールは、上限の %2 MB を超えるため受信しませんでした。\n"
                                     "　差出人: %3\n　件名: %4\n　大きさ: %5")
                          .arg(n)
                          .arg(limit / (1024 * 1024))
                          .arg(trimAtNul(head.from).left(200), trimAtNul(head.subject).left(200), size);
        return out;
    };
    // Too large by its listed size: not fetched at all.
    if (listed > limit)
        return tooLarge();
    // This mail and the one fetched after it are asked for before this one's
    // answer is read: the server prepares the next while this one is
    // written. Into memory; the original is written once it is whole.
    transport_.retrieveAhead(s.handle, n);
    for (int next = n + 1; next <= s.uidls.size(); ++next) {
        if (!s.notFetched(next)) {
            transport_.retrieveAhead(s.handle, next);
            break;
        }
    }
    // A large mail goes straight into the file it is kept in.
    const QString spool = listed > ToFileBytes ? spoolPath(s, n) : QString();
    const int got = spool.isEmpty() ? transport_.retrieve(s.handle, n, out.texts, out.raw)
                                    : transport_.retrieveToFile(s.handle, n, out.texts, spool, &out.size, &out.digest);
    if (got < 0) {
        out.raw = QByteArray();
        if (got == -3)
            return tooLarge();
        out.result = -1;
        out.message = transport_.lastMessage();
        return out;
    }
    if (spool.isEmpty()) {
        out.size = out.raw.size();
        // The digest that names the original, taken here while the bytes
        // are fresh and the user-interface thread has its own work.
        out.digest = sha256(out.raw);
    } else {
        out.fetchedFile = spool;
        out.spoolFile = spool;
        // The digest was taken as the mail came in, where the network
        // leaves time; the extraction, which has the most to do with a
        // large mail, takes it only when it could not be.
    }
    out.result = 1;
    return out;
}

void MailCheck::extract(Session &s, int n, Fetched &f)
{
    nmail::MailTexts &texts = f.texts;
    AttachmentOutcome &a = f.attachments;
    // The folder is looked up and made once per check. A mail with files
    // makes it again when someone removed it meanwhile, and stops the check
    // when it cannot save them.
    if (s.attachmentFolder.isEmpty()) {
        const bool existed = QFileInfo(paths::resolve(QString::fromUtf16(paths::AttachmentFolder))).isDir();
        const QString made = paths::ensureFolder(QString::fromUtf16(paths::AttachmentFolder));
        if (!QFileInfo(made).isDir()) {
            a.workFileError = QStringLiteral("フォルダ %1 を作れません。").arg(QDir::toNativeSeparators(made));
            return;
        }
        // The files of the mail are the user's alone, as its original is; a
        // folder the user made or opened up stays as it is.
        if (!existed)
            QFile::setPermissions(made, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        s.attachmentFolder = made;
    }
    const QString folder = s.attachmentFolder;
    // The original is written meanwhile (storeOriginal): the extraction
    // works on the mail in memory, or on the file a large mail went to,
    // mapped, so that it is neither copied nor held twice.
    if (f.fetchedFile.isEmpty()) {
        a.result = transport_.attachmentFirst(texts, folder + u'/', mailTextFromWorkFile(f.raw));
    } else {
        QFile file(f.fetchedFile);
        uchar *mapped = file.open(QIODevice::ReadOnly) && f.size > 0 ? file.map(0, f.size) : nullptr;
        QByteArray read;
        if (!mapped && file.isOpen())
            read = file.readAll();
        if (!mapped && read.size() != f.size) {
            a.result = -5;
            a.message = QStringLiteral("受信したメールのファイル %1 を読めません: %2")
                            .arg(QDir::toNativeSeparators(f.fetchedFile), deviceReason(file));
        } else {
            const QByteArray bytes =
                mapped ? QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), qsizetype(f.size)) : read;
            if (f.digest.isEmpty())
                f.digest = sha256(bytes);
            a.result = transport_.attachmentFirst(texts, folder + u'/', mailTextFromWorkFile(bytes));
        }
        if (mapped)
            file.unmap(mapped);
    }
    if (a.result != 1 && a.message.isEmpty())
        a.message = transport_.lastMessage();
    f.savedFiles = transport_.savedAttachments();
    transport_.attachmentClose();
    prepareRecord(s, f);
    // The size is asked once more (its answer is not used). Asked here,
    // before the viewer is filled: from the viewer to the stored record no
    // event may run in between, or another window's action (the history
    // window loading its list into the same boxes) could slip in.
    transport_.size(s.handle, n);
}

bool MailCheck::receiveOne(Session &s, int n)
{
    // The pilgrim walks one count for each mail before it is taken up. While
    // it walks, the session thread ends the last mail (DELE); this one was
    // fetched while the last one was shown and stored.
    view_.progressStep();
    ++result_.received;
    auto takeStepBack = [&] {
        view_.undoProgressStep();
        --result_.received;
    };

    // The outcome of the DELEs the server has answered (a mail does not wait
    // for the last one's); this mail was fetched and taken apart meanwhile.
    fetchAhead(s, n + 1);
    if (!settleDeletes(s, Settle::Answered)) {
        // A mail could not be deleted: this one is not taken up. Those
        // stored after it are in the journal, as it is.
        takeStepBack();
        return false;
    }
    Fetched f = takeFetched(s, n);
    if (f.result == -3) {
        // Too large: it stays on the server, and the check goes on. The
        // journal counts the mails stored by their place among those
        // pending: this one gives up its place first.
        takeStepBack();
        if (const qsizetype at = s.pendingNumbers.indexOf(n); at >= 0) {
            s.pendingNumbers.removeAt(at);
            s.journal.pending.removeAt(at);
            QString error;
            if (!saveReceiveJournal(s.journal, &error)) {
                stop(s,
                     QStringLiteral("受信の記録を書き込めないため、メールの受信を中止しました。\n%1\n\n%2")
                         .arg(error, LeftOnServer),
                     ProgramTitle);
                return false;
            }
        }
        ++result_.skipped;
        // Told once per mail: a mail with a UIDL of its own that an earlier
        // check named is not named again.
        const QString uidl = n <= s.uidls.size() ? s.uidls[n - 1] : QString();
        if (uidl.isEmpty() || !s.toldBefore.contains(uidl))
            s.tooLarge << f.message;
        if (!uidl.isEmpty())
            s.toldNow.insert(uidl);
        return true;
    }
    if (f.result < 0) {
        takeStepBack();
        s.serverFailed = true;
        stop(s,
             QStringLiteral("%1 通目のメールを受信できませんでした。\n%2\n\n%3")
                 .arg(n)
                 .arg(trimAtNul(f.message), LeftOnServer),
             ErrorTitle);
        return false;
    }
    view_.mailFetched();
    const nmail::MailTexts &texts = f.texts;
    const AttachmentOutcome &a = f.attachments;
    if (!a.workFileError.isEmpty()) {
        discard(f);
        takeStepBack();
        stop(s, QStringLiteral("添付フォルダの作業ファイルを使えません。\n%1\n\n%2").arg(a.workFileError, LeftOnServer),
             ProgramTitle);
        return false;
    }
    if (a.result == -5) {
        // Deleting the mail now would lose the attachment for good; what was
        // saved of it goes too, so the next try finds the folder as it was.
        discard(f);
        takeStepBack();
        notify(checktext::AttachmentCannotOpen, ProgramTitle);
        stop(s, QStringLiteral("添付ファイルを添付フォルダに保存できませんでした。\n%1\n\n%2").arg(a.message, LeftOnServer),
             ProgramTitle);
        return false;
    }
    if (a.result == -6)
        notify(checktext::PartialIncomplete, ProgramTitle);

    QString error;
    if (!f.keepError.isEmpty()) {
        discard(f);
        takeStepBack();
        stop(s, QStringLiteral("受信したメールの原本を保存できませんでした。\n%1\n\n%2").arg(f.keepError, LeftOnServer),
             ProgramTitle);
        return false;
    }
    view_.showInViewer({trimAtNul(texts.subject), trimAtNul(texts.from), trimAtNul(texts.date), f.recordBody});
    for (const QString &line : std::as_const(f.noticeLines))
        view_.appendToViewerBody(line);

    // storeReceivedMail: the record comes from the viewer boxes and is
    // written before the server is told to delete the mail.
    const ViewerTexts v = view_.viewerTexts();
    const FittedAddress shownSender = fitAddressField(trimAsciiSpaces(v.from), MailAddressWidth);
    const QString address = shownSender.fit == AddressFit::TooLong ? trimAsciiSpaces(v.from) : shownSender.text;
    // With the operating system is enough here: the deletion takes effect
    // only at QUIT, and the history goes to the disk before that
    // (historyOnDisk), once for the whole check. The record trims the
    // fields and gives the body CR LF breaks itself.
    if (!s.history)
        s.history.emplace(HistoryKind::Received);
    const int number =
        s.history->append(v.subject, v.date, address, v.body, &error, RecordFile::Durability::Written, f.originalName);
    if (number <= 0) {
        if (error.isEmpty())
            error = QStringLiteral("着信履歴に書き込めません。");
        discard(f);
        takeStepBack();
        stop(s, QStringLiteral("受信したメールを着信履歴に保存できませんでした。\n%1\n\n%2").arg(error, LeftOnServer),
             ProgramTitle);
        return false;
    }
    ++result_.stored;
    if (!f.keptFile.isEmpty())
        s.keptFiles << f.keptFile;
    s.keptFiles << f.savedFiles;
    syncMeanwhile(s);
    if (s.keep) {
        // Kept on the server: remembered (on the disk before QUIT, with the
        // history) so that no later check fetches it again.
        s.kept.insert(s.uidls[n - 1], QDateTime::currentSecsSinceEpoch());
        s.keptChanged = true;
    } else {
        deleteAhead(s, n);
    }
    fetchAhead(s, n + FetchDepth);
    return true;
}

void MailCheck::prepareRecord(Session &s, Fetched &f)
{
    const nmail::MailTexts &texts = f.texts;
    // The name the original is kept under (storeOriginal), as the user finds
    // it under the program folder.
    f.originalName = originalFileName(f.digest, texts.date);
    const QString originalShown = QFileInfo(s.originalsFolder).fileName() + QDir::separator() + f.originalName;
    // The notice says exactly which files were saved, when some were.
    if (!f.savedFiles.isEmpty()) {
        QStringList names;
        for (const QString &path : std::as_const(f.savedFiles))
            names << QFileInfo(path).fileName();
        f.noticeLines << checktext::AttachmentNotice << QStringLiteral("（%1）").arg(names.join(QStringLiteral("、")));
    }
    // The sender's address is kept whole: a display name too long for the
    // field is shortened first (when the record is written). What did not
    // fit is named in the body, which keeps room for it.
    const QString sender = trimAtNul(texts.from);
    QString senderNote;
    // A mail without a sender has nothing that could not fit.
    switch (sender.trimmed().isEmpty() ? AddressFit::Whole : fitAddressField(sender, MailAddressWidth).fit) {
    case AddressFit::TooLong:
        senderNote = QStringLiteral("\r\n\r\n〓〓 差出人「%1」は履歴に入りきりません。元のメール全体は「%2」にあります。")
                         .arg(sender.left(200), originalShown);
        break;
    case AddressFit::NameShortened:
    case AddressFit::BareAddress:
        senderNote = QStringLiteral("\r\n\r\n〓〓 差出人「%1」は履歴に入りきらないため、名前を短くしました。"
                                    "元のメール全体は「%2」にあります。")
                         .arg(sender.left(200), originalShown);
        break;
    case AddressFit::Whole:
        break;
    }
    // A subject longer than its field is cut there; the body names it whole.
    const QString subject = trimAsciiSpaces(trimAtNul(texts.subject));
    if (cp932::encode(subject).size() > SubjectFieldWidth)
        senderNote.prepend(QStringLiteral("\r\n\r\n〓〓 件名「%1」は履歴に入りきりません。元のメール全体は「%2」にあります。")
                               .arg(subject.left(300), originalShown));
    bool bodyLost = false;
    f.recordBody = receivedBodyForRecord(
        trimAtNul(texts.body), originalShown, &bodyLost,
        cp932::encode(f.noticeLines.join(QStringLiteral("\r\n"))).size() + 4 + cp932::encode(senderNote).size());
    if (!bodyLost)
        f.recordBody += senderNote;
}

QString MailCheck::spoolPath(const Session &s, int n)
{
    return QDir(s.originalsFolder)
        .filePath(QStringLiteral(".incoming-%1-%2.part")
                      .arg(n)
                      .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
}

bool MailCheck::writeOriginal(Session &s, int n, Fetched &f)
{
    const QString spool = spoolPath(s, n);
    QString error;
    if (!writeNewMailFile(spool, f.raw, &error)) {
        f.keepError = QStringLiteral("%1 に書き込めません: %2").arg(QDir::toNativeSeparators(spool), error);
        return false;
    }
    f.spoolFile = spool;
    return true;
}

void MailCheck::storeOriginal(Session &s, int n, Fetched &f)
{
    if (f.spoolFile.isEmpty() && !writeOriginal(s, n, f))
        return;
    keepOriginal(s, f);
}

void MailCheck::keepOriginal(Session &s, Fetched &f)
{
    const QString target = QDir(s.originalsFolder).filePath(f.originalName);
    // The same name holds the same bytes: a mail fetched again after a
    // check that died finds its own earlier copy, which stays as it is
    // (unless a crash left it short; then it is replaced).
    if (QFileInfo(target).size() == f.size) {
        QFile::remove(f.spoolFile);
        f.spoolFile.clear();
        f.keptFile = target;
        return;
    }
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(f.spoolFile.toStdU16String()),
                            std::filesystem::path(target.toStdU16String()), ec);
    if (ec) {
        f.keepError = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(target), systemReason(ec.value()));
        return;
    }
    f.spoolFile.clear();
    f.keptFile = target;
    f.keptHere = true;
}

void MailCheck::noteRefusedDelete(Session &s, int n, const QString &message)
{
    // Stored, and still on the server: the journal names it, so the next
    // check removes it without storing it again. The check goes on.
    const QString uidl = n <= s.uidls.size() ? s.uidls[n - 1] : QString();
    ++result_.undeleted;
    const QString line = QStringLiteral("%1 通目: %2").arg(n).arg(trimAtNul(message).section(u'\n', -1));
    if (uidl.isEmpty()) {
        // Without a UIDL of its own (none, or one the server gives to other
        // mails as well) nothing tells this mail apart at the next check.
        s.refusedUnremembered << line;
        return;
    }
    s.undeleted.append(uidl);
    s.refusedNumbers << line;
}

void MailCheck::reportLeftovers(Session &s)
{
    // The mails told too large are remembered while they are on the server.
    QSet<QString> told = s.toldNow;
    for (const QString &uidl : std::as_const(s.uidls))
        if (!uidl.isEmpty() && s.toldBefore.contains(uidl))
            told.insert(uidl);
    if (told != s.toldBefore)
        saveToldTooLarge(told);  // at worst a mail is told once more
    QStringList parts;
    if (!s.tooLarge.isEmpty())
        parts << s.tooLarge.join(u'\n') + QStringLiteral("\n大きすぎるメールはサーバーに残してあります。");
    if (!s.refusedNumbers.isEmpty())
        parts << QStringLiteral("次のメールは着信履歴に保存しましたが、サーバーが削除を断りました。\n%1\n"
                                "次に受信するときに、もう一度保存することなく削除を試みます。")
                     .arg(s.refusedNumbers.join(u'\n'));
    if (!s.refusedUnremembered.isEmpty())
        parts << QStringLiteral("次のメールは着信履歴に保存しましたが、サーバーが削除を断りました。\n%1\n"
                                "サーバーがこれらのメールに固有の番号（UIDL）を付けていないため、次に受信するときに"
                                "もう一度保存されます。")
                     .arg(s.refusedUnremembered.join(u'\n'));
    if (!parts.isEmpty())
        notify(parts.join(QStringLiteral("\n\n")), ProgramTitle);
}

void MailCheck::fetchAhead(Session &s, int upTo)
{
    if (cancelled_)
        return;  // nothing more is fetched
    auto listed = [&s](int m) { return m <= s.sizes.size() ? qMax<qint64>(0, s.sizes[m - 1]) : 0; };
    qint64 aheadBytes = 0;
    int aheadFiles = 0;
    for (const auto &ahead : aheadMails_) {
        if (listed(ahead->n) > ToFileBytes)
            ++aheadFiles;
        else
            aheadBytes += listed(ahead->n);
    }
    for (int m = aheadStarted_ + 1; m <= qMin(upTo, result_.count); ++m) {
        if (s.notFetched(m)) {
            aheadStarted_ = m;
            continue;  // only removed from the server
        }
        if (!aheadMails_.empty() && (aheadBytes > FetchAheadBytes || aheadFiles >= FilesAhead))
            return;  // later, when what was fetched is taken up
        if (listed(m) > ToFileBytes)
            ++aheadFiles;
        else
            aheadBytes += listed(m);
        aheadStarted_ = m;
        auto ahead = std::make_shared<AheadMail>();
        ahead->n = m;
        ahead->fetch = session_->start([this, &s, ahead, gate = gate_] {
            if (!gate->pass()) {
                ahead->fetched.result = -1;
                ahead->fetched.message = QStringLiteral("メールの受信を中止しました。");
                return;
            }
            ahead->fetched = fetch(s, ahead->n);
        });
        ahead->extract = extraction_->start([this, &s, ahead] {
            if (SessionThread::awaitOnWorker(ahead->fetch) && ahead->fetched.result >= 0)
                extract(s, ahead->n, ahead->fetched);
        });
        // The original goes to a file while the mail is taken apart, and
        // under its own name once the extraction has named it. Each thread
        // sets fields of its own in the mail.
        ahead->keep = originals_->start([&s, ahead] {
            Fetched &f = ahead->fetched;
            if (!SessionThread::awaitOnWorker(ahead->fetch) || f.result < 0)
                return;
            if ((!f.spoolFile.isEmpty() || writeOriginal(s, ahead->n, f))
                && SessionThread::awaitOnWorker(ahead->extract) && f.attachments.workFileError.isEmpty())
                keepOriginal(s, f);
        });
        aheadMails_.push_back(std::move(ahead));
    }
}

void MailCheck::deleteAhead(Session &s, int n)
{
    auto ahead = std::make_shared<AheadDelete>();
    ahead->n = n;
    // Sent before the fetches that wait. Where the server takes commands in
    // a row, its answer is taken in turn behind them: the server goes on
    // with the mails asked for meanwhile, and a mail does not wait for the
    // answer (settleDeletes waits only when too many have none yet).
    ahead->call = session_->start(
        [this, &s, ahead] {
            if (transport_.deleteAhead(s.handle, ahead->n) == 1)
                ahead->sent = true;
            else
                ahead->result = deleteMail(s, ahead->n, &ahead->message);
        },
        SessionThread::Order::BeforeWaiting);
    ahead->answer = session_->start([this, &s, ahead] {
        if (!ahead->sent)
            return;
        ahead->result = transport_.deleteOutcome(s.handle, ahead->n);
        if (ahead->result < 0)
            ahead->message = transport_.lastMessage();
    });
    aheadDeletes_.push_back(std::move(ahead));
}

MailCheck::Fetched MailCheck::takeFetched(Session &s, int n)
{
    while (!aheadMails_.empty() && aheadMails_.front()->n < n) {
        // Passed over (cannot happen while the mails are taken in order).
        const std::shared_ptr<AheadMail> passed = aheadMails_.front();
        aheadMails_.pop_front();
        originals_->finish(passed->keep);
        extraction_->finish(passed->extract);
        session_->finish(passed->fetch);
        discard(passed->fetched);
    }
    if (aheadMails_.empty() || aheadMails_.front()->n != n) {
        Fetched f = net([&] { return fetch(s, n); });
        if (f.result >= 0) {
            extract(s, n, f);
            if (f.attachments.workFileError.isEmpty())
                storeOriginal(s, n, f);
        }
        return f;
    }
    const std::shared_ptr<AheadMail> ahead = aheadMails_.front();
    aheadMails_.pop_front();
    // The later steps wait for the earlier ones without taking their end
    // from this thread: they are finished first.
    originals_->finish(ahead->keep);
    extraction_->finish(ahead->extract);
    session_->finish(ahead->fetch);
    return std::move(ahead->fetched);
}

bool MailCheck::settleDeletes(Session &s, Settle which)
{
    while (!aheadDeletes_.empty()) {
        const std::shared_ptr<AheadDelete> d = aheadDeletes_.front();
        if (which == Settle::Answered && !SessionThread::done(d->answer)
            && aheadDeletes_.size() <= size_t(UnansweredDeletes))
            break;
        aheadDeletes_.pop_front();
        session_->finish(d->call);
        session_->finish(d->answer);
        if (d->result >= 0) {
            ++result_.deleted;
            continue;
        }
        if (d->result == -2) {
            noteRefusedDelete(s, d->n, d->message);
            continue;
        }
        if (d->n <= s.uidls.size() && !s.uidls[d->n - 1].isEmpty())
            s.undeleted.append(s.uidls[d->n - 1]);
        // A check that has stopped already said why; the DELEs sent before
        // it stopped are lost with the session, and the journal names them.
        if (!result_.stopped)
            deleteFailed(s, d->n, d->message);
        s.serverFailed = true;
        return false;
    }
    return true;
}

void MailCheck::drainAhead()
{
    auto finishQuietly = [](SessionThread &thread, const std::shared_ptr<SessionThread::Call> &call) {
        try {
            thread.finish(call);
        } catch (...) {
        }
    };
    for (const auto &d : aheadDeletes_) {
        finishQuietly(*session_, d->call);
        finishQuietly(*session_, d->answer);
    }
    for (const auto &ahead : aheadMails_) {
        finishQuietly(*originals_, ahead->keep);
        finishQuietly(*extraction_, ahead->extract);
        finishQuietly(*session_, ahead->fetch);
        discard(ahead->fetched);
    }
    aheadDeletes_.clear();
    aheadMails_.clear();
}

void MailCheck::discard(const Fetched &f)
{
    for (const QString &file : f.savedFiles)
        QFile::remove(file);
    if (!f.spoolFile.isEmpty())
        QFile::remove(f.spoolFile);
    if (f.keptHere)
        QFile::remove(f.keptFile);
}

int MailCheck::deleteMail(Session &s, int n, QString *message)
{
    const int result = transport_.deleteMail(s.handle, n);
    if (result < 0)
        *message = transport_.lastMessage();
    return result;
}

void MailCheck::deleteFailed(Session &s, int n, const QString &message)
{
    // A server that refuses or does not answer DELE is not asked for more
    // mail. The mail is stored and stays in the journal, so the next check
    // removes it without storing it again.
    s.serverFailed = true;
    const bool remembered = n <= s.uidls.size() && !s.uidls[n - 1].isEmpty();
    stop(s,
         QStringLiteral("%1 通目のメールをサーバーから削除できませんでした。\n%2\n\n%3")
             .arg(n)
             .arg(trimAtNul(message),
                  remembered ? QStringLiteral("このメールは着信履歴に保存してあります。次に受信するときに、"
                                              "もう一度保存することなくサーバーから削除します。")
                             : QStringLiteral("このメールは着信履歴に保存してありますが、サーバーにも残っています。")),
         ErrorTitle);
}

QStringList MailCheck::foldersToSync(const Session &s, bool withHistory)
{
    QStringList folders{s.originalsFolder};
#ifdef Q_OS_LINUX
    // The history goes to the disk with the files of its file system, in one
    // call for each file system (a history folder that went away meanwhile
    // leaves nothing of its own to put there).
    if (withHistory) {
        const QString historyFolder = QFileInfo(historyPath(HistoryKind::Received)).absolutePath();
        if (QFileInfo(historyFolder).isDir())
            folders.prepend(historyFolder);
    }
#else
    Q_UNUSED(withHistory);
#endif
    return folders;
}

void MailCheck::syncMeanwhile(Session &s)
{
    // What is stored goes to the disk in the background while the rest comes
    // in, so that the sync before QUIT waits only for the last mails: after
    // four fifths of the mails to take up, and every thousand mails.
    const int step = std::clamp(int(s.pendingNumbers.size()) * 4 / 5, 100, 1000);
    if (result_.stored - syncedMeanwhile_ < step || (syncCall_ && !SessionThread::done(syncCall_)))
        return;
    syncedMeanwhile_ = result_.stored;
    if (!syncThread_)
        syncThread_ = std::make_unique<SessionThread>(QStringLiteral("mail sync"));
    const QStringList folders = foldersToSync(s, !historySyncHook());
    const QStringList files = s.keptFiles;
    syncCall_ = syncThread_->start([folders, files] { syncFolderContents(folders, files, nullptr); });
}

bool MailCheck::historyOnDisk(Session &s)
{
    // A sync of the files stored meanwhile is over first; what it did not
    // put on the disk, this one does, and this one says whether all is there.
    if (syncCall_) {
        syncThread_->finish(syncCall_);
        syncCall_.reset();
    }
    if (result_.stored == 0)
        return true;
    QString error;
    QStringList folders = foldersToSync(s, !historySyncHook());
    if (!s.attachmentFolder.isEmpty())
        folders << s.attachmentFolder;
    bool synced = true;
    if (historySyncHook()) {
        synced = historySyncHook()(&error);
    } else {
#ifndef Q_OS_LINUX
        synced = syncMailHistory(HistoryKind::Received, &error);
#endif
    }
    if (synced)
        synced = syncFolderContents(folders, s.keptFiles, &error);
    if (synced)
        return true;
    // Without QUIT the server keeps every mail; the journal as written names
    // those already in the history, so the next check does not store them
    // twice.
    s.serverFailed = true;
    stop(s,
         QStringLiteral("着信履歴をディスクに書き込めませんでした。\n%1\n\n%2")
             .arg(error, QStringLiteral("受信したメールはすべてサーバーに残してあります。")),
         ProgramTitle);
    return false;
}

void MailCheck::tellDeletionsUnconfirmed(Session &s, const QString &detail)
{
    // Said once, for the whole check: the server may or may not have
    // removed what it was asked to.
    bool withoutUidl = false;
    for (const QString &uidl : std::as_const(s.uidls))
        withoutUidl = withoutUidl || uidl.isEmpty();
    QString text = QStringLiteral("サーバーが最後の確認（QUIT）に正しく応えなかったため、受信したメールがサーバーから"
                                  "削除されたかどうか分かりません。\n受信したメールはすべて着信履歴に保存してあります。"
                                  "サーバーに残っていたメールは、次に受信するときにもう一度保存することなく削除します。");
    if (withoutUidl)
        text += QStringLiteral("\nただし、このサーバーが番号（UIDL）を付けていないメールは、残っていれば次にもう一度保存されます。");
    if (!detail.isEmpty())
        text += QStringLiteral("\n\n") + trimAtNul(detail);
    notify(text, ProgramTitle);
}

bool MailCheck::keptOnDisk(Session &s)
{
    if (!s.keptChanged)
        return true;
    // Only the mails still on the server are remembered.
    QHash<QString, qint64> kept;
    for (const QString &uidl : std::as_const(s.uidls))
        if (s.kept.contains(uidl))
            kept.insert(uidl, s.kept.value(uidl));
    QString error;
    if (saveKeptOnServer(kept, &error))
        return true;
    s.serverFailed = true;
    stop(s,
         QStringLiteral("受信済みのメールの記録を書き込めませんでした。\n%1\n\n受信したメールは着信履歴に保存してあります。"
                        "サーバーからは何も削除していません。")
             .arg(error),
         ProgramTitle);
    return false;
}

int MailCheck::closeSession(Session &s, QString *message)
{
    if (!s.serverFailed)
        return net([&] {
            const int r = transport_.close(s.handle);
            if (r < 0 && message)
                *message = transport_.lastMessage();
            return r;
        });
    // The session may be dead: wait a while for QUIT, then let it finish on
    // its own (the call holds the transport).
    struct Outcome {
        std::atomic<int> result{-1};
    };
    auto outcome = std::make_shared<Outcome>();
    std::shared_ptr<MailCheckTransport> transport = transportOwner_;
    const int handle = s.handle;
    const bool ended = session_->runWithin([transport, handle, outcome] { outcome->result = transport->close(handle); },
                                           CloseGraceMs);
    return ended ? outcome->result.load() : -1;
}

void MailCheck::stop(Session &s, const QString &reason, const QString &title)
{
    result_.stopped = true;
    result_.stopReason = reason;
    if (cancelled_)
        s.serverFailed = true;
    notify(reason, title);
}

void MailCheck::finishJournal(Session &s)
{
    if (!result_.quitConfirmed)
        return;  // deletions unconfirmed: the journal as written says what is stored
    // The server has removed every mail it accepted DELE for. What it refused
    // is stored and still there: keep only those.
    ReceiveJournal rest;
    rest.stored = s.undeleted;
    saveReceiveJournal(rest);
}

}  // namespace korvane::mail
