// Over a thousand lines on purpose: every case shares one fixture (the private
// dovecot, the relay that cuts or stalls the connection, a program folder) and
// one set of helpers; a second file would repeat them.
// The receive action end to end: the main window's receive label against the
// private dovecot, with the program's own windows, history, journal and
// pilgrimage; and the faults a check must survive without losing or doubling
// a mail.
#include "app/mainform.h"
#include "app/registry.h"
#include "common/paths.h"
#include "common/ui.h"
#include "common/windows.h"
#include "mailcheck/mailcheck.h"
#include "mailcheck/mailcheck_journal.h"
#include "mailcheck/mailcheck_windows.h"
#include "history/mailhistory.h"
#include "transport/nmail.h"
#include "mailservers_support.h"
#include "scripteddialogs.h"
#include "settings/settings.h"
#include "testenv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPointer>
#include <QPushButton>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>

using namespace korvane;
using namespace korvane::mail;
using namespace korvane::test;

namespace {

QByteArray plainMail(const QString &subject, const QByteArray &body, int serial)
{
    return "From: sender@example.jp\r\n"
           "To: user@example.jp\r\n"
           "Subject: " + subject.toUtf8() + "\r\n"
           "Date: Mon, 1 Jan 2024 09:00:" + QByteArray::number(serial % 60).rightJustified(2, '0') + " +0900\r\n"
           "Message-ID: <" + QByteArray::number(serial) + ".mailcheck@example.jp>\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=us-ascii\r\n"
           "\r\n" + body + "\r\n";
}

// A text part and one attached file; `disposition` as written in the mail.
QByteArray mailWithFile(const QByteArray &disposition, const QByteArray &fileName,
                        const QByteArray &content = "hello file")
{
    QByteArray encoded;
    const QByteArray base64 = content.toBase64();
    for (qsizetype at = 0; at < base64.size(); at += 76)
        encoded += base64.mid(at, 76) + "\r\n";
    return "From: sender@example.jp\r\n"
           "To: user@example.jp\r\n"
           "Subject: with a file\r\n"
           "Date: Mon, 1 Jan 2024 09:00:00 +0900\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"b1\"\r\n"
           "\r\n"
           "--b1\r\n"
           "Content-Type: text/plain; charset=us-ascii\r\n"
           "\r\n"
           "see the file\r\n"
           "--b1\r\n"
           "Content-Type: text/plain; name=\"" + fileName + "\"\r\n"
           "Content-Disposition: " + disposition + "; filename=\"" + fileName + "\"\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "\r\n"
           + encoded + "--b1--\r\n";
}

QString counter()
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Korvane"), QStringLiteral("Korvane"));
    return s.value(QStringLiteral("Pro/Value")).toString();
}

void setCounter(int value)
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Korvane"), QStringLiteral("Korvane"));
    s.setValue(QStringLiteral("Pro/Value"), QString::number(value));
}

// The originals kept of received mail: file name -> bytes.
QMap<QString, QByteArray> originals()
{
    QMap<QString, QByteArray> out;
    const QDir dir(paths::resolve(QString::fromUtf16(paths::OriginalsFolder)));
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            out.insert(name, f.readAll());
    }
    return out;
}

QStringList storedSubjects()
{
    QStringList out;
    for (const MailListEntry &e : readMailList(HistoryKind::Received))
        out << e.subject;
    return out;
}

template <class T> T *mainControl(const QString &name)
{
    return Windows::control<T>(QStringLiteral("Mainform"), name);
}

// A TCP relay between the program and dovecot that records what the program
// sends and can drop the connection or stop answering.
class Relay : public QObject {
public:
    Relay(const QString &host, int port) : host_(host), port_(port)
    {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *client = server_.nextPendingConnection()) {
                auto *upstream = new QTcpSocket(client);
                connect(client, &QTcpSocket::readyRead, this, [this, client, upstream] {
                    QByteArray bytes = client->readAll();
                    sent += bytes;
                    if (!stalled)
                        upstream->write(bytes);
                });
                connect(upstream, &QTcpSocket::readyRead, this, [this, client, upstream] {
                    QByteArray bytes = upstream->readAll();
                    if (!stalled)
                        client->write(bytes);
                });
                connect(upstream, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
                connect(client, &QTcpSocket::disconnected, upstream, &QTcpSocket::disconnectFromHost);
                upstream->connectToHost(host_, quint16(port_));
                clients_ << client;
            }
        });
    }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(server_.serverPort()); }
    // Drops every connection at once, as a dead server or network would.
    void cut()
    {
        for (const QPointer<QTcpSocket> &c : std::as_const(clients_))
            if (c)
                c->abort();
    }

    // Stops listening as well: the server is gone.
    void shutDown()
    {
        server_.close();
        cut();
    }

    QByteArray sent;
    bool stalled = false;

private:
    QTcpServer server_;
    QString host_;
    int port_;
    QList<QPointer<QTcpSocket>> clients_;
};

// The windows' view with hooks before each mail is counted (1, 2, …) and
// when it has been fetched (the session idle).
class HookedView : public WindowsMailCheckView {
public:
    std::function<void(int)> beforeMail;
    std::function<void(int)> whileIdle;
    int mails = 0;
    void progressStep() override
    {
        ++mails;
        if (beforeMail)
            beforeMail(mails);
        WindowsMailCheckView::progressStep();
    }
    void mailFetched() override
    {
        if (whileIdle)
            whileIdle(mails);
        WindowsMailCheckView::mailFetched();
    }
};

// Scripted answers, with something done while the question is open.
class QuestionHook : public ScriptedDialogs {
public:
    std::function<void()> whileOpen;
    bool question(QWidget *parent, const QString &text, const QString &title, Icon icon, bool defaultYes) override
    {
        if (whileOpen)
            whileOpen();
        return ScriptedDialogs::question(parent, text, title, icon, defaultYes);
    }
};

}  // namespace

class TestMailCheck : public QObject {
    Q_OBJECT

    MailServers servers;
    std::unique_ptr<TestProgramFolder> folder;
    std::unique_ptr<ScriptedDialogs> boxes;
    QPointer<app::Mainform> form;

    void configure(const QString &server, qint16 apop = 0, bool credentials = true)
    {
        settings::ServerSettings &s = settings::serverSettings();
        s = settings::ServerSettings();
        s.pop3Server = server;
        s.useApop = apop;
        s.mailAddress = QStringLiteral("user@example.jp");
        QVERIFY(settings::saveServerSettings());
        if (credentials) {
            settings::writeCredentialValue(QStringLiteral("NAME"), servers.user);
            settings::writeCredentialValue(QStringLiteral("NAME2"), servers.password);
            settings::writeCredentialValue(QStringLiteral("NAME3"), QStringLiteral("1"));
        }
    }

    // The main window as the program starts it.
    void startProgram()
    {
        form = Windows::get<app::Mainform>(QStringLiteral("Mainform"));
        QVERIFY(form);
        form->startUp();
        form->show();
    }

    void clickReceive()
    {
        auto *label = mainControl<ClickLabel>(QStringLiteral("Label3"));
        QVERIFY(label);
        // A user clicks again once the last click's flash is over.
        QTRY_VERIFY(label->isEnabled());
        QTest::mouseClick(label, Qt::LeftButton);
        QVERIFY(!isCheckRunning());
    }

    void deliver(int count, const QString &prefix = QStringLiteral("mail"))
    {
        for (int i = 1; i <= count; ++i)
            QVERIFY(servers.deliver(plainMail(QStringLiteral("%1 %2").arg(prefix).arg(i), "body", i)));
    }

    QString status() const { return mainControl<QLabel>(QStringLiteral("Label17"))->text(); }

private slots:
    void initTestCase()
    {
        servers = MailServers::fromEnvironment();
        if (!servers.ok())
            QSKIP(qPrintable(servers.error()));
        nmail::NMailInitializeWinSock();
        app::registerAllWindows();
    }
    void cleanupTestCase() { nmail::NMailEndWinSock(); }

    void init()
    {
        Windows::unloadAll();
        folder = std::make_unique<TestProgramFolder>();
        folder->installData();
        boxes = std::make_unique<ScriptedDialogs>();
        settings::accountCredentials() = {};
        servers.emptyMaildir();
        configure(servers.pop3Plain());
    }
    void cleanup()
    {
        Windows::unloadAll();
        boxes.reset();
        folder.reset();
    }

    void threeMails()
    {
        setCounter(4);
        deliver(3);
        startProgram();
        // The pilgrim walks as the mails come in: the counter the map shows,
        // seen from a timer that runs while the mails are fetched, is filled
        // once per frame, so it only grows, by the mails counted meanwhile.
        QStringList seen;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            const QString shown = mainControl<QLineEdit>(QStringLiteral("Text8"))->text();
            if (isCheckRunning() && !seen.contains(shown))
                seen << shown;
        });
        watch.start(0);
        clickReceive();
        watch.stop();

        QCOMPARE(counter(), QStringLiteral("7"));
        QCOMPARE(storedSubjects(), QStringList({"mail 1", "mail 2", "mail 3"}));
        QCOMPARE(servers.maildirCount(), 0);
        QCOMPARE(status(), QStringLiteral("新着メールがあります。"));
        QCOMPARE(mainControl<QLabel>(QStringLiteral("Label7"))->text(), QStringLiteral("     HP"));
        QCOMPARE(mainControl<QLineEdit>(QStringLiteral("Text5"))->text(), QString());
        for (qsizetype i = 0; i < seen.size(); ++i) {
            QVERIFY2(seen[i].toInt() >= 4 && seen[i].toInt() <= 7, qPrintable(seen.join(',')));
            QVERIFY2(i == 0 || seen[i].toInt() > seen[i - 1].toInt(), qPrintable(seen.join(',')));
        }
        QVERIFY(boxes->shown.isEmpty());
        QVERIFY(!QFile::exists(receiveJournalPath()));
        // The history window was loaded for its viewer, not shown.
        QWidget *history = Windows::loaded(QStringLiteral("TyakuForm"));
        QVERIFY(history && !history->isVisible());
        QCOMPARE(history->findChild<QLineEdit *>(QStringLiteral("Text7"))->text(), QStringLiteral("mail 3"));
        QCOMPARE(history->findChild<QLineEdit *>(QStringLiteral("Text8"))->text(), QStringLiteral("sender@example.jp"));
        std::optional<MailRecord> third = readMailRecord(HistoryKind::Received, 3);
        QVERIFY(third);
        QCOMPARE(third->address, QStringLiteral("sender@example.jp"));
        QVERIFY(third->body.startsWith(QStringLiteral("body")));
    }

    // The viewer boxes are filled once per frame: what the check reads back
    // meanwhile (and stores) is what they hold once filled, whatever the text
    // holds (line and paragraph separators, no-break spaces, the marks a
    // document uses for its frames, a subject longer than a line box takes).
    void viewerReadBackIsWhatTheBoxesHold()
    {
        startProgram();
        QWidget *history = Windows::control<QWidget>(QStringLiteral("TyakuForm"), QStringLiteral("rtfEd"))->window();
        auto *subjectBox = history->findChild<QLineEdit *>(QStringLiteral("Text7"));
        const ViewerTexts texts{QStringLiteral("件名").repeated(20000), QStringLiteral("a\u00a0b <x@example.jp>"),
                                QStringLiteral("Mon, 1 Jan 2024"),
                                QStringLiteral("one\r\ntwo\nthree\rfour\u2028five\u2029six\ufdd0seven\ufdd1"
                                               "eight\u00a0nine\ttab \U0001F600\r\n\r\n")};
        ViewerTexts readBack;
        {
            WindowsMailCheckView view;
            view.showInViewer(texts);
            view.appendToViewerBody(QStringLiteral("notice\u2029line"));
            readBack = view.viewerTexts();
            // Not filled yet: the boxes still hold what they held.
            QVERIFY(subjectBox->text() != readBack.subject);
        }
        QCOMPARE(readBack.subject, subjectBox->text());
        QCOMPARE(readBack.subject.size(), subjectBox->maxLength());
        QCOMPARE(readBack.from, history->findChild<QLineEdit *>(QStringLiteral("Text8"))->text());
        QCOMPARE(readBack.date, history->findChild<QLineEdit *>(QStringLiteral("Text9"))->text());
        QCOMPARE(readBack.body, history->findChild<QTextEdit *>(QStringLiteral("rtfEd"))->toPlainText());
        QVERIFY(readBack.body.endsWith(QStringLiteral("\nnotice\nline")));
    }

    // While the history window is hidden its viewer waits; shown, it gets
    // the mail at hand within a frame, while the check still runs.
    void viewerFilledWhenItsWindowIsShown()
    {
        startProgram();
        auto *subjectBox = Windows::control<QLineEdit>(QStringLiteral("TyakuForm"), QStringLiteral("Text7"));
        QWidget *history = subjectBox->window();
        history->hide();
        WindowsMailCheckView view;
        view.showInViewer({QStringLiteral("shown later"), QStringLiteral("a@example.jp"), QString(), QStringLiteral("body")});
        QTest::qWait(3 * FramePacer::FrameMs);
        QVERIFY(subjectBox->text() != QStringLiteral("shown later"));
        history->show();
        QTRY_COMPARE(subjectBox->text(), QStringLiteral("shown later"));
        history->hide();
    }

    // The notice line, naming the files, is added to the stored body exactly
    // when files were saved: whatever letter case the mail writes its
    // disposition in, and never for a mail that merely says "attachment".
    void attachmentNotice_data()
    {
        QTest::addColumn<QByteArray>("mail");
        QTest::addColumn<bool>("notice");
        QTest::addColumn<QString>("savedFile");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("lower case") << mailWithFile("attachment", "note.txt") << true << "note.txt" << QByteArray("hello file");
        QTest::newRow("capital") << mailWithFile("Attachment", "memo.txt") << true << "memo.txt" << QByteArray("hello file");
        QTest::newRow("word in a plain mail") << plainMail("plain", "the attachment is coming", 1) << false << ""
                                              << QByteArray();
        // Large enough to go into its file as it arrives: the file kept and
        // the attachment are the very bytes sent.
        QByteArray large(13 * 1024 * 1024, Qt::Uninitialized);
        for (qsizetype at = 0; at < large.size(); ++at)
            large[at] = char((at * 131) ^ (at >> 11));
        QTest::newRow("large mail") << mailWithFile("attachment", "photo.jpg", large) << true << "photo.jpg" << large;
    }
    void attachmentNotice()
    {
        QFETCH(QByteArray, mail);
        QFETCH(bool, notice);
        QFETCH(QString, savedFile);
        QFETCH(QByteArray, content);
        QVERIFY(servers.deliver(mail));
        startProgram();
        clickReceive();
        QCOMPARE(mailRecordCount(HistoryKind::Received), 1);
        std::optional<MailRecord> record = readMailRecord(HistoryKind::Received, 1);
        QVERIFY(record);
        const QString body = record->body;
        const QString line = QStringLiteral("\r\n♪♪♪　添付ファイルがありましので、添付フォルダに展開しました。♪♪♪");
        QCOMPARE(body.endsWith(line + QStringLiteral("\r\n（%1）").arg(savedFile)), notice);
        if (!savedFile.isEmpty()) {
            QVERIFY(body.startsWith(QStringLiteral("see the file")));
            QVERIFY(readFile(folder->file(QStringLiteral("\\添付フォルダ\\") + savedFile)) == content);
            // The folder the check made is the user's alone, as the originals are.
            QCOMPARE(QFileInfo(folder->file(QStringLiteral("\\添付フォルダ"))).permissions() & 0x0077,
                     QFileDevice::Permissions());
        }
        QVERIFY(originals().values() == QList<QByteArray>({mail}));
        QVERIFY(!QFile::exists(folder->file(QStringLiteral("\\添付フォルダ\\0.txt"))));
        QCOMPARE(servers.maildirCount(), 0);
    }

    // One part of a split mail: reported, stored and removed all the same.
    void incompleteSplitMail()
    {
        QVERIFY(servers.deliver("From: sender@example.jp\r\nTo: user@example.jp\r\nSubject: part 1 of 2\r\n"
                                "Date: Mon, 1 Jan 2024 09:00:00 +0900\r\nMIME-Version: 1.0\r\n"
                                "Content-Type: message/partial; id=\"split.1@example.jp\"; number=1; total=2\r\n"
                                "\r\nSubject: whole\r\nMIME-Version: 1.0\r\n"
                                "Content-Type: text/plain\r\n\r\nfirst half\r\n"));
        deliver(1);
        startProgram();
        clickReceive();
        QCOMPARE(boxes->texts(), QStringList({"分割されたメールが全て揃っていません"}));
        QCOMPARE(boxes->last().title, ProgramTitle);
        QCOMPARE(storedSubjects(), QStringList({"part 1 of 2", "mail 1"}));
        QCOMPARE(servers.maildirCount(), 0);
    }

    void longSubjectIsCutInTheRecord()
    {
        const QString subject = QString(150, u'S');
        QVERIFY(servers.deliver(plainMail(subject, "body", 1)));
        startProgram();
        clickReceive();
        std::optional<MailRecord> record = readMailRecord(HistoryKind::Received, 1);
        QVERIFY(record);
        QCOMPARE(record->subject, QString(100, u'S'));
        QVERIFY2(record->body.contains(QStringLiteral("件名「%1」は履歴に入りきりません。").arg(subject)),
                 qPrintable(record->body));
        QCOMPARE(Windows::control<QLineEdit>(QStringLiteral("TyakuForm"), QStringLiteral("Text7"))->text(), subject);
    }

    void apopSendsApop()
    {
        Relay relay(servers.host, servers.pop3Port);
        configure(relay.address(), 1);
        deliver(1);
        startProgram();
        clickReceive();
        QCOMPARE(storedSubjects(), QStringList({"mail 1"}));
        QVERIFY2(relay.sent.contains("APOP " + servers.user.toUtf8() + " "), relay.sent.constData());
        QVERIFY(!relay.sent.contains("PASS "));
    }

    void noCredentialsOpensTheCredentialsWindow()
    {
        QFile::remove(folder->file(QStringLiteral("\\★MailData\\iniIdPass.ini")));
        deliver(2);
        startProgram();
        clickReceive();
        QWidget *credentials = Windows::loaded(QStringLiteral("IdPassForm"));
        QVERIFY(credentials && credentials->isVisible());
        QCOMPARE(servers.maildirCount(), 2);
        QCOMPARE(mailRecordCount(HistoryKind::Received), 0);
        QCOMPARE(status(), QStringLiteral("IDとパスワードがないため、受信していません。"));
        QVERIFY(boxes->shown.isEmpty());

        // Typed without saving, they hold for the run: every later check
        // logs in with them, and nothing is written.
        child<QLineEdit>(credentials, "IdText")->setText(servers.user);
        child<QLineEdit>(credentials, "PassText")->setText(servers.password);
        QTest::mouseClick(child<QPushButton>(credentials, "OKCommand"), Qt::LeftButton);
        clickReceive();
        QCOMPARE(mailRecordCount(HistoryKind::Received), 2);
        QCOMPARE(status(), QStringLiteral("新着メールがあります。"));
        deliver(1);
        clickReceive();
        QCOMPARE(mailRecordCount(HistoryKind::Received), 3);
        QVERIFY(settings::readCredentialValue(QStringLiteral("NAME2")).isEmpty());
        QVERIFY(boxes->shown.isEmpty());
    }

    // A server that cannot be used is named as the reason, in a box titled
    // as the check's other errors: "no new mail" alone would hide it.
    void unusableServerIsShown_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("said");
        QTest::newRow("wrong password") << "password" << "Authentication failed";
        QTest::newRow("nothing listening") << "closed" << "接続できません";
        QTest::newRow("certificate not trusted") << "untrusted" << "証明書";
    }
    void unusableServerIsShown()
    {
        QFETCH(QString, fault);
        QFETCH(QString, said);
        const QByteArray ca = qgetenv("KORVANE_CA_FILE");
        auto restore = qScopeGuard([&] {
            if (!ca.isEmpty())
                qputenv("KORVANE_CA_FILE", ca);
        });
        deliver(1);
        if (fault == "password") {
            settings::writeCredentialValue(QStringLiteral("NAME2"), QStringLiteral("wrong"));
        } else if (fault == "closed") {
            configure(QStringLiteral("127.0.0.1:%1").arg(MailServers::unusedPort()));
        } else {
            qunsetenv("KORVANE_CA_FILE");
            configure(servers.pop3s());
        }
        startProgram();
        clickReceive();
        QCOMPARE(boxes->shown.size(), 1);
        QCOMPARE(boxes->last().title, QStringLiteral("エラー"));
        QVERIFY2(boxes->last().text.contains(said), qPrintable(boxes->last().text));
        QCOMPARE(status(), QStringLiteral("メールを受信できませんでした。"));
        QCOMPARE(servers.maildirCount(), 1);
    }

    // A second click during a check asks whether to stop it: "No" lets it
    // run to its end; "Yes" stops it, and the mails not received stay on the
    // server for the next check. While the question is open nothing more is
    // asked of the server. A server that sends in small pieces makes the
    // check last well beyond the click.
    void secondClickOffersToStop_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::newRow("go on") << false;
        QTest::newRow("stop") << true;
    }
    void secondClickOffersToStop()
    {
        QFETCH(bool, stop);
        const int count = 20;
        QList<QByteArray> mails;
        QStringList all;
        for (int i = 1; i <= count; ++i) {
            mails << plainMail(QStringLiteral("mail %1").arg(i), QByteArray(300, 'm'), i);
            all << QStringLiteral("mail %1").arg(i);
        }
        MisbehavingPop3 pop(mails, {QStringLiteral("--in-pieces")});
        QVERIFY(pop.ok());
        configure(pop.address());
        auto retrs = [&pop] { return pop.commands().filter(QStringLiteral("RETR")).size(); };
        boxes.reset();
        auto *asking = new QuestionHook;
        boxes.reset(asking);
        qsizetype retrsAsked = -1, retrsLater = -2;
        asking->whileOpen = [&] {
            QTest::qWait(200);
            retrsAsked = retrs();
            QTest::qWait(400);
            retrsLater = retrs();
        };
        startProgram();
        int clicksDuring = 0;
        QTimer again;
        connect(&again, &QTimer::timeout, this, [&] {
            // Once the check talks to the server and the label's feedback
            // is over (a click on the greyed label does nothing).
            auto *label = mainControl<ClickLabel>(QStringLiteral("Label3"));
            if (isCheckRunning() && status() == checktext::Checking && label->isEnabled() && clicksDuring < 1) {
                ++clicksDuring;
                boxes->questionAnswers.enqueue(stop);
                QTest::mouseClick(label, Qt::LeftButton);
            }
        });
        again.start(0);
        clickReceive();
        again.stop();
        QCOMPARE(clicksDuring, 1);
        QVERIFY(!boxes->shown.isEmpty());
        QCOMPARE(boxes->shown.first().text, checktext::StopQuestion);
        QCOMPARE(retrsLater, retrsAsked);
        if (!stop) {
            QCOMPARE(storedSubjects(), all);
            QCOMPARE(counter(), QString::number(count));
            return;
        }
        QVERIFY(boxes->last().text.contains(QStringLiteral("中止しました")));
        const int stored = int(storedSubjects().size());
        QVERIFY2(stored < count / 2, qPrintable(QString::number(stored)));
        QCOMPARE(status(), (stored > 0 ? checktext::NewMail : QString()) + QStringLiteral("メールの受信を中止しました。"));
        QCOMPARE(counter().toInt(), stored);
        boxes->clear();
        QVERIFY(pop.restart({}));
        configure(pop.address());
        clickReceive();
        QCOMPARE(storedSubjects(), all);
        QCOMPARE(pop.mailboxCount(), 0);
    }

    // A mail that cannot be stored stays on the server, the check stops and
    // says why; what was stored before stays stored and is removed. A later
    // check takes up the rest, each mail once.
    void unstorableMailStaysOnTheServer_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("said");
        QTest::newRow("data folder not writable") << "folder" << "plxdata2.data";
        QTest::newRow("disk full") << "full" << "plxdata2.data";
        QTest::newRow("history at its limit") << "limit" << "32767";
        QTest::newRow("mail cannot be written") << "workfile" << "書き込めません";
    }
    void unstorableMailStaysOnTheServer()
    {
        QFETCH(QString, fault);
        QFETCH(QString, said);
        const QString data = folder->file(QStringLiteral("\\★MAilData"));
        const QString history = folder->file(QStringLiteral("\\★MAilData\\plxdata2.data"));
        int before = 0;
        if (fault == "limit") {
            // A sparse history one record short of the limit.
            QFile f(history);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(qint64(32766) * MailRecordLength));
            before = 32766;
        }
        if (fault == "workfile") {
            // A disk that fills up meets the mail's own file first: mail 2 is
            // larger than the room left, the first mail and its record are not.
            QByteArray big;
            while (big.size() < 40000)
                big += QByteArray(76, 'x') + "\r\n";
            for (int i = 1; i <= 3; ++i)
                QVERIFY(servers.deliver(plainMail(QStringLiteral("mail %1").arg(i), i == 2 ? big : "body", i)));
        } else {
            deliver(3);
        }
        startProgram();
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (fault == "workfile") {
            rlimit limit = saved;
            limit.rlim_cur = 36000;
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        HookedView view;
        view.beforeMail = [&](int n) {
            if (n != 2)
                return;
            if (fault == "folder") {
                QVERIFY(QDir().rename(data, data + ".away"));
                writeFile(data, "not a folder");
            } else if (fault == "full") {
                rlimit limit = saved;
                limit.rlim_cur = rlim_t(QFileInfo(history).size());
                setrlimit(RLIMIT_FSIZE, &limit);
            }
        };
        MailCheckResult r = runMailCheck(&view);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
        if (QFileInfo::exists(data + ".away")) {
            QVERIFY(QFile::remove(data));
            QVERIFY(QDir().rename(data + ".away", data));
        }
        QVERIFY(!QFileInfo::exists(folder->file(QStringLiteral("\\添付フォルダ\\0.txt"))));

        QVERIFY(r.stopped);
        QCOMPARE(r.stored, 1);
        QCOMPARE(boxes->shown.size(), 1);
        QVERIFY2(boxes->last().text.contains(said), qPrintable(boxes->last().text));
        QVERIFY(boxes->last().text.contains(QStringLiteral("サーバーに残して")));
        QCOMPARE(mailRecordCount(HistoryKind::Received), before + 1);
        std::optional<MailRecord> first = readMailRecord(HistoryKind::Received, before + 1);
        QVERIFY(first);
        QCOMPARE(first->subject, QStringLiteral("mail 1"));
        QCOMPARE(servers.maildirCount(), 2);

        if (fault == "limit")
            return;
        boxes->clear();
        clickReceive();
        QVERIFY(boxes->shown.isEmpty());
        QCOMPARE(storedSubjects(), QStringList({"mail 1", "mail 2", "mail 3"}));
        QCOMPARE(servers.maildirCount(), 0);
    }

    // The connection dies while the second mail is taken up: both are
    // stored, their deletion not confirmed; the check stops and says so, and
    // the next check removes the stored mails without storing them again.
    void connectionCutAfterAStore_data()
    {
        QTest::addColumn<bool>("serverGone");
        QTest::newRow("server gone") << true;
        QTest::newRow("connection dropped") << false;
    }
    void connectionCutAfterAStore()
    {
        QFETCH(bool, serverGone);
        Relay relay(servers.host, servers.pop3Port);
        configure(relay.address());
        deliver(4);
        startProgram();
        HookedView view;
        view.whileIdle = [&](int n) {
            if (n != 2)
                return;
            if (serverGone)
                relay.shutDown();
            else
                relay.cut();
        };
        MailCheckResult r = runMailCheck(&view);
        const QStringList all({"mail 1", "mail 2", "mail 3", "mail 4"});
        QVERIFY(r.stopped);
        QVERIFY(!r.quitConfirmed);
        QCOMPARE(r.stored, 2);
        QCOMPARE(boxes->shown.size(), 1);
        QCOMPARE(servers.maildirCount(), 4);
        QCOMPARE(counter(), QStringLiteral("2"));

        boxes->clear();
        if (serverGone)
            configure(servers.pop3Plain());
        clickReceive();
        QVERIFY(boxes->shown.isEmpty());
        QCOMPARE(storedSubjects(), all);
        QCOMPARE(servers.maildirCount(), 0);
        QCOMPARE(counter(), QStringLiteral("4"));
        QVERIFY(!QFile::exists(receiveJournalPath()));
    }

    // A server that stops answering in the middle of a check: the check ends
    // within 30 s with a message, and nothing is lost.
    void serverStopsAnswering()
    {
        // A short timeout keeps the test fast. A silent server may cost one
        // timeout and a little more, never a second timeout: with the
        // transport's default of 20 s that keeps the check within 30 s.
        nmail::NMailSetOption(nmail::NMailOptionTimeoutSeconds, 5);
        auto restore = qScopeGuard([] { nmail::NMailSetOption(nmail::NMailOptionTimeoutSeconds, 20); });
        Relay relay(servers.host, servers.pop3Port);
        configure(relay.address());
        deliver(2);
        startProgram();
        HookedView view;
        view.beforeMail = [&](int n) {
            if (n == 2)
                relay.stalled = true;
        };
        QElapsedTimer clock;
        clock.start();
        MailCheckResult r = runMailCheck(&view);
        QVERIFY2(clock.elapsed() < 5000 + 4000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(r.stopped);
        QCOMPARE(boxes->shown.size(), 1);
        QCOMPARE(boxes->last().title, QStringLiteral("エラー"));
        // Mail 2 may have arrived whole before the server fell silent (it is
        // asked for ahead); nothing is deleted without QUIT.
        const QStringList all({"mail 1", "mail 2"});
        const QStringList stored = storedSubjects();
        QVERIFY(!stored.isEmpty());
        QCOMPARE(stored, all.mid(0, stored.size()));
        QCOMPARE(servers.maildirCount(), 2);
        QCOMPARE(status(), QStringLiteral("新着メールがあります。受信は途中で止まりました。"));

        // The next check, with the server answering, takes up the rest once.
        boxes->clear();
        configure(servers.pop3Plain());
        clickReceive();
        QVERIFY(boxes->shown.isEmpty());
        QCOMPARE(storedSubjects(), all);
        QCOMPARE(servers.maildirCount(), 0);
    }

    // The program killed in the middle of a check of 50 mails, started again
    // and checked again: every mail stored once, none left, 50 counts (one
    // more for a mail counted just before the kill).
    void killedInTheMiddleOfACheck()
    {
        const QString probe = QCoreApplication::applicationDirPath() + QStringLiteral("/mailcheck_probe");
        QVERIFY(QFile::exists(probe));
        for (int i = 1; i <= 50; ++i)
            QVERIFY(servers.deliver(plainMail(QStringLiteral("mail %1").arg(i), "body", i)));
        setCounter(0);

        QProcess first;
        first.setProcessChannelMode(QProcess::ForwardedChannels);
        first.start(probe, {folder->path(), QStringLiteral("--pace-ms"), QStringLiteral("10")});
        QVERIFY(first.waitForStarted());
        // Kill it once a good part is stored.
        QElapsedTimer clock;
        clock.start();
        while (mailRecordCount(HistoryKind::Received) < 15 && first.state() == QProcess::Running
               && clock.elapsed() < 60000)
            QTest::qWait(1);
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();  // SIGKILL
        QVERIFY(first.waitForFinished());
        const int storedBeforeKill = mailRecordCount(HistoryKind::Received);
        QVERIFY(storedBeforeKill >= 15 && storedBeforeKill < 50);
        QCOMPARE(servers.maildirCount(), 50);
        QVERIFY(QFile::exists(receiveJournalPath()));

        QProcess second;
        second.setProcessChannelMode(QProcess::ForwardedChannels);
        second.start(probe, {folder->path()});
        QVERIFY(second.waitForFinished(60000));
        QCOMPARE(second.exitCode(), 0);

        QStringList expected;
        for (int i = 1; i <= 50; ++i)
            expected << QStringLiteral("mail %1").arg(i);
        QCOMPARE(storedSubjects(), expected);
        QCOMPARE(servers.maildirCount(), 0);
        const int raised = counter().toInt();
        QVERIFY2(raised == 50 || raised == 51, qPrintable(counter()));
        QVERIFY(!QFile::exists(receiveJournalPath()));
        // Each mail's original is there once, and nothing half received.
        const QMap<QString, QByteArray> kept = originals();
        QCOMPARE(kept.size(), 50);
        for (int i = 1; i <= 50; ++i)
            QCOMPARE(kept.values().count(plainMail(QStringLiteral("mail %1").arg(i), "body", i)), 1);
    }

    static void serverKinds()
    {
        QTest::addColumn<QStringList>("server");
        QTest::newRow("one command at a time") << QStringList();
        QTest::newRow("commands in a row") << QStringList{QStringLiteral("--pipelining")};
    }

    // A connection cut in the middle of a mail: that mail is neither stored
    // nor deleted, the check says why, and the next check receives it whole.
    // Every stored mail's original is kept byte for byte, for its owner only.
    // Both where the server takes one command at a time and where it takes
    // them in a row (mails asked for ahead, DELEs answered later).
    void mailCutInTheMiddle_data() { serverKinds(); }
    void mailCutInTheMiddle()
    {
        QFETCH(QStringList, server);
        QList<QByteArray> mails;
        for (int i = 1; i <= 3; ++i)
            mails << plainMail(QStringLiteral("mail %1").arg(i), QByteArray(3000, 'a' + char(i)), i);
        MisbehavingPop3 pop(mails, QStringList{QStringLiteral("--cut"), QStringLiteral("2")} + server);
        QVERIFY(pop.ok());
        configure(pop.address());
        startProgram();
        clickReceive();
        QCOMPARE(boxes->shown.size(), 1);
        QVERIFY2(boxes->last().text.contains(QStringLiteral("途中で切れました")), qPrintable(boxes->last().text));
        QCOMPARE(storedSubjects(), QStringList({"mail 1"}));
        QCOMPARE(pop.mailboxCount(), 3);
        QCOMPARE(originals().values(), QList<QByteArray>({mails[0]}));

        QVERIFY(pop.restart(server));
        configure(pop.address());
        boxes->clear();
        clickReceive();
        QVERIFY(boxes->shown.isEmpty());
        QCOMPARE(storedSubjects(), QStringList({"mail 1", "mail 2", "mail 3"}));
        QCOMPARE(pop.mailboxCount(), 0);
        const QList<QByteArray> kept = originals().values();
        QCOMPARE(kept.size(), 3);
        for (const QByteArray &m : std::as_const(mails))
            QVERIFY(kept.contains(m));
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
                                                | QFileDevice::WriteOther;
        for (const QString &name : originals().keys()) {
            QVERIFY(name.endsWith(QStringLiteral(".eml")));
            QCOMPARE(QFileInfo(paths::resolve(QString::fromUtf16(paths::OriginalsFolder)) + u'/' + name).permissions() & others,
                     QFileDevice::Permissions());
        }
        QCOMPARE(QFileInfo(historyPath(HistoryKind::Received)).permissions() & others, QFileDevice::Permissions());
    }

    // A server that gives every mail the same UIDL, and a check cut short:
    // the next check must not take the unread mails for stored ones.
    void repeatedUidlLosesNoMail()
    {
        QList<QByteArray> mails;
        for (int i = 1; i <= 3; ++i)
            mails << plainMail(QStringLiteral("mail %1").arg(i), "body", i);
        MisbehavingPop3 pop(mails, {QStringLiteral("--dup-uidl"), QStringLiteral("--cut"), QStringLiteral("2")});
        QVERIFY(pop.ok());
        configure(pop.address());
        startProgram();
        clickReceive();
        QCOMPARE(storedSubjects(), QStringList({"mail 1"}));
        QVERIFY(pop.restart({QStringLiteral("--dup-uidl")}));
        configure(pop.address());
        clickReceive();
        const QStringList stored = storedSubjects();
        QVERIFY2(stored.contains(QStringLiteral("mail 2")) && stored.contains(QStringLiteral("mail 3")),
                 qPrintable(stored.join(u',')));
        QCOMPARE(pop.mailboxCount(), 0);
    }

    // A server that refuses to delete one mail: the rest is received. The
    // message says what the next check does with it: without a UIDL of its
    // own (the server gives one to every mail) it is stored once more, and
    // the message says so.
    void refusedDeleteOfOneMail_data()
    {
        serverKinds();
        QTest::newRow("one UIDL for all") << QStringList{QStringLiteral("--dup-uidl")};
    }
    void refusedDeleteOfOneMail()
    {
        QFETCH(QStringList, server);
        const bool sameUidl = server.contains(QStringLiteral("--dup-uidl"));
        QList<QByteArray> mails;
        for (int i = 1; i <= 3; ++i)
            mails << plainMail(QStringLiteral("mail %1").arg(i), "body", i);
        MisbehavingPop3 pop(mails, QStringList{QStringLiteral("--refuse-dele"), QStringLiteral("1")} + server);
        QVERIFY(pop.ok());
        configure(pop.address());
        startProgram();
        clickReceive();
        QCOMPARE(storedSubjects(), QStringList({"mail 1", "mail 2", "mail 3"}));
        QCOMPARE(pop.mailboxCount(), 1);
        QCOMPARE(boxes->shown.size(), 1);
        QCOMPARE(boxes->last().text.contains(QStringLiteral("もう一度保存されます")), sameUidl);
        QCOMPARE(boxes->last().text.contains(QStringLiteral("もう一度保存することなく")), !sameUidl);
        QCOMPARE(counter(), QStringLiteral("3"));
        QVERIFY(pop.restart(sameUidl ? QStringList() : server));
        configure(pop.address());
        boxes->clear();
        clickReceive();
        QVERIFY(boxes->shown.isEmpty());
        if (sameUidl) {
            QCOMPARE(storedSubjects(), QStringList({"mail 1", "mail 2", "mail 3", "mail 1"}));
            QCOMPARE(pop.mailboxCount(), 0);
            return;
        }
        QCOMPARE(storedSubjects(), QStringList({"mail 1", "mail 2", "mail 3"}));
        QCOMPARE(pop.mailboxCount(), 0);
        QCOMPARE(counter(), QStringLiteral("3"));
    }

    // A body the record cannot hold whole: what fits, a line naming the
    // original, and the original itself; 〓 for what code page 932 lacks.
    void bodyTheRecordCannotHold()
    {
        QByteArray body = "smile \xF0\x9F\x98\x80 end\r\n";
        while (body.size() < 40000)
            body += QByteArray(70, 'z') + "\r\n";
        QByteArray mail = plainMail(QStringLiteral("long"), body, 1);
        mail.replace("charset=us-ascii", "charset=utf-8");
        mail.replace("Date: Mon,", "Date: Tue,");  // a weekday that does not fit the date
        QVERIFY(servers.deliver(mail));
        startProgram();
        clickReceive();
        QVERIFY(boxes->shown.isEmpty());
        const std::optional<MailRecord> r = readMailRecord(HistoryKind::Received, 1);
        QVERIFY(r);
        QVERIFY(r->body.startsWith(QStringLiteral("smile 〓 end")));
        const QString original = originals().keys().value(0);
        // Named by its date (in UTC) and a digest of its bytes.
        QVERIFY2(original.startsWith(QStringLiteral("20240101-000001-")), qPrintable(original));
        QVERIFY2(r->body.endsWith(QStringLiteral("元のメール全体は「受信原本%1%2」にあります。").arg(QDir::separator(), original)),
                 qPrintable(r->body.right(200)));
        QCOMPARE(originals().value(original), mail);
    }

    // A long display name is shortened in the record; the address never is,
    // and the body says whose name was shortened.
    void longSenderKeepsItsAddress()
    {
        QByteArray mail = plainMail(QStringLiteral("from far"), "body", 1);
        const QByteArray address = "a.rather.long.mailbox.name@mail.subdomain.example.co.jp";
        mail.replace("From: sender@example.jp",
                     "From: =?UTF-8?B?" + QStringLiteral("とても長い表示名の差出人さんです").repeated(3).toUtf8().toBase64()
                         + "?= <" + address + ">");
        QVERIFY(servers.deliver(mail));
        startProgram();
        clickReceive();
        const std::optional<MailRecord> r = readMailRecord(HistoryKind::Received, 1);
        QVERIFY(r);
        QVERIFY2(r->address.endsWith(QStringLiteral(" <%1>").arg(QString::fromLatin1(address))), qPrintable(r->address));
        QVERIFY2(r->body.contains(QStringLiteral("とても長い表示名の差出人さんです").repeated(3) + QStringLiteral(" <")
                                  + QString::fromLatin1(address) + QStringLiteral(">」は履歴に入りきらないため、名前を短くしました。")),
                 qPrintable(r->body));
    }

    // A header that starts folded and names no sender keeps its body, with
    // no note about the sender; its HTML is read off the window's thread.
    void foldedHeaderWithoutSender()
    {
        const QByteArray mail = " folded start\r\nTo: user@example.jp\r\nSubject: no sender\r\n"
                                "Content-Type: text/html; charset=utf-8\r\n\r\n<p>&euro;<pre>code</pre></p>\r\n";
        QVERIFY(servers.deliver(mail));
        startProgram();
        clickReceive();
        const std::optional<MailRecord> r = readMailRecord(HistoryKind::Received, 1);
        QVERIFY(r);
        QVERIFY2(r->body.startsWith(QStringLiteral("〓\r\n\r\ncode")) && !r->body.contains(QStringLiteral("差出人")),
                 qPrintable(r->body));
    }

    // A server that sends a byte at a time holds neither the check nor the
    // program: closed in the middle of a check, the program ends within
    // seconds, and the mail stays on the server.
    void slowServerAndTheProgramClosed()
    {
        MisbehavingPop3 pop({plainMail(QStringLiteral("slow"), QByteArray(5000, 's'), 1)}, {QStringLiteral("--trickle")});
        QVERIFY(pop.ok());
        configure(pop.address());
        const QString probe = QCoreApplication::applicationDirPath() + QStringLiteral("/mailcheck_probe");
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(probe, {folder->path(), QStringLiteral("--close-after-ms"), QStringLiteral("1500")});
        QVERIFY(program.waitForStarted());
        QElapsedTimer clock;
        clock.start();
        QVERIFY(program.waitForFinished(20000));
        QVERIFY2(clock.elapsed() < 1500 + 4000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(pop.commands().contains(QStringLiteral("RETR 1")));
        QVERIFY(!pop.commands().contains(QStringLiteral("QUIT")));
        QCOMPARE(pop.mailboxCount(), 1);
        QCOMPARE(mailRecordCount(HistoryKind::Received), 0);
    }

    // QUIT answered by a closed connection: the user is told once that the
    // deletions are not confirmed; the next check removes the stored mails
    // without storing them again.
    void quitWithoutAnswer()
    {
        QList<QByteArray> mails;
        for (int i = 1; i <= 2; ++i)
            mails << plainMail(QStringLiteral("mail %1").arg(i), "body", i);
        MisbehavingPop3 pop(mails, {QStringLiteral("--quit-close")});
        QVERIFY(pop.ok());
        configure(pop.address());
        startProgram();
        clickReceive();
        QCOMPARE(boxes->shown.size(), 1);
        QVERIFY2(boxes->last().text.contains(QStringLiteral("削除されたかどうか分かりません")), qPrintable(boxes->last().text));
        QCOMPARE(storedSubjects(), QStringList({"mail 1", "mail 2"}));
        QCOMPARE(pop.mailboxCount(), 2);
        QVERIFY(pop.restart({}));
        configure(pop.address());
        boxes->clear();
        clickReceive();
        QVERIFY(boxes->shown.isEmpty());
        QCOMPARE(storedSubjects(), QStringList({"mail 1", "mail 2"}));
        QCOMPARE(pop.mailboxCount(), 0);
    }

    // Mails kept on the server: received once across checks and a restart,
    // never deleted, then deleted at the first check KeepDays after they
    // were received. A server without UIDLs of its own is refused.
    void keepOnServer()
    {
        QSettings options(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Korvane"), QStringLiteral("Korvane"));
        options.setValue(QStringLiteral("Receive/KeepOnServer"), true);
        options.setValue(QStringLiteral("Receive/KeepDays"), 3);
        options.sync();
        deliver(2);
        startProgram();
        clickReceive();
        deliver(1, QStringLiteral("later"));
        clickReceive();
        const QStringList all({"mail 1", "mail 2", "later 1"});
        QCOMPARE(storedSubjects(), all);
        QCOMPARE(servers.maildirCount(), 3);
        QProcess restarted;
        restarted.start(QCoreApplication::applicationDirPath() + QStringLiteral("/mailcheck_probe"), {folder->path()});
        QVERIFY(restarted.waitForFinished(60000));
        QCOMPARE(restarted.exitCode(), 0);
        QCOMPARE(storedSubjects(), all);
        QCOMPARE(servers.maildirCount(), 3);
        QVERIFY(boxes->shown.isEmpty());

        // Three days on, they go.
        QFile state(paths::resolve(QStringLiteral("\\★MAilData\\plxkeep.lst")));
        QVERIFY(state.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = state.readAll().split('\n');
        state.close();
        QCOMPARE(lines.size(), 5);  // the first line, three mails, the empty end
        for (qsizetype i = 1; i < 4; ++i)
            lines[i] = lines[i].split(' ')[0] + ' ' + QByteArray::number(lines[i].split(' ')[1].toLongLong() - 3 * 86400);
        QVERIFY(state.open(QIODevice::WriteOnly | QIODevice::Truncate));
        state.write(lines.join('\n'));
        state.close();
        clickReceive();
        QVERIFY(boxes->shown.isEmpty());
        QCOMPARE(storedSubjects(), all);
        QCOMPARE(servers.maildirCount(), 0);

        MisbehavingPop3 pop({plainMail(QStringLiteral("unnamed 1"), "body", 1), plainMail(QStringLiteral("unnamed 2"), "body", 2)},
                            {QStringLiteral("--dup-uidl")});
        QVERIFY(pop.ok());
        configure(pop.address());
        clickReceive();
        QCOMPARE(boxes->shown.size(), 1);
        QVERIFY2(boxes->last().text.contains(QStringLiteral("UIDL")), qPrintable(boxes->last().text));
        QCOMPARE(storedSubjects(), all);
        QCOMPARE(pop.mailboxCount(), 2);
    }

    // A check against a closed port, the main window closed, then a check
    // against a server that accepts and never answers: the second failure
    // is told as well, after one timeout. (Kept last: Qt remembers the
    // closed window's quit in this process, where no application loop runs.)
    void silentServerAfterAClosedPort()
    {
        nmail::NMailSetOption(nmail::NMailOptionTimeoutSeconds, 2);
        auto restore = qScopeGuard([] { nmail::NMailSetOption(nmail::NMailOptionTimeoutSeconds, 20); });
        configure(QStringLiteral("127.0.0.1:%1").arg(MailServers::unusedPort()));
        startProgram();
        clickReceive();
        QCOMPARE(boxes->shown.size(), 1);
        form->close();
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        configure(QStringLiteral("127.0.0.1:%1").arg(silent.serverPort()));
        boxes->clear();
        startProgram();
        QElapsedTimer clock;
        clock.start();
        clickReceive();
        QVERIFY2(clock.elapsed() < 2000 + 4000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(boxes->shown.size(), 1);
        QVERIFY2(boxes->last().text.contains(QStringLiteral("応答がありません")), qPrintable(boxes->last().text));
        QCOMPARE(status(), QStringLiteral("メールを受信できませんでした。"));
    }
};

QTEST_MAIN(TestMailCheck)
#include "test_mailcheck.moc"
