#include "mailcheck_logic.h"

#include "common/cp932.h"
#include "common/dialogs.h"
#include "common/paths.h"
#include "common/text.h"
#include "mail/mailcheck_journal.h"
#include "mail/mailcheck_session.h"
#include "mail/mailhistory.h"
#include "pilgrimage/progress.h"
#include "settings/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>

#include <atomic>
#include <optional>
#include <vector>

namespace korvane::mail {
namespace {

class NMailTransport final : public MailCheckTransport {
public:
    int connect(const QString &server) override { return nmail::NMailPop3Connect(server); }
    int authenticate(int h, const QString &id, const QString &pw, bool apop) override
    {
        return nmail::NMailPop3Authenticate(h, id, pw, apop);
    }
    QString uidl(int h, int n) override { return nmail::NMailPop3GetUidl(h, n); }
    int status(int h, int n, nmail::MailTexts &t) override { return nmail::NMailPop3GetMailStatus(h, n, t); }
    qint64 size(int h, int n) override { return nmail::NMailPop3GetMailSize(h, n); }
    int getMail(int h, int n, nmail::MailTexts &t) override { return nmail::NMailPop3GetMail(h, n, t); }
    QByteArray rawMail(int h) override { return nmail::NMailPop3GetRawMail(h); }
    int attachmentFirst(nmail::MailTexts &t, const QString &folder, const QString &workFile,
                        const QByteArray &mailText) override
    {
        return nmail::NMailAttachmentFileFirst(t, folder, workFile, mailText);
    }
    QStringList savedAttachments() override { return nmail::NMailAttachmentSavedFiles(); }
    void attachmentClose() override { nmail::NMailAttachmentFileClose(); }
    int deleteMail(int h, int n) override { return nmail::NMailPop3DeleteMail(h, n); }
    int close(int h) override { return nmail::NMailPop3Close(h); }
    void abandon(int h) override { nmail::NMailPop3Abandon(h); }
    QString lastMessage() override { return nmail::NMailGetMessage(); }
};

const QString LeftOnServer = QStringLiteral("このメールと、まだ受信していないメールはサーバーに残してあります。"
                                            "原因を取り除いてから、もう一度受信して下さい。");

std::function<bool(QString *)> &historySyncHook()
{
    static std::function<bool(QString *)> hook;
    return hook;
}


}  // namespace

std::shared_ptr<MailCheckTransport> makeNMailTransport()
{
    return std::make_shared<NMailTransport>();
}

QByteArray mailTextFromWorkFile(const QByteArray &fileBytes)
{
    QByteArray out;
    out.reserve(fileBytes.size() + fileBytes.size() / 64 + 2);
    const char *p = fileBytes.constData();
    const qsizetype size = fileBytes.size();
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
    QSet<QString> already;    // stored by an earlier check
    ReceiveJournal journal;   // as written for this session
    QStringList undeleted;    // stored, but the server refused DELE
    bool journalWritten = false;
    bool serverFailed = false; // an exchange with the server failed
    QString attachmentFolder;  // "\添付フォルダ\" and its work file "0.txt"
    QString workFile;
    // The work file stays open for the whole check, rewritten for each mail,
    // and goes when the check ends.
    std::unique_ptr<QFile> work;

    ~Session()
    {
        if (work) {
            work->close();
            QFile::remove(workFile);
        }
    }
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
    struct EndSession {
        std::unique_ptr<SessionThread> &session;
        ~EndSession() { session.reset(); }
    } endSession{session_};
    const settings::ServerSettings server = settings::serverSettings();
    if (!server.pop3Server.isEmpty()) {
        Session s;
        s.handle = net([&] { return transport_.connect(server.pop3Server); });
        view_.setStatus(checktext::Checking);
        if (s.handle != -1) {
            const QString userId = settings::readCredentialValue(QStringLiteral("NAME"));
            const QString password = settings::readCredentialValue(QStringLiteral("NAME2"));
            settings::readCredentialValue(QStringLiteral("NAME3"));
            view_.setCredentialBoxes(userId, password);
            settings::accountCredentials().userId = userId;
            settings::accountCredentials().password = password;
            if (userId.isEmpty() || password.isEmpty()) {
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
                if (result_.count > 0)
                    receiveAll(s);
                else if (result_.count < 0)
                    dialogs().notice(view_.dialogParent(), trimAtNul(message), ErrorTitle, Dialogs::Icon::Critical);
            }
            pilgrimage::ProgressCounterHold::writeHeld();
            if (historyOnDisk(s)) {
                result_.quitConfirmed = closeSession(s) >= 0;
            } else {
                net([&] {
                    transport_.abandon(s.handle);
                    return 0;
                });
            }
            if (s.journalWritten)
                finishJournal(s);
            else if (result_.count == 0 && result_.quitConfirmed)
                clearReceiveJournal();  // an empty mailbox holds nothing the journal names
        }
    }
    view_.setStatus(result_.received >= 1 ? checktext::NewMail : checktext::NoNewMail);
    return result_;
}

void MailCheck::receiveAll(Session &s)
{
    const int count = result_.count;
    s.uidls = net([&] {
        QStringList list;
        list.reserve(count);
        for (int n = 1; n <= count; ++n)
            list.append(transport_.uidl(s.handle, n));
        return list;
    });

    // Mails stored by a check whose session did not end cleanly are still on
    // the server: find them before anything is fetched.
    const ReceiveJournal previous = loadReceiveJournal();
    const int historyCount = mailRecordCount(HistoryKind::Received);
    const QSet<QString> storedBefore = previous.storedUidls(historyCount);
    s.journal = ReceiveJournal();
    s.journal.base = historyCount;
    s.journal.counterBefore = int(pilgrimage::progressCounterValue());
    for (const QString &uidl : std::as_const(s.uidls)) {
        if (!uidl.isEmpty() && storedBefore.contains(uidl)) {
            if (!s.already.contains(uidl)) {
                s.already.insert(uidl);
                s.journal.stored.append(uidl);
            }
        } else {
            s.journal.pending.append(uidl);
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

    // What runs ahead on the session thread uses this session: it is over
    // before the session is, whatever way the loop ends.
    auto drain = qScopeGuard([this] { drainAhead(); });
    for (int n = 1; n <= count && !result_.stopped; ++n) {
        // The program ending during a check (its main window closed): the
        // mail at hand is done; the session ends cleanly so its deletions
        // count.
        if (session_->applicationQuitting()) {
            result_.stopped = true;
            break;
        }
        const QString uidl = n <= s.uidls.size() ? s.uidls[n - 1] : QString();
        if (!uidl.isEmpty() && s.already.contains(uidl)) {
            // Already in the history: only remove it from the server.
            if (!settleAhead(s, nullptr))
                break;
            QString message;
            if (net([&] { return deleteMail(s, n, &message); }) >= 0) {
                ++result_.replayed;
                continue;
            }
            s.undeleted.append(uidl);
            deleteFailed(s, n, message);
            break;
        }
        if (!receiveOne(s, n))
            break;
    }
    settleAhead(s, nullptr);
}

MailCheck::Fetched MailCheck::fetch(Session &s, int n)
{
    Fetched out;
    // A header that cannot be read means the mail cannot be either; the
    // fetch is not tried again on a server that just failed to answer.
    if (transport_.status(s.handle, n, out.texts) < 0) {
        out.result = -1;
        out.message = transport_.lastMessage();
        return out;
    }
    transport_.size(s.handle, n);
    out.result = transport_.getMail(s.handle, n, out.texts);
    if (out.result < 0) {
        out.message = transport_.lastMessage();
        return out;
    }
    out.raw = transport_.rawMail(s.handle);
    nmail::MailTexts &texts = out.texts;
    texts.subject = trimAtNul(texts.subject);
    texts.date = trimAtNul(texts.date);
    texts.from = trimAtNul(texts.from);
    texts.header = trimAtNul(texts.header);
    texts.body = trimAtNul(texts.body);
    out.fetchedBody = texts.body;
    return out;
}

void MailCheck::extract(Session &s, int n, Fetched &f)
{
    nmail::MailTexts &texts = f.texts;
    // The work file holds the mail while its attachments are extracted.
    AttachmentOutcome &a = f.attachments;
    // Looked up once per check: a name matched without regard to case costs
    // a listing of the folder, which fills up with attachments.
    if (s.attachmentFolder.isEmpty() || !QFileInfo(s.attachmentFolder).isDir()) {
        s.attachmentFolder = paths::ensureFolder(QString::fromUtf16(paths::AttachmentFolder));
        s.workFile = paths::resolveUnder(s.attachmentFolder, QStringLiteral("0.txt"));
        s.work.reset();
    }
    const QString folder = s.attachmentFolder;
    const QString workFile = s.workFile;
    QByteArray fileBytes = f.raw;
    if (fileBytes.isEmpty())
        fileBytes = cp932::encode(texts.header + QStringLiteral("\r\n") + texts.body + QStringLiteral("\r\n"));
    if (!QFileInfo(folder).isDir()) {
        a.workFileError = QStringLiteral("フォルダ %1 を作れません。").arg(QDir::toNativeSeparators(folder));
        return;
    }
    if (!s.work) {
        s.work = std::make_unique<QFile>(workFile);
        s.work->open(QIODevice::ReadWrite | QIODevice::Truncate);
    }
    QFile &work = *s.work;
    if (!work.isOpen() || !work.resize(0) || !work.seek(0) || work.write(fileBytes) != fileBytes.size()
        || !work.flush()) {
        a.workFileError =
            QStringLiteral("%1 に書き込めません: %2").arg(QDir::toNativeSeparators(workFile), work.errorString());
        s.work.reset();
        QFile::remove(workFile);
        return;
    }
    // The extraction reads the mail as the work file holds it.
    a.result = transport_.attachmentFirst(texts, folder + u'/', workFile, mailTextFromWorkFile(fileBytes));
    f.savedFiles = transport_.savedAttachments();
    transport_.attachmentClose();
    f.extracted = true;
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

    // The outcome of the last mail's DELE, and this mail if it was fetched
    // meanwhile.
    std::optional<Fetched> fetchedAhead;
    if (!settleAhead(s, &fetchedAhead)) {
        // The last mail could not be deleted: this one is not taken up.
        view_.undoProgressStep();
        --result_.received;
        return false;
    }
    Fetched f = fetchedAhead ? std::move(*fetchedAhead) : net([&] { return fetch(s, n); });
    if (f.result < 0) {
        s.serverFailed = true;
        stop(s,
             QStringLiteral("%1 通目のメールを受信できませんでした。\n%2\n\n%3")
                 .arg(n)
                 .arg(trimAtNul(f.message), LeftOnServer),
             ErrorTitle);
        return false;
    }
    // The test looks at the body as fetched, before the extraction made it
    // the mail's readable text.
    const bool attachmentFlag = view_.attachmentTest(f.fetchedBody);
    if (!f.extracted) {
        net([&] {
            extract(s, n, f);
            return 0;
        });
    }
    const nmail::MailTexts &texts = f.texts;
    const AttachmentOutcome &a = f.attachments;
    // The next mail is fetched while this one is shown and stored; nothing
    // of it is kept until it is taken up.
    if (a.workFileError.isEmpty() && a.result != -5)
        fetchAhead(s, n);
    if (!a.workFileError.isEmpty()) {
        stop(s, QStringLiteral("添付フォルダの作業ファイルを使えません。\n%1\n\n%2").arg(a.workFileError, LeftOnServer),
             ProgramTitle);
        return false;
    }
    if (a.result == -5) {
        dialogs().notice(view_.dialogParent(), checktext::AttachmentCannotOpen, ProgramTitle);
        // Deleting the mail now would lose the attachment for good.
        stop(s, QStringLiteral("添付ファイルを添付フォルダに保存できませんでした。\n\n%1").arg(LeftOnServer),
             ProgramTitle);
        return false;
    }
    if (a.result == -6)
        dialogs().notice(view_.dialogParent(), checktext::PartialIncomplete, ProgramTitle);

    view_.showInViewer({trimAtNul(texts.subject), trimAtNul(texts.from), trimAtNul(texts.date),
                        trimAtNul(texts.body)});
    if (attachmentFlag)
        view_.appendToViewerBody(checktext::AttachmentNotice);

    // storeReceivedMail: the record comes from the viewer boxes and is
    // written before the server is told to delete the mail.
    const ViewerTexts v = view_.viewerTexts();
    QString error;
    // With the operating system is enough here: the deletion takes effect
    // only at QUIT, and the history goes to the disk before that
    // (historyOnDisk), once for the whole check.
    const int number = appendMailRecord(HistoryKind::Received, trimAsciiSpaces(v.subject), trimAsciiSpaces(v.date),
                                        trimAsciiSpaces(v.from), trimAsciiSpaces(toCrLf(v.body)), &error,
                                        RecordFile::Durability::Written);
    if (number <= 0) {
        if (error.isEmpty())
            error = QStringLiteral("着信履歴に書き込めません。");
        stop(s, QStringLiteral("受信したメールを着信履歴に保存できませんでした。\n%1\n\n%2").arg(error, LeftOnServer),
             ProgramTitle);
        return false;
    }
    ++result_.stored;
    deleteAhead(s, n);
    return true;
}

void MailCheck::fetchAhead(Session &s, int n)
{
    const int next = n + 1;
    const QString uidl = next <= s.uidls.size() ? s.uidls[next - 1] : QString();
    if (next > result_.count || (!uidl.isEmpty() && s.already.contains(uidl)))
        return;
    auto ahead = std::make_shared<Ahead>();
    ahead_ = ahead;
    aheadCalls_.push_back(session_->start([this, &s, ahead, next] {
        Fetched f = fetch(s, next);
        if (f.result >= 0)
            extract(s, next, f);
        ahead->fetched = std::move(f);
    }));
}

void MailCheck::deleteAhead(Session &s, int n)
{
    if (!ahead_)
        ahead_ = std::make_shared<Ahead>();
    const std::shared_ptr<Ahead> ahead = ahead_;
    ahead->deleted = n;
    aheadCalls_.push_back(session_->start(
        [this, &s, ahead, n] { ahead->deleteResult = deleteMail(s, n, &ahead->deleteMessage); }));
}

bool MailCheck::settleAhead(Session &s, std::optional<Fetched> *next)
{
    if (aheadCalls_.empty())
        return true;
    const std::vector<std::shared_ptr<SessionThread::Call>> calls = std::move(aheadCalls_);
    const std::shared_ptr<Ahead> ahead = std::move(ahead_);
    aheadCalls_.clear();
    ahead_.reset();
    for (const auto &call : calls)
        session_->finish(call);
    const int n = ahead->deleted;
    const bool deleted = n == 0 || ahead->deleteResult >= 0;
    if (ahead->fetched) {
        if (deleted && next)
            *next = std::move(ahead->fetched);
        else
            discard(*ahead->fetched);
    }
    if (deleted) {
        if (n > 0)
            ++result_.deleted;
        return true;
    }
    if (n <= s.uidls.size() && !s.uidls[n - 1].isEmpty())
        s.undeleted.append(s.uidls[n - 1]);
    deleteFailed(s, n, ahead->deleteMessage);
    return false;
}

void MailCheck::drainAhead()
{
    for (const auto &call : aheadCalls_) {
        try {
            session_->finish(call);
        } catch (...) {
        }
    }
    aheadCalls_.clear();
    if (ahead_ && ahead_->fetched)
        discard(*ahead_->fetched);
    ahead_.reset();
}

void MailCheck::discard(const Fetched &f)
{
    for (const QString &file : f.savedFiles)
        QFile::remove(file);
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

bool MailCheck::historyOnDisk(Session &s)
{
    if (result_.stored == 0)
        return true;
    QString error;
    const bool synced = historySyncHook() ? historySyncHook()(&error) : syncMailHistory(HistoryKind::Received, &error);
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

int MailCheck::closeSession(Session &s)
{
    if (!s.serverFailed)
        return net([&] { return transport_.close(s.handle); });
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

void MailCheck::stop(Session &, const QString &reason, const QString &title)
{
    result_.stopped = true;
    result_.stopReason = reason;
    dialogs().notice(view_.dialogParent(), reason, title, Dialogs::Icon::Exclamation);
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
