// The mail check's sequence against a scripted POP3 session: call order,
// what is kept when a session dies, the receive journal.
#include "common/paths.h"
#include "mailcheck/mailcheck_journal.h"
#include "mailcheck/mailcheck_logic.h"
#include "history/mailhistory.h"
#include "pilgrimage/progress.h"
#include "scripteddialogs.h"
#include "settings/settings.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <mutex>

using namespace korvane;
using namespace korvane::mail;
using namespace korvane::test;

namespace {

struct FakeMail {
    QString uidl;
    QString subject;
    QString body;
    qint64 size = 100;
};

// A POP3 mailbox: DELE marks, a confirmed QUIT removes what was marked.
class FakeTransport : public MailCheckTransport {
public:
    // The check may take a mail apart on one thread while it fetches the
    // next on another: the log is kept under a lock.
    std::mutex logLock;
    QStringList snapshot()
    {
        std::lock_guard lock(logLock);
        return log;
    }
    void note(const QString &entry)
    {
        std::lock_guard lock(logLock);
        log << entry;
    }
    QList<FakeMail> mailbox;
    QStringList log;
    bool quitConfirms = true;
    QSet<int> refuseDelete;   // mail numbers whose DELE fails
    int failFetchAt = 0;      // GetMail of this number fails (connection gone)
    int attachmentResult = 1;
    qint64 limit = 1000;

    int connect(const QString &) override
    {
        note("connect");
        marked.clear();
        return 7;
    }
    int authenticate(int, const QString &, const QString &, bool apop) override
    {
        note((apop ? "apop" : "user"));
        return int(mailbox.size());
    }
    QString uidl(int, int n) override { return mailbox[n - 1].uidl; }
    int status(int, int n, nmail::MailTexts &t) override
    {
        note(QStringLiteral("status %1").arg(n));
        t.subject = mailbox[n - 1].subject;
        return 1;
    }
    qint64 size(int, int n) override
    {
        note(QStringLiteral("size %1").arg(n));
        return mailbox[n - 1].size;
    }
    int getMail(int, int n, nmail::MailTexts &t) override
    {
        note(QStringLiteral("get %1").arg(n));
        if (n == failFetchAt)
            return -1;
        t.subject = mailbox[n - 1].subject;
        t.from = QStringLiteral("from@example.jp");
        t.date = QStringLiteral("Mon, 1 Jan 2024 00:00:00 +0900");
        t.header = QStringLiteral("Subject: x");
        t.body = mailbox[n - 1].body;
        return 1;
    }
    QByteArray rawMail(int) override { return "Subject: x\r\n\r\nbody\r\n"; }
    // A body "with file" has one attached file, saved under the subject.
    int attachmentFirst(nmail::MailTexts &t, const QString &folder, const QByteArray &text) override
    {
        note("attachment");
        mailText = text;
        saved.clear();
        if (t.body == QStringLiteral("with file")) {
            saved << folder + t.subject + QStringLiteral(".bin");
            writeFile(saved.last(), "attached");
        }
        return attachmentResult;
    }
    QStringList savedAttachments() override { return saved; }
    void attachmentClose() override { note("attachmentClose"); }
    qint64 maxMailSize() override { return limit; }
    int deleteMail(int, int n) override
    {
        note(QStringLiteral("dele %1").arg(n));
        if (refuseDelete.contains(n))
            return -2;
        marked.insert(n);
        return 1;
    }
    int close(int) override
    {
        note("close");
        if (!quitConfirms)
            return -1;
        QList<FakeMail> kept;
        for (int i = 0; i < mailbox.size(); ++i)
            if (!marked.contains(i + 1))
                kept << mailbox[i];
        mailbox = kept;
        return 1;
    }
    void abandon(int) override { note("abandon"); }
    QString lastMessage() override { return QStringLiteral("-ERR connection lost"); }

    QSet<int> marked;
    QStringList saved;
    QByteArray mailText;
};

class MemoryView : public MailCheckView {
public:
    QStringList events;
    QString status;
    ViewerTexts viewer;
    int steps = 0;
    std::function<void(int)> onStep;

    void setStatus(const QString &text) override { status = text; }
    void setCredentialBoxes(const QString &, const QString &) override {}
    void showCredentialsWindow() override { events << "credentials"; }
    void progressStep() override
    {
        ++steps;
        events << QStringLiteral("step %1").arg(steps);
        if (onStep)
            onStep(steps);
    }
    void undoProgressStep() override
    {
        events << QStringLiteral("undo step %1").arg(steps);
        --steps;
    }
    void mailFetched() override { events << QStringLiteral("fetched"); }
    void showInViewer(const ViewerTexts &t) override { viewer = t; }
    void appendToViewerBody(const QString &line) override { viewer.body += QStringLiteral("\r\n") + line; }
    ViewerTexts viewerTexts() const override { return viewer; }
    QWidget *dialogParent() const override { return nullptr; }
};

QStringList storedSubjects()
{
    QStringList out;
    for (int n = 1; n <= mailRecordCount(HistoryKind::Received); ++n)
        out << readMailRecord(HistoryKind::Received, n)->subject;
    return out;
}

QList<FakeMail> mails(int count)
{
    QList<FakeMail> out;
    for (int i = 1; i <= count; ++i)
        out << FakeMail{QStringLiteral("U%1").arg(i), QStringLiteral("mail %1").arg(i), QStringLiteral("body")};
    return out;
}

}  // namespace

class TestMailCheckLogic : public QObject {
    Q_OBJECT

    std::unique_ptr<TestProgramFolder> folder;
    std::unique_ptr<ScriptedDialogs> boxes;

    // The check on a transport the test keeps (not owned by the check).
    MailCheckResult check(FakeTransport &t, MemoryView &v)
    {
        return MailCheck(v, std::shared_ptr<MailCheckTransport>(&t, [](MailCheckTransport *) {})).run();
    }

private slots:
    void init()
    {
        folder = std::make_unique<TestProgramFolder>();
        boxes = std::make_unique<ScriptedDialogs>();
        settings::serverSettings() = settings::ServerSettings();
        settings::serverSettings().pop3Server = QStringLiteral("127.0.0.1:1");
        settings::accountCredentials() = {};
        settings::writeCredentialValue(QStringLiteral("NAME"), QStringLiteral("user"));
        settings::writeCredentialValue(QStringLiteral("NAME2"), QStringLiteral("secret"));
    }
    void cleanup()
    {
        MailCheck::setHistorySyncHook(nullptr);
        boxes.reset();
        folder.reset();
    }

    void sequenceOfOneCheck()
    {
        FakeTransport t;
        t.mailbox = mails(2);
        MemoryView v;
        MailCheckResult r = check(t, v);
        // Mail 2 is fetched while mail 1 is taken apart, shown and stored;
        // each mail's DELE comes after it was fetched and stored, in order;
        // each mail is taken apart once.
        const QStringList log = t.snapshot();
        QStringList commands;
        for (const QString &entry : log)
            if (!entry.startsWith(QLatin1String("size")) && !entry.startsWith(QLatin1String("attachment")))
                commands << entry;
        QCOMPARE(commands.mid(0, 4), QStringList({"connect", "user", "status 1", "get 1"}));
        QCOMPARE(commands.last(), QStringLiteral("close"));
        QCOMPARE(commands.size(), 9);
        for (const char *command : {"status 2", "get 2", "dele 1", "dele 2"})
            QCOMPARE(commands.count(QString::fromLatin1(command)), 1);
        QVERIFY(commands.indexOf("get 2") < commands.indexOf("dele 2"));
        QVERIFY(commands.indexOf("dele 1") < commands.indexOf("dele 2"));
        QCOMPARE(log.count(QStringLiteral("attachment")), 2);
        QCOMPARE(log.count(QStringLiteral("attachmentClose")), 2);
        QCOMPARE(v.steps, 2);
        QCOMPARE(r.stored, 2);
        QVERIFY(t.mailbox.isEmpty());
        // The original is kept under its own name, and nothing else (both
        // mails have the same bytes here: they are kept once).
        const QStringList kept = QDir(paths::resolve(QString::fromUtf16(paths::OriginalsFolder)))
                                     .entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(kept.size(), 1);
        QVERIFY(kept.first().endsWith(QLatin1String(".eml")));
        QVERIFY(!QFile::exists(paths::resolve(QStringLiteral("\\添付フォルダ\\0.txt"))));
        QCOMPARE(t.mailText, QByteArray("Subject: x\r\n\r\nbody\r\n"));
        QCOMPARE(v.status, QStringLiteral("新着メールがあります。"));
        QVERIFY(!QFile::exists(receiveJournalPath()));
        QVERIFY(boxes->shown.isEmpty());

        // With no POP3 server set, no server is asked, and the status says so.
        settings::serverSettings().pop3Server.clear();
        check(t, v);
        QCOMPARE(v.status, QStringLiteral("POP3サーバーが設定されていないため、受信していません。"));
        QCOMPARE(t.snapshot().count(QStringLiteral("connect")), 1);
    }

    // A session that dies after some mails were stored: the next check
    // removes those without storing or counting them again.
    void deadSessionStoresEachMailOnce_data()
    {
        QTest::addColumn<int>("failFetchAt");
        QTest::addColumn<int>("storedFirst");
        QTest::addColumn<QString>("statusFirst");  // never "no new mail" for a check cut short
        QTest::newRow("cut at mail 3") << 3 << 2 << "新着メールがあります。受信は途中で止まりました。";
        QTest::newRow("cut at mail 1") << 1 << 0 << "メールを受信できませんでした。";
        QTest::newRow("every mail stored, QUIT lost") << 0 << 4 << "新着メールがあります。";
    }
    void deadSessionStoresEachMailOnce()
    {
        QFETCH(int, failFetchAt);
        QFETCH(int, storedFirst);
        FakeTransport t;
        t.mailbox = mails(4);
        t.failFetchAt = failFetchAt;
        t.quitConfirms = false;
        MemoryView v;
        MailCheckResult r = check(t, v);
        QCOMPARE(r.stored, storedFirst);
        QTEST(v.status, "statusFirst");
        QCOMPARE(t.mailbox.size(), 4);  // nothing deleted without QUIT
        // Either the failed fetch or the unconfirmed deletions are told, once.
        QCOMPARE(boxes->shown.size(), 1);
        QCOMPARE(boxes->last().text.contains(QStringLiteral("削除されたかどうか分かりません")), failFetchAt == 0);
        QVERIFY(QFile::exists(receiveJournalPath()));

        t.failFetchAt = 0;
        t.quitConfirms = true;
        t.log.clear();
        const int stepsBefore = v.steps;
        r = check(t, v);
        QCOMPARE(r.replayed, storedFirst);
        QCOMPARE(v.steps - stepsBefore, 4 - storedFirst);
        QCOMPARE(storedSubjects(), QStringList({"mail 1", "mail 2", "mail 3", "mail 4"}));
        QVERIFY(t.mailbox.isEmpty());
        QVERIFY(!QFile::exists(receiveJournalPath()));
        for (int n = 1; n <= storedFirst; ++n)
            QVERIFY(!t.log.contains(QStringLiteral("get %1").arg(n)));
        QCOMPARE(v.status, storedFirst == 4 ? QStringLiteral("新着メールは有りません。")
                                            : QStringLiteral("新着メールがあります。"));
    }

    // DELE refused: that mail stays on the server and in the journal, the
    // check goes on with the rest, and the next check removes it without
    // storing it again.
    void refusedDeleteLeavesOneMailForLater()
    {
        FakeTransport t;
        t.mailbox = mails(3);
        t.refuseDelete = {1};
        MemoryView v;
        MailCheckResult r = check(t, v);
        QVERIFY(!r.stopped);
        QCOMPARE(r.stored, 3);
        QCOMPARE(r.undeleted, 1);
        QCOMPARE(boxes->shown.size(), 1);
        QVERIFY(boxes->last().text.contains(QStringLiteral("1 通目")));
        QCOMPARE(v.steps, 3);
        QCOMPARE(t.mailbox.size(), 1);
        QCOMPARE(loadReceiveJournal().stored, QStringList({"U1"}));
        t.refuseDelete.clear();
        r = check(t, v);
        QCOMPARE(r.replayed, 1);
        QCOMPARE(r.received, 0);
        QCOMPARE(storedSubjects(), QStringList({"mail 1", "mail 2", "mail 3"}));
        QVERIFY(t.mailbox.isEmpty());
        QVERIFY(!QFile::exists(receiveJournalPath()));
    }

    // A mail left on the server for its size, then a session that ends
    // without QUIT: the journal must not take the mail for one of those
    // stored (the history counts only those), or the next check would delete
    // it unread.
    void tooLargeMailNeverCountsAsStored()
    {
        FakeTransport t;
        t.mailbox = mails(3);
        t.mailbox[1].size = 5000;
        t.quitConfirms = false;
        MemoryView v;
        MailCheckResult r = check(t, v);
        QCOMPARE(r.stored, 2);
        QCOMPARE(r.skipped, 1);
        QCOMPARE(t.mailbox.size(), 3);
        t.limit = 10000;
        t.quitConfirms = true;
        r = check(t, v);
        QCOMPARE(r.replayed, 2);
        QCOMPARE(r.stored, 1);
        QCOMPARE(storedSubjects(), QStringList({"mail 1", "mail 3", "mail 2"}));
        QVERIFY(t.mailbox.isEmpty());
    }

    // Two mails with one UIDL and a check that died after the first: the
    // journal must not make the second look stored, or it would be deleted
    // unread.
    void repeatedUidlNeverDeletesAnUnstoredMail()
    {
        FakeTransport t;
        t.mailbox = mails(3);
        t.mailbox[0].uidl = t.mailbox[1].uidl = QStringLiteral("SAME");
        t.failFetchAt = 2;
        t.quitConfirms = false;
        MemoryView v;
        MailCheckResult r = check(t, v);
        QCOMPARE(r.stored, 1);
        t.failFetchAt = 0;
        t.quitConfirms = true;
        t.log.clear();
        r = check(t, v);
        QVERIFY(t.log.contains(QStringLiteral("get 2")));
        QVERIFY(storedSubjects().contains(QStringLiteral("mail 2")));
        QVERIFY(storedSubjects().contains(QStringLiteral("mail 3")));
        QVERIFY(t.mailbox.isEmpty());
    }

    // A mail above the size limit is not fetched; it stays on the server, the
    // check goes on and says so.
    void tooLargeMailStaysOnTheServer()
    {
        FakeTransport t;
        t.mailbox = mails(3);
        t.mailbox[1].size = 5000;
        MemoryView v;
        MailCheckResult r = check(t, v);
        QCOMPARE(r.skipped, 1);
        QCOMPARE(r.stored, 2);
        QCOMPARE(v.steps, 2);
        QVERIFY(!t.log.contains(QStringLiteral("get 2")));
        QCOMPARE(t.mailbox.size(), 1);
        QCOMPARE(t.mailbox[0].subject, QStringLiteral("mail 2"));
        QCOMPARE(boxes->shown.size(), 1);
        QVERIFY(boxes->last().text.contains(QStringLiteral("2 通目")));
        QVERIFY(boxes->last().text.contains(QStringLiteral("件名: mail 2")));
        QCOMPARE(v.status, QStringLiteral("新着メールがあります。大きすぎるメール 1 通をサーバーに残しました。"));
        // Told once: the next check leaves it without a word, the status
        // line still says so; once it is gone, it is forgotten.
        boxes->clear();
        r = check(t, v);
        QCOMPARE(r.skipped, 1);
        QVERIFY(boxes->shown.isEmpty());
        QCOMPARE(v.status, QStringLiteral("大きすぎるメール 1 通をサーバーに残しました。"));
        t.mailbox.clear();
        check(t, v);
        QVERIFY(loadToldTooLarge().isEmpty());
    }

    // Mails are fetched ahead of the one taken up, but large ones only as far
    // as a memory budget allows: with mails of 10 MB (as listed) at most two
    // are fetched and not yet taken up, while small ones run FetchDepth ahead.
    void fetchingAheadIsBounded_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("ahead");
        QTest::newRow("small") << qint64(100) << MailCheck::FetchDepth;
        QTest::newRow("10 MB") << qint64(10 * 1024 * 1024) << 2;
        // Fetched into their files, not memory: still no more than two.
        QTest::newRow("20 MB") << qint64(20 * 1024 * 1024) << 2;
    }
    void fetchingAheadIsBounded()
    {
        QFETCH(qint64, size);
        QFETCH(int, ahead);
        FakeTransport t;
        const int count = MailCheck::FetchDepth + 4;
        t.mailbox = mails(count);
        t.limit = qint64(50) * 1024 * 1024;
        for (FakeMail &m : t.mailbox)
            m.size = size;
        MemoryView v;
        int furthest = 0;
        v.onStep = [&](int n) {
            // What has been fetched when mail n is about to be taken up.
            for (int m = 1; m <= count; ++m)
                if (t.snapshot().contains(QStringLiteral("get %1").arg(m)))
                    furthest = qMax(furthest, m - n);
        };
        MailCheckResult r = check(t, v);
        QCOMPARE(r.stored, count);
        QVERIFY2(furthest <= ahead - 1, qPrintable(QString::number(furthest)));
    }

    // The user stops the check: nothing more is fetched than was on its way
    // (at most FetchDepth mails ahead), nothing more is stored or deleted,
    // and it says so once.
    void stoppedByTheUser()
    {
        FakeTransport t;
        const int count = MailCheck::FetchDepth + 3;
        t.mailbox = mails(count);
        MemoryView v;
        MailCheck c(v, std::shared_ptr<MailCheckTransport>(&t, [](MailCheckTransport *) {}));
        v.onStep = [&](int n) {
            if (n == 2)
                c.cancel();
        };
        MailCheckResult r = c.run();
        QVERIFY(r.cancelled);
        QVERIFY(r.stored <= 2);
        // Mail 1 was stored with the mails up to 1 + FetchDepth on their way.
        for (int n = MailCheck::FetchDepth + 2; n <= count; ++n)
            QVERIFY(!t.log.contains(QStringLiteral("get %1").arg(n)));
        QVERIFY(t.mailbox.size() >= count - 2);
        QCOMPARE(mailRecordCount(HistoryKind::Received), r.stored);
        QCOMPARE(boxes->shown.size(), 1);
        QVERIFY(boxes->last().text.contains(QStringLiteral("中止")));
    }

    // A long check puts what it has stored on the disk in the background
    // while the rest comes in; the sync before QUIT still decides: when it
    // fails, nothing is removed from the server.
    void longCheckSyncsMeanwhile()
    {
        FakeTransport t;
        t.mailbox = mails(150);
        MemoryView v;
        MailCheckResult r = check(t, v);
        QCOMPARE(r.stored, 150);
        QVERIFY(r.quitConfirmed);
        QVERIFY(t.mailbox.isEmpty());

        t.mailbox = mails(150);
        MailCheck::setHistorySyncHook([](QString *error) {
            *error = QStringLiteral("I/O error");
            return false;
        });
        r = check(t, v);
        QCOMPARE(r.stored, 150);
        QVERIFY(!r.quitConfirmed);
        QCOMPARE(t.mailbox.size(), 150);
        QVERIFY(boxes->last().text.contains(QStringLiteral("I/O error")));
    }

    // Records go to the disk once, before QUIT commits the deletions. When
    // that fails the session ends without QUIT: every mail stays on the
    // server, and the next check only removes those already stored.
    void historyNotOnDiskKeepsTheMailsOnTheServer()
    {
        FakeTransport t;
        t.mailbox = mails(3);
        int syncs = 0;
        MailCheck::setHistorySyncHook([&](QString *error) {
            ++syncs;
            *error = QStringLiteral("I/O error");
            return false;
        });
        MemoryView v;
        MailCheckResult r = check(t, v);
        QCOMPARE(syncs, 1);
        QCOMPARE(r.stored, 3);
        QVERIFY(r.stopped);
        QVERIFY(!r.quitConfirmed);
        QCOMPARE(t.log.last(), QStringLiteral("abandon"));
        QVERIFY(!t.log.contains(QStringLiteral("close")));
        QCOMPARE(t.mailbox.size(), 3);
        QCOMPARE(boxes->shown.size(), 1);
        QVERIFY(boxes->last().text.contains(QStringLiteral("I/O error")));

        MailCheck::setHistorySyncHook(nullptr);
        t.log.clear();
        r = check(t, v);
        QCOMPARE(r.replayed, 3);
        QCOMPARE(r.received, 0);
        QCOMPARE(storedSubjects(), QStringList({"mail 1", "mail 2", "mail 3"}));
        QVERIFY(t.mailbox.isEmpty());
    }

    // A check killed before it wrote the counter left it as it was; its
    // journal says how many mails it stored, each of them counted.
    void counterOfAKilledCheckIsRecovered()
    {
        ReceiveJournal j;
        j.base = 0;
        j.pending = QStringList({"U1", "U2", "U3"});
        j.counterBefore = 10;
        QVERIFY(saveReceiveJournal(j));
        QCOMPARE(QFile::permissions(receiveJournalPath()) & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
                 QFileDevice::Permissions());
        ReceiveJournal back;
        QVERIFY(ReceiveJournal::parse(j.serialize(), &back));
        QCOMPARE(back.counterBefore, 10);
        pilgrimage::storeProgressCounter(10);
        for (int n = 1; n <= 2; ++n)
            QVERIFY(appendMailRecord(HistoryKind::Received, QStringLiteral("s"), QString(), QString(), QString()) > 0);
        recoverProgressCounter();
        QCOMPARE(pilgrimage::progressCounterValue(), 12);
        recoverProgressCounter();  // once only
        QCOMPARE(pilgrimage::progressCounterValue(), 12);
        pilgrimage::storeProgressCounter(40);  // written since: that check did end
        recoverProgressCounter();
        QCOMPARE(pilgrimage::progressCounterValue(), 40);
    }

    // The next mail is fetched and its attachments extracted while a mail is
    // stored. When that store fails, the next mail leaves nothing behind.
    void mailFetchedAheadLeavesNothingWhenTheCheckStops()
    {
        FakeTransport t;
        t.mailbox = mails(3);
        t.mailbox[1].body = QStringLiteral("with file");
        const QString data = paths::resolve(QStringLiteral("\\★MAilData"));
        MemoryView v;
        // The history cannot be written: a folder where the file should be.
        QVERIFY(QDir().mkpath(data + QStringLiteral("/plxdata2.data")));
        MailCheckResult r = check(t, v);
        QVERIFY(r.stopped);
        QCOMPARE(r.stored, 0);
        QVERIFY(t.log.contains(QStringLiteral("get 2")));
        QVERIFY(!QFile::exists(paths::resolve(QStringLiteral("\\添付フォルダ\\mail 2.bin"))));
        // A mail that was not taken up is not counted: it will be, when it is.
        QCOMPARE(v.steps, 0);
        QCOMPARE(t.mailbox.size(), 3);
        // Nothing of it is kept in the originals folder either.
        QVERIFY(QDir(paths::resolve(QString::fromUtf16(paths::OriginalsFolder)))
                    .entryList(QDir::Files | QDir::Hidden)
                    .isEmpty());
    }

    // An attachment that cannot be written would be lost with the mail: the
    // check stops and leaves it on the server.
    void unwritableAttachmentStopsTheCheck()
    {
        FakeTransport t;
        t.mailbox = mails(2);
        t.attachmentResult = -5;
        MemoryView v;
        MailCheckResult r = check(t, v);
        QVERIFY(r.stopped);
        QCOMPARE(boxes->shown.first().text, QStringLiteral("添付ファイルをオープンできません"));
        QCOMPARE(boxes->shown.first().title, ProgramTitle);
        QCOMPARE(t.mailbox.size(), 2);
        QCOMPARE(mailRecordCount(HistoryKind::Received), 0);
    }

    void journalResolvesByRecordCount_data()
    {
        QTest::addColumn<int>("historyCount");
        QTest::addColumn<QStringList>("expected");
        // stored: S; base 10; pending A, (none), B
        QTest::newRow("nothing landed") << 10 << QStringList({"S"});
        QTest::newRow("first landed") << 11 << QStringList({"S", "A"});
        QTest::newRow("UIDL-less mail landed") << 12 << QStringList({"S", "A"});
        QTest::newRow("all landed") << 13 << QStringList({"S", "A", "B"});
        QTest::newRow("records deleted since") << 5 << QStringList({"S"});
        QTest::newRow("more than planned") << 40 << QStringList({"S", "A", "B"});
    }
    void journalResolvesByRecordCount()
    {
        QFETCH(int, historyCount);
        QFETCH(QStringList, expected);
        ReceiveJournal j;
        j.stored = {"S"};
        j.base = 10;
        j.pending = {"A", "", "B"};
        ReceiveJournal back;
        QVERIFY(ReceiveJournal::parse(j.serialize(), &back));
        QCOMPARE(back.pending, j.pending);
        QSet<QString> got = back.storedUidls(historyCount);
        QCOMPARE(got, QSet<QString>(expected.begin(), expected.end()));
    }

    void journalRejectsGarbage_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("other file") << QByteArray("hello\n");
        QTest::newRow("pending without base") << QByteArray("korvane-receive-journal 1\npending A\n");
        QTest::newRow("unknown key") << QByteArray("korvane-receive-journal 1\nzap A\n");
        QTest::newRow("counter without base") << QByteArray("korvane-receive-journal 1\ncounter 3\n");
    }
    void journalRejectsGarbage()
    {
        QFETCH(QByteArray, bytes);
        ReceiveJournal j;
        QVERIFY(!ReceiveJournal::parse(bytes, &j));
        // A torn or foreign journal is ignored; the check still runs.
        QFile f(paths::ensureParent(QStringLiteral("\\★MAilData\\plxrecv.jnl")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        QVERIFY(loadReceiveJournal().isEmpty());
    }

    void mailTextFromWorkFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QByteArray("a\r\nb\r\n");
        QTest::newRow("lone CR ends a line") << QByteArray("a\rb") << QByteArray("a\r\nb\r\n");
        QTest::newRow("lone LF stays in the line") << QByteArray("a\nb\r\n") << QByteArray("a\nb\r\n");
        QTest::newRow("empty lines kept") << QByteArray("a\r\n\r\nb") << QByteArray("a\r\n\r\nb\r\n");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("last line without CR LF") << QByteArray("a\r\nb") << QByteArray("a\r\nb\r\n");
        QTest::newRow("CR as the last byte") << QByteArray("a\r\n\r") << QByteArray("a\r\n\r\n");
    }
    void mailTextFromWorkFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, text);
        QCOMPARE(korvane::mail::mailTextFromWorkFile(file), text);
    }

    // The program ends during a check (its main window closed): the mail at
    // hand is finished, no other is taken up, and QUIT commits what was
    // stored. Last of the tests: the event loops of this process stay ended.
    void programEndingDuringACheckIsLast()
    {
        FakeTransport t;
        t.mailbox = mails(4);
        MemoryView v;
        v.onStep = [](int n) {
            if (n == 2)
                QCoreApplication::exit(0);
        };
        MailCheckResult r = check(t, v);
        QVERIFY(r.stopped);
        QVERIFY(r.quitConfirmed);
        QCOMPARE(storedSubjects(), QStringList({"mail 1", "mail 2"}));
        QCOMPARE(t.mailbox.size(), 2);
        QVERIFY(boxes->shown.isEmpty());
    }
};

QTEST_MAIN(TestMailCheckLogic)
#include "test_mailcheck_logic.moc"
