#pragma once
// The mail check's sequence, kept apart from the windows: what it needs from
// them goes through MailCheckView, the POP3 session through
// MailCheckTransport, and every network call runs off the user-interface
// thread (mailcheck_session.h). Tests drive it with their own view and
// transport; the receive label drives it with the registered windows and the
// transport of nmail.h.
#include "history/checknotes.h"
#include "mailcheck/mailcheck_session.h"
#include "transport/nmail.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace korvane::mail {

// The texts of the history window's viewer boxes.
struct ViewerTexts {
    QString subject;  // Text7
    QString from;     // Text8
    QString date;     // Text9
    QString body;     // rtfEd
};

// What the check does on the windows.
class MailCheckView {
public:
    virtual ~MailCheckView() = default;
    // The main window's status line (Label17).
    virtual void setStatus(const QString &text) = 0;
    // The credentials window's ID and password boxes (window loaded, not shown).
    virtual void setCredentialBoxes(const QString &userId, const QString &password) = 0;
    // Shows the credentials window (modeless).
    virtual void showCredentialsWindow() = 0;
    // One pilgrimage count, before a mail is fetched: counter, guide, map.
    virtual void progressStep() = 0;
    // Takes the last progress step back: the mail it counted was not taken
    // up after all.
    virtual void undoProgressStep() = 0;
    // A mail has arrived whole and is about to be taken up (nothing runs on
    // the session meanwhile). The main window's scratch field (Text5) is left
    // empty.
    virtual void mailFetched() = 0;
    // Puts a mail into the viewer boxes.
    virtual void showInViewer(const ViewerTexts &texts) = 0;
    // Adds a line (after CR LF) to the viewer's body box.
    virtual void appendToViewerBody(const QString &line) = 0;
    // What the viewer boxes hold now.
    virtual ViewerTexts viewerTexts() const = 0;
    // Parent window of the check's message boxes (may be null).
    virtual QWidget *dialogParent() const = 0;
};

// The POP3 session and attachment extraction the check uses; the real one is
// the transport of nmail.h. Calls block; the check runs them on its session
// thread and reads the error text of a call right after it, in the same run
// (lastMessage may be kept per thread).
class MailCheckTransport {
public:
    virtual ~MailCheckTransport() = default;
    virtual int connect(const QString &server) = 0;
    virtual int authenticate(int handle, const QString &userId, const QString &password, bool apop) = 0;
    virtual QString uidl(int handle, int n) = 0;
    virtual int status(int handle, int n, nmail::MailTexts &texts) = 0;
    // Subject and sender of a mail that is not received (its header only).
    virtual int header(int handle, int n, nmail::MailTexts &texts) { return status(handle, n, texts); }
    virtual qint64 size(int handle, int n) = 0;
    virtual int getMail(int handle, int n, nmail::MailTexts &texts) = 0;
    virtual QByteArray rawMail(int handle) = 0;
    // The check puts the saved files on the disk with the rest, before QUIT.
    // `mailText` may be a view of a mapped file: it holds only during the
    // call.
    virtual int attachmentFirst(nmail::MailTexts &texts, const QString &targetFolder, const QByteArray &mailText) = 0;
    // The files the last attachmentFirst saved (absolute paths).
    virtual QStringList savedAttachments() = 0;
    virtual void attachmentClose() = 0;
    // Mail n, whole and byte for byte, into `raw`. 1: done; -3: larger than
    // maxMailSize() (the session goes on); -1: failed. The default fetches
    // it through status, size and getMail. `texts` may be filled on the way
    // (subject, from, date, body); the extraction sets them from the mail in
    // any case.
    virtual int retrieve(int handle, int n, nmail::MailTexts &texts, QByteArray &raw);
    // The same into a new file at `path` (made for its owner only, never
    // replacing one), written as the mail arrives, so that a large mail is
    // never held whole in memory; *size its bytes, *sha256 their SHA-256
    // (may be left empty). Nothing is left at `path` when it fails. The
    // default retrieves into memory and writes that.
    virtual int retrieveToFile(int handle, int n, nmail::MailTexts &texts, const QString &path, qint64 *size,
                               QByteArray *sha256);
    // Asks for mail n before it is retrieved, where the server allows; mails
    // asked for are retrieved in the order asked.
    virtual void retrieveAhead(int handle, int n)
    {
        Q_UNUSED(handle);
        Q_UNUSED(n);
    }
    virtual qint64 maxMailSize() { return qint64(50) * 1024 * 1024; }
    // < 0 on error: -2 when the server refused (the session goes on).
    virtual int deleteMail(int handle, int n) = 0;
    // Sends DELE n without waiting for its answer, where the server allows:
    // 1 when sent, 0 when not (deleteMail is the way then). deleteOutcome
    // gives the answer as deleteMail would.
    virtual int deleteAhead(int handle, int n)
    {
        Q_UNUSED(handle);
        Q_UNUSED(n);
        return 0;
    }
    virtual int deleteOutcome(int handle, int n) { return deleteMail(handle, n); }
    virtual int close(int handle) = 0;
    // Ends the session without QUIT: nothing is deleted.
    virtual void abandon(int handle) = 0;
    virtual QString lastMessage() = 0;
    // Makes the running call and every later one give up at once (any
    // thread); the next connect starts anew.
    virtual void cancelAll() {}
    // Forgets an earlier cancelAll; called before the check's first call, so
    // that a stop asked while the server is being reached is kept.
    virtual void clearCancel() {}
};

// The transport of nmail.h.
std::shared_ptr<MailCheckTransport> makeNMailTransport();

// The message texts of the check.
namespace checktext {
inline const QString Receiving = QStringLiteral("メールを受信します。");
inline const QString Checking = QStringLiteral("メールのチェックをしています。");
inline const QString NewMail = QStringLiteral("新着メールがあります。");
inline const QString NoNewMail = QStringLiteral("新着メールは有りません。");
// No ID or password to log in with: the server was not asked.
inline const QString NoLogin = QStringLiteral("IDとパスワードがないため、受信していません。");
// No POP3 server set: no server was asked.
inline const QString NoServer = QStringLiteral("POP3サーバーが設定されていないため、受信していません。");
// The server could not be reached or asked (the message box said why):
// never "no new mail".
inline const QString NotReceived = QStringLiteral("メールを受信できませんでした。");
// Of a check that stopped on a failure after mails had come in.
inline const QString StoppedPartway = QStringLiteral("受信は途中で止まりました。");
// Of a check the user stopped.
inline const QString Stopped = QStringLiteral("メールの受信を中止しました。");
inline const QString AttachmentCannotOpen = QStringLiteral("添付ファイルをオープンできません");
inline const QString PartialIncomplete = QStringLiteral("分割されたメールが全て揃っていません");
// AttachmentNotice: history/checknotes.h
inline const QString StopQuestion = QStringLiteral("メールの受信を中止しますか？\n受信していないメールはサーバーに残ります。");
}  // namespace checktext

// What one check did.
struct MailCheckResult {
    int count = 0;          // the authentication's answer: mails waiting (< 0: error)
    int received = 0;       // mails taken up by this check (counted on the pilgrimage)
    int stored = 0;         // of those, stored in the received history
    int deleted = 0;        // of those, removed from the server (DELE accepted)
    int replayed = 0;       // mails stored by an earlier check, only removed now
    int skipped = 0;        // too large: left on the server
    int undeleted = 0;      // stored, but the server refused to remove them
    bool stopped = false;   // the check stopped early; the rest stays on the server
    bool cancelled = false; // stopped by the user or by the program ending
    bool quitConfirmed = false;
    QString stopReason;     // why it stopped (shown to the user)
};



class MailCheck {
public:
    // Every call of the transport runs on the check's session thread while
    // the user-interface thread waits in a local event loop.
    MailCheck(MailCheckView &view, std::shared_ptr<MailCheckTransport> transport);
    ~MailCheck();

    // The whole check: connect, credentials, authenticate, every mail, close,
    // the status line.
    MailCheckResult run();

    // Stops a running check from the user-interface thread: the call at hand
    // gives up, the session ends without QUIT (nothing more is deleted than
    // earlier checks stored), and what was stored stays stored.
    void cancel();

    // While the user is asked whether to stop (true), no more mails are
    // asked of the server: a fetch not begun waits, and one that began
    // ends. Stopping (cancel) ends the wait too.
    void holdFetching(bool hold);

    // After a failed exchange with the server, how long the check waits for
    // the session's end (QUIT) before it leaves that to the background: a
    // server that stopped answering must not hold the check much longer
    // than the one timeout that found it out.
    static constexpr int CloseGraceMs = 3000;

    // How many mails are fetched beyond the one taken up: enough that a
    // server or a thread slowed for a moment does not hold up the others; a
    // check the user stops has received those for nothing.
    static constexpr int FetchDepth = 8;

    // Test hook: replaces the flush of the received history to the disk that
    // comes before QUIT (null restores it).
    static void setHistorySyncHook(std::function<bool(QString *error)> hook);

private:
    struct Session;
    // The work file step and the attachment extraction of one mail.
    struct AttachmentOutcome {
        int result = 1;
        QString message;        // what the extraction said when it did not end with 1
        QString workFileError;  // set when the attachments folder cannot be made
    };
    // One mail as fetched (result < 0: failed, with the server's message).
    struct Fetched {
        int result = 0;          // 1, -1 failed, -3 too large
        QString message;
        QByteArray raw;          // the mail, unless it went to a file as it came (fetchedFile)
        qint64 size = 0;         // of the mail
        QByteArray digest;       // SHA-256 of the mail
        QString fetchedFile;     // set by the fetch of a large mail: the file the mail is in
        QString spoolFile;       // the original as received, until it is kept or dropped
        nmail::MailTexts texts;  // the body is the readable text after extraction
        AttachmentOutcome attachments;
        QStringList savedFiles;  // by the extraction
        // Prepared with the extraction, off the user-interface thread: the
        // name the original is kept under, the lines that name the saved
        // files, the body as the record holds it, the sender for its field.
        QString originalName;
        QStringList noticeLines;
        QString recordBody;
        // The original under its own name in the originals folder, put
        // there once the extraction has named it; keptHere when this fetch
        // made that file (not an earlier check that got the same bytes).
        QString keptFile;
        bool keptHere = false;
        QString keepError;
    };
    void prepareRecord(Session &s, Fetched &f);
    Fetched fetch(Session &s, int n);
    void extract(Session &s, int n, Fetched &f);
    // The original under the name the extraction gave it; f.keepError says
    // why not.
    static void storeOriginal(Session &s, int n, Fetched &f);
    // What runs ahead while the user-interface thread shows and stores a
    // mail and the pilgrim takes the next step: the next mails are fetched
    // on the session thread, taken apart on the extraction thread and their
    // originals written on a thread of their own, and the DELE of each
    // stored mail goes to the session thread before the fetch of the mail
    // after next.
    struct AheadMail {
        int n = 0;
        Fetched fetched;
        std::shared_ptr<SessionThread::Call> fetch;    // on the session thread
        std::shared_ptr<SessionThread::Call> extract;  // on the extraction thread
        std::shared_ptr<SessionThread::Call> keep;     // on the originals thread
    };
    struct AheadDelete {
        int n = 0;
        int result = 0;
        QString message;
        bool sent = false;                           // without waiting for its answer
        std::shared_ptr<SessionThread::Call> call;    // sends it
        std::shared_ptr<SessionThread::Call> answer;  // takes its answer
    };
    // Starts fetching every mail up to `upTo` not started yet (not those an
    // earlier check stored).
    void fetchAhead(Session &s, int upTo);
    void deleteAhead(Session &s, int n);
    // Takes the outcome of the DELEs sent, in order: of all of them, or of
    // those the server has answered while no more than a few wait; false
    // when one failed (the check stops).
    enum class Settle { All, Answered };
    bool settleDeletes(Session &s, Settle which = Settle::All);
    // Waits for mail n, fetched and taken apart.
    Fetched takeFetched(Session &s, int n);
    void drainAhead();
    // A mail fetched ahead and not taken up leaves nothing behind.
    static void discard(const Fetched &f);
    void receiveAll(Session &s);
    bool receiveOne(Session &s, int n);
    void stop(Session &s, const QString &reason, const QString &title);
    void notify(const QString &text, const QString &title);
    // A new name for a mail's file in the originals folder, until it is kept.
    static QString spoolPath(const Session &s, int n);
    // The mail into a new file in the originals folder (f.spoolFile); false
    // with f.keepError set when it cannot be written.
    static bool writeOriginal(Session &s, int n, Fetched &f);
    static void keepOriginal(Session &s, Fetched &f);
    void reportLeftovers(Session &s);
    void noteRefusedDelete(Session &s, int n, const QString &message);
    void finishJournal(Session &s);
    int closeSession(Session &s, QString *message = nullptr);
    void tellDeletionsUnconfirmed(Session &s, const QString &detail);
    bool historyOnDisk(Session &s);
    // The mails kept on the server, remembered on the disk; false (the check
    // stopped, told why) when that failed.
    bool keptOnDisk(Session &s);
    // The folders whose file systems hold what the check stores.
    static QStringList foldersToSync(const Session &s, bool withHistory);
    void syncMeanwhile(Session &s);
    int deleteMail(Session &s, int n, QString *message);
    void deleteFailed(Session &s, int n, const QString &message);
    template <class F> auto net(F &&call);

    MailCheckView &view_;
    std::shared_ptr<MailCheckTransport> transportOwner_;
    MailCheckTransport &transport_;
    std::unique_ptr<SessionThread> session_;
    std::unique_ptr<SessionThread> extraction_;
    // Creating a file can take long on a busy disk: the network and the
    // extraction do not wait for it.
    std::unique_ptr<SessionThread> originals_;
    // Puts what is stored on the disk while the rest comes in.
    std::unique_ptr<SessionThread> syncThread_;
    std::shared_ptr<SessionThread::Call> syncCall_;
    int syncedMeanwhile_ = 0;  // mails stored when it was last started
    std::deque<std::shared_ptr<AheadMail>> aheadMails_;
    std::deque<std::shared_ptr<AheadDelete>> aheadDeletes_;
    int aheadStarted_ = 0;  // the last mail whose fetch was started
    MailCheckResult result_;
    bool cancelled_ = false;
    // Shared with the fetches on the session thread.
    struct FetchGate {
        std::mutex mutex;
        std::condition_variable changed;
        bool held = false;
        bool cancelled = false;
        // False when the check was stopped meanwhile.
        bool pass();
    };
    std::shared_ptr<FetchGate> gate_ = std::make_shared<FetchGate>();
};

// The mail text handed to the attachment extraction, as read back from the
// work file: every line followed by CR LF, lines ending at CR LF or a lone CR.
QByteArray mailTextFromWorkFile(const QByteArray &fileBytes);

}  // namespace korvane::mail
