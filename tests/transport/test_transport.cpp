// The transport against real servers: the private dovecot and aiosmtpd of
// scripts/mailservers.sh, plus a scripted server for what they cannot show.
#include "mime/mime_build.h"
#include "mime/mime_charset.h"
#include "mime/mime_message.h"
#include "transport/nmail.h"
#include "mailservers_support.h"
#include "settings/settings.h"
#include "test_transport_fakeserver.h"
#include "testenv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <thread>

using namespace korvane;
using namespace korvane::nmail;
using namespace korvane::test;

namespace {

// A small mail with `body`, ending in CR LF as the server keeps it.
QByteArray mailBytes(const QByteArray &body)
{
    return "From: a@example.jp\r\nSubject: test\r\n\r\n" + body + "\r\n";
}

QByteArray word(const QByteArray &charset, const QByteArray &bytes)
{
    return "=?" + charset + "?B?" + bytes.toBase64() + "?=";
}

QByteArray jis(const QString &s)
{
    return *mime::encodeIso2022Jp(s);
}

// A plain mail in ISO-2022-JP, the way Japanese mail programs write it.
QByteArray japaneseMail(const QString &subject, const QString &body, const QByteArray &messageId)
{
    return "From: " + word("ISO-2022-JP", jis(QStringLiteral("お遍路"))) + " <henro@example.jp>\r\n"
           "To: pilgrim@example.jp\r\n"
           "Subject: " + word("ISO-2022-JP", jis(subject)) + "\r\n"
           "Date: Tue, 02 Dec 2025 09:15:00 +0900\r\n"
           "Message-ID: <" + messageId + "@example.jp>\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
           "Content-Transfer-Encoding: 7bit\r\n"
           "\r\n" + jis(body) + "\r\n";
}

QByteArray mailWithAttachment(const QByteArray &filenameParameter, const QByteArray &content)
{
    return "From: sender@example.jp\r\n"
           "To: pilgrim@example.jp\r\n"
           "Subject: attached\r\n"
           "Date: Tue, 02 Dec 2025 10:00:00 +0900\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"b1\"\r\n"
           "\r\n"
           "--b1\r\n"
           "Content-Type: text/plain; charset=UTF-8\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "\r\n" + QStringLiteral("本文です。").toUtf8().toBase64() + "\r\n"
           "--b1\r\n"
           "Content-Type: application/octet-stream\r\n"
           "Content-Disposition: attachment; " + filenameParameter + "\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "\r\n" + content.toBase64() + "\r\n"
           "--b1--\r\n";
}

qint64 procStatusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

bool resetPeakRss()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

}  // namespace

class TestTransport : public QObject {
    Q_OBJECT

    MailServers servers_;
    TestProgramFolder *program_ = nullptr;

    int login(const QString &server)
    {
        const int h = NMailPop3Connect(server);
        if (h <= 0)
            qWarning() << "connect:" << NMailGetMessage();
        return h;
    }

private slots:
    void initTestCase()
    {
        NMailInitializeWinSock();
        NMailSetOption(NMailOptionBufferSize, 8192);
        servers_ = MailServers::fromEnvironment();
        QVERIFY2(servers_.ok(), qPrintable(servers_.error()));
        servers_.trustCa();
        program_ = new TestProgramFolder;
    }

    void cleanupTestCase()
    {
        delete program_;
        NMailEndWinSock();
    }

    void init()
    {
        servers_.emptyMaildir();
        servers_.emptySpool();
        NMailSetOption(NMailOptionTimeoutSeconds, 20);
        settings::accountCredentials() = {};
    }

    // ------------------------------------------------------------ POP3

    void connectToNothingFailsFast()
    {
        QElapsedTimer t;
        t.start();
        QCOMPARE(NMailPop3Connect(QStringLiteral("127.0.0.1:%1").arg(MailServers::unusedPort())), -1);
        QVERIFY(t.elapsed() < 5000);
        QVERIFY2(NMailGetMessage().contains(QStringLiteral("接続できません")), qPrintable(NMailGetMessage()));
    }

    void unusableServerNames_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("empty") << QString();
        QTest::newRow("other scheme") << QStringLiteral("imap://127.0.0.1");
        QTest::newRow("port out of range") << QStringLiteral("127.0.0.1:70000");
        QTest::newRow("path injection") << QStringLiteral("127.0.0.1/../x");
    }
    void unusableServerNames()
    {
        QFETCH(QString, server);
        QCOMPARE(NMailPop3Connect(server), -1);
        QVERIFY(!NMailGetMessage().isEmpty());
    }

    void wrongPasswordGivesServerText()
    {
        const int h = login(servers_.pop3Plain());
        QVERIFY(h > 0);
        QVERIFY(NMailPop3Authenticate(h, servers_.user, QStringLiteral("wrong"), false) < 0);
        const QString message = NMailGetMessage();
        QVERIFY2(message.contains(QStringLiteral("-ERR")), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("認証に失敗")), qPrintable(message));
        NMailPop3Close(h);
    }

    void loginVariants_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("apop");
        QTest::newRow("plain") << servers_.pop3Plain() << false;
        QTest::newRow("APOP") << servers_.pop3Plain() << true;
        QTest::newRow("POP3S") << servers_.pop3s() << false;
        QTest::newRow("STLS") << servers_.pop3Stls() << false;
        QTest::newRow("STLS, unsecured address") << servers_.pop3Stls(true) << false;
        QTest::newRow("POP3S with APOP") << servers_.pop3s() << true;
    }
    void loginVariants()
    {
        QFETCH(QString, server);
        QFETCH(bool, apop);
        QVERIFY(servers_.deliver(japaneseMail(QStringLiteral("第一番　霊山寺"), QStringLiteral("発願の寺"), "v1")));
        const int h = login(server);
        QVERIFY(h > 0);
        QCOMPARE(NMailPop3Authenticate(h, servers_.user, servers_.password, apop), 1);
        MailTexts texts;
        QCOMPARE(NMailPop3GetMail(h, 1, texts), 1);
        QCOMPARE(texts.subject, QStringLiteral("第一番　霊山寺"));
        QCOMPARE(NMailPop3Close(h), 0);
    }

    void tlsWithUntrustedCertificateFails_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("POP3S") << servers_.pop3s();
        QTest::newRow("STLS") << servers_.pop3Stls();
    }
    void tlsWithUntrustedCertificateFails()
    {
        // Without the test CA the servers' certificate is not trusted: proof
        // that TLS really runs and is checked.
        QFETCH(QString, server);
        QTemporaryDir dir;
        const QString otherCa = dir.filePath(QStringLiteral("empty.pem"));
        writeFile(otherCa, QByteArray());
        qputenv("KORVANE_CA_FILE", QFile::encodeName(otherCa));
        const int h = NMailPop3Connect(server);
        servers_.trustCa();
        QCOMPARE(h, -1);
        QVERIFY2(NMailGetMessage().contains(QStringLiteral("証明書")) || NMailGetMessage().contains(QStringLiteral("暗号化")),
                 qPrintable(NMailGetMessage()));
    }

    void stlsRequiredButNotOffered()
    {
        // A server without STLS: the password must never be sent in clear.
        FakeServer fake("+OK ready <1.2@fake>\r\n", [](const QByteArray &line, int) -> FakeServer::Reply {
            if (line.toUpper() == "CAPA")
                return {"+OK\r\nUSER\r\nUIDL\r\nTOP\r\n.\r\n"};
            if (line.toUpper() == "QUIT")
                return {"+OK bye\r\n", false, true};
            return {"+OK\r\n"};
        });
        const int h = NMailPop3Connect(QStringLiteral("pop3://127.0.0.1:%1").arg(fake.port()));
        if (h > 0) {
            QVERIFY(NMailPop3Authenticate(h, QStringLiteral("u"), QStringLiteral("secret"), false) < 0);
            NMailPop3Close(h);
        }
        QVERIFY2(NMailGetMessage().contains(QStringLiteral("STLS")), qPrintable(NMailGetMessage()));
        for (const QByteArray &line : fake.received()) {
            QVERIFY2(!line.toUpper().startsWith("USER") && !line.toUpper().startsWith("PASS")
                         && !line.toUpper().startsWith("AUTH") && !line.toUpper().startsWith("APOP"),
                     line.constData());
        }
    }

    void refusingGreetingIsReported()
    {
        FakeServer fake("-ERR too many connections\r\n", [](const QByteArray &, int) -> FakeServer::Reply {
            return {"-ERR\r\n", false, true};
        });
        QCOMPARE(NMailPop3Connect(QStringLiteral("127.0.0.1:%1").arg(fake.port())), -1);
        QVERIFY2(NMailGetMessage().contains(QStringLiteral("too many connections")), qPrintable(NMailGetMessage()));
    }

    void silentServerEndsCallWithTimeout()
    {
        NMailSetOption(NMailOptionTimeoutSeconds, 2);
        FakeServer fake(QByteArray(), nullptr, true);
        QElapsedTimer t;
        t.start();
        QCOMPARE(NMailPop3Connect(QStringLiteral("127.0.0.1:%1").arg(fake.port())), -1);
        QVERIFY2(t.elapsed() < 10000, QByteArray::number(t.elapsed()).constData());
        QVERIFY2(NMailGetMessage().contains(QStringLiteral("タイムアウト")), qPrintable(NMailGetMessage()));
    }

    void serverStallingInMailEndsCall()
    {
        NMailSetOption(NMailOptionTimeoutSeconds, 2);
        FakeServer fake("+OK ready\r\n", [](const QByteArray &line, int) -> FakeServer::Reply {
            const QByteArray cmd = line.toUpper();
            if (cmd == "CAPA")
                return {"+OK\r\nUSER\r\nUIDL\r\n.\r\n"};
            if (cmd.startsWith("USER") || cmd.startsWith("PASS"))
                return {"+OK\r\n"};
            if (cmd == "LIST")
                return {"+OK\r\n1 5000\r\n.\r\n"};
            if (cmd == "UIDL")
                return {"+OK\r\n1 abc\r\n.\r\n"};
            if (cmd.startsWith("RETR"))
                return {"+OK\r\nSubject: half\r\n\r\nthe first part of the body", true};
            if (cmd == "QUIT")
                return {"+OK\r\n", false, true};
            return {"-ERR unknown\r\n"};
        });
        const int h = NMailPop3Connect(QStringLiteral("127.0.0.1:%1").arg(fake.port()));
        QVERIFY(h > 0);
        QCOMPARE(NMailPop3Authenticate(h, QStringLiteral("u"), QStringLiteral("p"), false), 1);
        QElapsedTimer t;
        t.start();
        MailTexts texts;
        QVERIFY(NMailPop3GetMail(h, 1, texts) < 0);
        QVERIFY2(t.elapsed() < 10000, QByteArray::number(t.elapsed()).constData());
        QVERIFY2(NMailGetMessage().contains(QStringLiteral("タイムアウト")), qPrintable(NMailGetMessage()));
        // The session is over: the rest fails at once instead of waiting again.
        t.restart();
        QVERIFY(NMailPop3DeleteMail(h, 1) < 0);
        QVERIFY(NMailPop3Close(h) < 0);
        QVERIFY2(t.elapsed() < 1000, QByteArray::number(t.elapsed()).constData());
    }

    // What a server sends is a mail only when its terminating line came: a
    // connection that ends in the middle of one gives no file, ends the
    // session, and no QUIT can make a deletion take effect.
    void mailCutInTheMiddleIsNeverWhole()
    {
        MisbehavingPop3 pop({mailBytes("one"), mailBytes("two")}, {QStringLiteral("--cut"), QStringLiteral("2")});
        QVERIFY(pop.ok());
        QTemporaryDir dir;
        const int h = NMailPop3Connect(pop.address());
        QVERIFY(h > 0);
        QCOMPARE(NMailPop3Authenticate(h, QStringLiteral("u"), QStringLiteral("p"), false), 2);
        QCOMPARE(NMailPop3RetrieveToFile(h, 1, dir.filePath(QStringLiteral("1"))), 1);
        QCOMPARE(NMailPop3DeleteMail(h, 1), 1);
        QCOMPARE(NMailPop3RetrieveToFile(h, 2, dir.filePath(QStringLiteral("2"))), -1);
        QVERIFY2(NMailGetMessage().contains(QStringLiteral("途中で切れました")), qPrintable(NMailGetMessage()));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("2"))));
        QVERIFY(NMailPop3Close(h) < 0);
        QVERIFY(!pop.commands().contains(QStringLiteral("QUIT")));
        QCOMPARE(pop.mailboxCount(), 2);
    }

    // Mails asked for ahead (where the server allows commands in a row)
    // arrive whole and byte for byte, whatever command comes in between; a
    // connection cut while one is on its way gives no mail and no QUIT.
    void mailsAskedAheadArriveWholeInOrder()
    {
        const QByteArray tricky = "Subject: dots\r\n\r\n.\r\n..\r\nbare\nlf\r\n";
        MisbehavingPop3 pop({mailBytes("one"), tricky, mailBytes("three")}, {QStringLiteral("--pipelining")});
        QVERIFY(pop.ok());
        const int h = NMailPop3Connect(pop.address());
        QCOMPARE(NMailPop3Authenticate(h, QStringLiteral("u"), QStringLiteral("p"), false), 3);
        QCOMPARE(NMailPop3RetrieveAhead(h, 1), 1);
        QCOMPARE(NMailPop3RetrieveAhead(h, 2), 1);
        QCOMPARE(NMailPop3RetrieveAhead(h, 3), 0);  // two ahead at most
        QCOMPARE(NMailPop3DeleteMail(h, 1), 1);     // the answers ahead are read first
        QByteArray bytes;
        QCOMPARE(NMailPop3RetrieveToMemory(h, 1, bytes), 1);
        QCOMPARE(bytes, mailBytes("one"));
        QCOMPARE(NMailPop3RetrieveToMemory(h, 2, bytes), 1);
        QCOMPARE(bytes, tricky);
        QCOMPARE(NMailPop3RetrieveToMemory(h, 3, bytes), 1);
        QCOMPARE(bytes, mailBytes("three"));
        QCOMPARE(NMailPop3Close(h), 0);
        QCOMPARE(pop.mailboxCount(), 2);
        // After libcurl's login (which asks CAPA too), the session's own.
        const QStringList commands = pop.commands();
        QCOMPARE(commands.mid(commands.lastIndexOf("CAPA")),
                 QStringList({"CAPA", "RETR 1", "RETR 2", "DELE 1", "RETR 3", "QUIT"}));
    }
    // The DELE waited for, or sent ahead: either way its answer is lost
    // with the connection, and that is said.
    void cutWhileAskedAheadIsNeverWhole_data()
    {
        QTest::addColumn<bool>("deleteAhead");
        QTest::newRow("DELE waited for") << false;
        QTest::newRow("DELE sent ahead") << true;
    }
    void cutWhileAskedAheadIsNeverWhole()
    {
        QFETCH(bool, deleteAhead);
        MisbehavingPop3 pop({mailBytes("one"), mailBytes("two")},
                            {QStringLiteral("--pipelining"), QStringLiteral("--cut"), QStringLiteral("2")});
        QVERIFY(pop.ok());
        const int h = NMailPop3Connect(pop.address());
        QCOMPARE(NMailPop3Authenticate(h, QStringLiteral("u"), QStringLiteral("p"), false), 2);
        QCOMPARE(NMailPop3RetrieveAhead(h, 1), 1);
        QCOMPARE(NMailPop3RetrieveAhead(h, 2), 1);
        QByteArray bytes;
        QCOMPARE(NMailPop3RetrieveToMemory(h, 1, bytes), 1);
        QCOMPARE(bytes, mailBytes("one"));
        if (deleteAhead) {
            QCOMPARE(NMailPop3DeleteAhead(h, 1), 1);
            QCOMPARE(NMailPop3DeleteOutcome(h, 1), -1);
            QCOMPARE(NMailPop3DeleteAhead(h, 1), 0);  // the session has ended
        } else {
            QCOMPARE(NMailPop3DeleteMail(h, 1), -1);
        }
        QVERIFY2(NMailGetMessage().contains(QStringLiteral("途中で切れました")), qPrintable(NMailGetMessage()));
        QCOMPARE(NMailPop3RetrieveToMemory(h, 2, bytes), -1);
        QVERIFY(bytes.isEmpty());
        QVERIFY(NMailPop3Close(h) < 0);
        QVERIFY(!pop.commands().contains(QStringLiteral("QUIT")));
        QCOMPARE(pop.mailboxCount(), 2);
    }
    // DELEs sent ahead are answered in turn with the mails asked for: a
    // refusal leaves the session going, and QUIT takes the last answers
    // first.
    void deletesSentAheadAreAnsweredInTurn()
    {
        MisbehavingPop3 pop({mailBytes("one"), mailBytes("two"), mailBytes("three")},
                            {QStringLiteral("--pipelining"), QStringLiteral("--refuse-dele"), QStringLiteral("2")});
        QVERIFY(pop.ok());
        int h = NMailPop3Connect(pop.address());
        QCOMPARE(NMailPop3Authenticate(h, QStringLiteral("u"), QStringLiteral("p"), false), 3);
        QCOMPARE(NMailPop3RetrieveAhead(h, 2), 1);
        QCOMPARE(NMailPop3DeleteAhead(h, 1), 1);
        QCOMPARE(NMailPop3DeleteAhead(h, 2), 1);
        QCOMPARE(NMailPop3RetrieveAhead(h, 3), 1);
        QCOMPARE(NMailPop3DeleteOutcome(h, 2), -2);
        QVERIFY(NMailGetMessage().contains(QStringLiteral("cannot be deleted")));
        QCOMPARE(NMailPop3DeleteOutcome(h, 1), 1);
        QByteArray bytes;
        QCOMPARE(NMailPop3RetrieveToMemory(h, 2, bytes), 1);
        QCOMPARE(bytes, mailBytes("two"));
        QCOMPARE(NMailPop3RetrieveToMemory(h, 3, bytes), 1);
        QCOMPARE(bytes, mailBytes("three"));
        QCOMPARE(NMailPop3DeleteAhead(h, 3), 1);
        QCOMPARE(NMailPop3Close(h), 0);
        QCOMPARE(pop.mailboxCount(), 1);
        const QStringList commands = pop.commands();
        QCOMPARE(commands.mid(commands.lastIndexOf("CAPA")),
                 QStringList({"CAPA", "RETR 2", "DELE 1", "DELE 2", "RETR 3", "DELE 3", "QUIT"}));

        // A DELE sent ahead first thing asks the server whether it may.
        QVERIFY(pop.restart({QStringLiteral("--pipelining")}));
        h = NMailPop3Connect(pop.address());
        QCOMPARE(NMailPop3Authenticate(h, QStringLiteral("u"), QStringLiteral("p"), false), 1);
        QCOMPARE(NMailPop3DeleteAhead(h, 1), 1);
        QCOMPARE(NMailPop3DeleteOutcome(h, 1), 1);
        QCOMPARE(NMailPop3Close(h), 0);
        QCOMPARE(pop.mailboxCount(), 0);
    }
    void noMailAskedAheadWithoutPipelining()
    {
        MisbehavingPop3 pop({mailBytes("one")}, {});
        QVERIFY(pop.ok());
        const int h = NMailPop3Connect(pop.address());
        QCOMPARE(NMailPop3Authenticate(h, QStringLiteral("u"), QStringLiteral("p"), false), 1);
        QCOMPARE(NMailPop3RetrieveAhead(h, 1), 0);
        QCOMPARE(NMailPop3RetrieveAhead(h, 1), 0);
        QByteArray bytes;
        QCOMPARE(NMailPop3RetrieveToMemory(h, 1, bytes), 1);
        QCOMPARE(bytes, mailBytes("one"));
        QCOMPARE(NMailPop3Close(h), 0);
        const QStringList commands = pop.commands();
        QCOMPARE(commands.mid(commands.lastIndexOf("CAPA")), QStringList({"CAPA", "RETR 1", "QUIT"}));
        QCOMPARE(commands.count(QStringLiteral("RETR 1")), 1);
    }

    // The file holds the mail byte for byte: dot-stuffing undone, lines that
    // are only dots, bare LFs and a missing last line break as they were;
    // also when the answer comes in small pieces, so that line breaks and
    // dots fall at the ends of what has come.
    void retrievedMailIsByteForByte_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("at once") << QStringList();
        QTest::newRow("in pieces") << QStringList{QStringLiteral("--in-pieces")};
    }
    void retrievedMailIsByteForByte()
    {
        QFETCH(QStringList, options);
        const QByteArray tricky = "Subject: dots\r\n\r\n.\r\n..\r\n.hidden\r\nbare\nlf\r\n\r\n\xE3\x81\x82 end\r\n";
        MisbehavingPop3 pop({tricky, mailBytes("plain")}, options);
        QVERIFY(pop.ok());
        QTemporaryDir dir;
        const int h = NMailPop3Connect(pop.address());
        QCOMPARE(NMailPop3Authenticate(h, QStringLiteral("u"), QStringLiteral("p"), false), 2);
        QCOMPARE(NMailPop3RetrieveToFile(h, 1, dir.filePath(QStringLiteral("1"))), 1);
        QCOMPARE(readFile(dir.filePath(QStringLiteral("1"))), tricky);
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("1"))).permissions() & 0x0077, QFileDevice::Permissions());
        QCOMPARE(NMailPop3RetrieveToFile(h, 2, dir.filePath(QStringLiteral("2"))), 1);
        QCOMPARE(readFile(dir.filePath(QStringLiteral("2"))), mailBytes("plain"));
        QCOMPARE(NMailPop3Close(h), 0);
    }

    // A refused DELE leaves the session as it was: the next one goes through.
    void refusedDeleteKeepsTheSession()
    {
        MisbehavingPop3 pop({mailBytes("one"), mailBytes("two")}, {QStringLiteral("--refuse-dele"), QStringLiteral("1")});
        QVERIFY(pop.ok());
        const int h = NMailPop3Connect(pop.address());
        QCOMPARE(NMailPop3Authenticate(h, QStringLiteral("u"), QStringLiteral("p"), false), 2);
        QCOMPARE(NMailPop3DeleteMail(h, 1), -2);
        QVERIFY(NMailGetMessage().contains(QStringLiteral("cannot be deleted")));
        QCOMPARE(NMailPop3DeleteMail(h, 2), 1);
        QCOMPARE(NMailPop3Close(h), 0);
        QCOMPARE(pop.mailboxCount(), 1);
    }

    // A server that trickles its bytes is held to a deadline, not only to a
    // timeout on silence; and a cancel ends a call at once.
    void tricklingServerMeetsItsDeadline()
    {
        NMailSetOption(NMailOptionTimeoutSeconds, 1);
        MisbehavingPop3 pop({mailBytes(QByteArray(2000, 'x'))}, {QStringLiteral("--trickle")});
        QVERIFY(pop.ok());
        QTemporaryDir dir;
        const int h = NMailPop3Connect(pop.address());
        QCOMPARE(NMailPop3Authenticate(h, QStringLiteral("u"), QStringLiteral("p"), false), 1);
        QElapsedTimer t;
        t.start();
        QCOMPARE(NMailPop3RetrieveToFile(h, 1, dir.filePath(QStringLiteral("1"))), -1);
        QVERIFY2(t.elapsed() < 4000, QByteArray::number(t.elapsed()).constData());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("1"))));
        NMailPop3Close(h);

        NMailSetOption(NMailOptionTimeoutSeconds, 20);
        const int h2 = NMailPop3Connect(pop.address());
        QCOMPARE(NMailPop3Authenticate(h2, QStringLiteral("u"), QStringLiteral("p"), false), 1);
        std::thread canceller([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            NMailPop3CancelAll();
        });
        t.restart();
        QCOMPARE(NMailPop3RetrieveToFile(h2, 1, dir.filePath(QStringLiteral("2"))), -1);
        canceller.join();
        QVERIFY2(t.elapsed() < 2000, QByteArray::number(t.elapsed()).constData());
        QVERIFY(NMailGetMessage().contains(QStringLiteral("中止")));
        QVERIFY(NMailPop3Close(h2) < 0);

        // A server that announces a huge mail and trickles it is held to the
        // longest transfer, not to 40 MB at the slowest rate (40 minutes).
        MisbehavingPop3 huge({mailBytes(QByteArray(2000, 'x'))},
                             {QStringLiteral("--trickle"), QStringLiteral("--huge-size")});
        QVERIFY(huge.ok());
        NMailSetOption(NMailOptionTimeoutSeconds, 1);
        NMailSetOption(NMailOptionLongestTransferSeconds, 1);
        const int h3 = NMailPop3Connect(huge.address());
        QCOMPARE(NMailPop3Authenticate(h3, QStringLiteral("u"), QStringLiteral("p"), false), 1);
        t.restart();
        QCOMPARE(NMailPop3RetrieveToFile(h3, 1, dir.filePath(QStringLiteral("3"))), -1);
        QVERIFY2(t.elapsed() < 5000, QByteArray::number(t.elapsed()).constData());
        NMailPop3Close(h3);
        NMailSetOption(NMailOptionLongestTransferSeconds, 600);
        NMailSetOption(NMailOptionTimeoutSeconds, 20);
        QCOMPARE(pop.mailboxCount(), 1);
    }

    // A mail above the size limit is read to its end and dropped, whether
    // LIST told its size or lied about it; the session goes on.
    void mailAboveTheLimitIsLeft_data()
    {
        QTest::addColumn<bool>("lie");
        QTest::newRow("size listed") << false;
        QTest::newRow("LIST lies") << true;
    }
    void mailAboveTheLimitIsLeft()
    {
        QFETCH(bool, lie);
        NMailSetOption(NMailOptionMaxMailMegabytes, 1);
        auto restore = qScopeGuard([] { NMailSetOption(NMailOptionMaxMailMegabytes, 50); });
        QByteArray big;
        while (big.size() < 1500 * 1024)
            big += QByteArray(76, 'b') + "\r\n";
        MisbehavingPop3 pop({mailBytes(big), mailBytes("small")},
                            lie ? QStringList{QStringLiteral("--lie-size")} : QStringList{});
        QVERIFY(pop.ok());
        QTemporaryDir dir;
        const int h = NMailPop3Connect(pop.address());
        QCOMPARE(NMailPop3Authenticate(h, QStringLiteral("u"), QStringLiteral("p"), false), 2);
        QCOMPARE(NMailPop3RetrieveToFile(h, 1, dir.filePath(QStringLiteral("1"))), -3);
        QVERIFY(NMailGetMessage().contains(QStringLiteral("大きすぎる")));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("1"))));
        QCOMPARE(pop.commands().contains(QStringLiteral("RETR 1")), lie);
        QCOMPARE(NMailPop3RetrieveToFile(h, 2, dir.filePath(QStringLiteral("2"))), 1);
        QCOMPARE(NMailPop3Close(h), 0);
    }

    void threeMailsInServerOrderGoneAfterDeleteAndClose()
    {
        const QStringList subjects = {QStringLiteral("第一番　霊山寺"), QStringLiteral("第二番　極楽寺"),
                                      QStringLiteral("第三番　金泉寺")};
        const QStringList bodies = {QStringLiteral("一通目"), QStringLiteral("二通目～"), QStringLiteral("三通目")};
        for (int i = 0; i < 3; ++i)
            QVERIFY(servers_.deliver(japaneseMail(subjects[i], bodies[i], "m" + QByteArray::number(i))));

        const int h = login(servers_.pop3Plain());
        QVERIFY(h > 0);
        QCOMPARE(NMailPop3Authenticate(h, servers_.user, servers_.password, false), 3);
        QStringList uidls;
        for (int n = 1; n <= 3; ++n) {
            MailTexts status;
            QCOMPARE(NMailPop3GetMailStatus(h, n, status), 1);
            QCOMPARE(status.subject, subjects[n - 1]);
            QVERIFY(status.body.isEmpty());
            QVERIFY(NMailPop3GetMailSize(h, n) > 100);
            MailTexts texts;
            QCOMPARE(NMailPop3GetMail(h, n, texts), 1);
            QCOMPARE(texts.subject, subjects[n - 1]);
            QCOMPARE(texts.from, QStringLiteral("お遍路 <henro@example.jp>"));
            QCOMPARE(texts.date, QStringLiteral("Tue, 02 Dec 2025 09:15:00 +0900"));
            QVERIFY(texts.header.startsWith(QStringLiteral("From: =?ISO-2022-JP?B?")));
            QVERIFY(texts.header.contains(QStringLiteral("\r\nMessage-ID: <m%1@example.jp>").arg(n - 1)));
            QCOMPARE(texts.body, bodies[n - 1] + QStringLiteral("\r\n"));
            QVERIFY(NMailPop3GetRawMail(h).contains("Message-ID: <m" + QByteArray::number(n - 1)));
            uidls << NMailPop3GetUidl(h, n);
            QVERIFY(!uidls.last().isEmpty());
            QCOMPARE(NMailPop3DeleteMail(h, n), 1);
        }
        QCOMPARE(QSet<QString>(uidls.begin(), uidls.end()).size(), 3);
        QCOMPARE(servers_.maildirCount(), 3);  // deletions wait for QUIT
        QCOMPARE(NMailPop3Close(h), 0);
        QCOMPARE(servers_.maildirCount(), 0);

        const int again = login(servers_.pop3Plain());
        QCOMPARE(NMailPop3Authenticate(again, servers_.user, servers_.password, false), 0);
        QCOMPARE(NMailPop3Close(again), 0);
    }

    void mailStaysWhenNotDeleted()
    {
        QVERIFY(servers_.deliver(japaneseMail(QStringLiteral("残る"), QStringLiteral("本文"), "keep")));
        const int h = login(servers_.pop3Plain());
        QCOMPARE(NMailPop3Authenticate(h, servers_.user, servers_.password, false), 1);
        MailTexts texts;
        QCOMPARE(NMailPop3GetMail(h, 1, texts), 1);
        QCOMPARE(NMailPop3Close(h), 0);
        QCOMPARE(servers_.maildirCount(), 1);
    }

    void callsOnUnknownHandlesFail()
    {
        MailTexts texts;
        QVERIFY(NMailPop3GetMail(12345, 1, texts) < 0);
        QVERIFY(NMailPop3DeleteMail(12345, 1) < 0);
        QVERIFY(NMailPop3Close(12345) < 0);
        const int h = login(servers_.pop3Plain());
        QVERIFY(NMailPop3GetMail(h, 1, texts) < 0);  // not logged in
        QCOMPARE(NMailPop3Close(h), 0);
    }

    void attachmentLandsInFolderWithDecodedName()
    {
        const QByteArray content = "十番切幡寺へ\r\n";
        QVERIFY(servers_.deliver(
            mailWithAttachment("filename*=UTF-8''%E9%9C%8A%E5%B1%B1%E5%AF%BA.txt", content)));
        const int h = login(servers_.pop3s());
        QCOMPARE(NMailPop3Authenticate(h, servers_.user, servers_.password, false), 1);
        MailTexts texts;
        QCOMPARE(NMailPop3GetMail(h, 1, texts), 1);
        QVERIFY(texts.body.contains(QStringLiteral("Content-Disposition: attachment")));
        QTemporaryDir folder;
        const QString workFile = folder.filePath(QStringLiteral("0.txt"));
        writeFile(workFile, "work");
        QCOMPARE(NMailAttachmentFileFirst(texts, folder.path() + QLatin1Char('/'), workFile, NMailPop3GetRawMail(h)), 1);
        const QStringList saved = NMailAttachmentSavedFiles();
        NMailAttachmentFileClose();
        QCOMPARE(saved, QStringList{QDir(folder.path()).absoluteFilePath(QStringLiteral("霊山寺.txt"))});
        QCOMPARE(readFile(saved.first()), content);
        QCOMPARE(readFile(workFile), QByteArray("work"));
        QCOMPARE(texts.body, QStringLiteral("本文です。"));
        QCOMPARE(texts.subject, QStringLiteral("attached"));
        QCOMPARE(NMailPop3DeleteMail(h, 1), 1);
        QCOMPARE(NMailPop3Close(h), 0);
        QCOMPARE(servers_.maildirCount(), 0);
    }

    void twentyMegabyteMailWithoutManyCopies()
    {
        // 15 MB of attachment, about 20 MB of mail.
        qint64 rawSize = 0;
        QByteArray digest;
        {
            QByteArray data(15 * 1024 * 1024, Qt::Uninitialized);
            QRandomGenerator gen(42);
            gen.fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
            digest = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
            QByteArray b64 = data.toBase64();
            data = QByteArray();
            QByteArray folded;
            folded.reserve(b64.size() + b64.size() / 38);
            for (qsizetype i = 0; i < b64.size(); i += 76)
                folded += b64.mid(i, 76) + "\r\n";
            b64 = QByteArray();
            const QByteArray mail = "From: big@example.jp\r\nSubject: big\r\nMIME-Version: 1.0\r\n"
                                    "Content-Type: multipart/mixed; boundary=zz\r\n\r\n--zz\r\n"
                                    "Content-Type: text/plain\r\n\r\nbig one\r\n--zz\r\n"
                                    "Content-Type: application/octet-stream; name=big.bin\r\n"
                                    "Content-Transfer-Encoding: base64\r\n\r\n"
                                    + folded + "--zz--\r\n";
            rawSize = mail.size();
            QVERIFY(servers_.deliver(mail));
        }
        const int h = login(servers_.pop3Plain());
        QCOMPARE(NMailPop3Authenticate(h, servers_.user, servers_.password, false), 1);
        QTemporaryDir folder;
        if (!resetPeakRss())
            QSKIP("the peak memory of this process cannot be reset here");
        const qint64 before = procStatusKb("VmRSS:");
        {
            MailTexts texts;
            QCOMPARE(NMailPop3GetMail(h, 1, texts), 1);
            QCOMPARE(NMailAttachmentFileFirst(texts, folder.path(), folder.filePath(QStringLiteral("0.txt")),
                                              NMailPop3GetRawMail(h)),
                     1);
            QCOMPARE(texts.body, QStringLiteral("big one"));
        }
        const qint64 growth = (procStatusKb("VmHWM:") - before) * 1024;
        qInfo("mail of %lld bytes, peak memory growth %lld bytes (%.1f times)", rawSize, growth,
              double(growth) / double(rawSize));
        // The raw mail, its body section as text (two bytes a character) and
        // little else.
        QVERIFY2(growth < 5 * rawSize, QByteArray::number(double(growth) / double(rawSize)).constData());
        const QStringList saved = NMailAttachmentSavedFiles();
        QCOMPARE(saved.size(), 1);
        QFile f(saved.first());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256), digest);
        QCOMPARE(NMailPop3DeleteMail(h, 1), 1);
        QCOMPARE(NMailPop3Close(h), 0);
    }

    // ------------------------------------------------------------ SMTP

    void sendArrivesDecodingToWhatWasSent_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("charset");
        QTest::newRow("JIS") << QStringLiteral("霊山寺") << QByteArray("ISO-2022-JP");
        QTest::newRow("CP932 forms") << QStringLiteral("一番～二番－①") << QByteArray("UTF-8");
        // The Windows form of the wave dash would arrive as 〜 in ISO-2022-JP.
        QTest::newRow("wave dash only") << QStringLiteral("一番～二番") << QByteArray("UTF-8");
        QTest::newRow("emoji") << QStringLiteral("😀") << QByteArray("UTF-8");
        QTest::newRow("IBM extension") << QStringLiteral("髙") << QByteArray("UTF-8");
        QTest::newRow("half-width kana") << QStringLiteral("ｱｲｳ") << QByteArray("UTF-8");
        QTest::newRow("line of 3000 bytes, leading dot")
            << QStringLiteral("寺") + QStringLiteral("x").repeated(3000) + QStringLiteral("\r\n.\r\n..二重")
            << QByteArray("ISO-2022-JP");
    }
    void sendArrivesDecodingToWhatWasSent()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, charset);
        const QString subject = QStringLiteral("件名 ") + text;
        const QString body = QStringLiteral("本文 ") + text + QStringLiteral("\r\n二行目");
        QCOMPARE(NMailSmtpSendMail(servers_.smtpPlain(), QStringLiteral("pilgrim@example.jp"),
                                   QStringLiteral("henro@example.jp"), subject, body, QString()),
                 0);
        const QList<SpooledMail> mails = servers_.waitForSpooled(1);
        QCOMPARE(mails.size(), 1);
        const QByteArray raw = mails.first().content;
        QVERIFY2(raw.contains("Subject: =?" + charset + "?B?"), raw.constData());
        QVERIFY(raw.contains("charset=" + charset));
        QCOMPARE(mails.first().recipients, QStringList{QStringLiteral("pilgrim@example.jp")});
        QCOMPARE(mails.first().envelopeFrom, QStringLiteral("henro@example.jp"));
        QVERIFY(!raw.contains("\n\n") && raw.count('\n') == raw.count("\r\n"));
        for (const char *h : {"\r\nDate: ", "\r\nMessage-ID: <", "\r\nMIME-Version: 1.0\r\n", "From: henro@example.jp"})
            QVERIFY2(raw.contains(h), h);
        const mime::ReceivedTexts back = mime::messageTexts(raw);
        // A line break cannot be part of a subject: it is sent as a space.
        QCOMPARE(back.subject, QString(subject).replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
        QCOMPARE(back.body, body + QStringLiteral("\r\n"));
    }

    void sendEncryptedAndAuthenticated_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("listener");
        QTest::newRow("submission with STARTTLS") << servers_.smtpSubmission() << QStringLiteral("submission");
        QTest::newRow("SMTPS") << servers_.smtps() << QStringLiteral("smtps");
    }
    void sendEncryptedAndAuthenticated()
    {
        QFETCH(QString, server);
        QFETCH(QString, listener);
        settings::accountCredentials() = {servers_.user, servers_.password};
        QCOMPARE(NMailSmtpSendMail(server, QStringLiteral("a@example.jp"), QStringLiteral("b@example.jp"),
                                   QStringLiteral("s"), QStringLiteral("b"), QString()),
                 0);
        const QList<SpooledMail> mails = servers_.waitForSpooled(1);
        QCOMPARE(mails.size(), 1);
        QCOMPARE(mails.first().listener, listener);
        QVERIFY(mails.first().tls);
        QCOMPARE(mails.first().authUser, servers_.user);
    }

    void sendWithWrongPasswordFails()
    {
        settings::accountCredentials() = {servers_.user, QStringLiteral("wrong")};
        QVERIFY(NMailSmtpSendMail(servers_.smtps(), QStringLiteral("a@example.jp"), QStringLiteral("b@example.jp"),
                                  QStringLiteral("s"), QStringLiteral("b"), QString())
                < 0);
        QVERIFY2(NMailGetMessage().contains(QStringLiteral("認証")), qPrintable(NMailGetMessage()));
        QVERIFY(servers_.spooled().isEmpty());
    }

    void sendWithTwoAttachments()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("納経帳.txt"));
        const QString b = dir.filePath(QStringLiteral("map.bin"));
        QByteArray binary(70000, Qt::Uninitialized);
        for (qsizetype i = 0; i < binary.size(); ++i)
            binary[i] = char(i * 7 + 3);
        writeFile(a, QStringLiteral("御朱印\r\n").toUtf8());
        writeFile(b, binary);
        QCOMPARE(NMailSmtpSendMail(servers_.smtpPlain(), QStringLiteral("pilgrim@example.jp"),
                                   QStringLiteral("henro@example.jp"), QStringLiteral("添付二つ"),
                                   QStringLiteral("二つあります"), a + QLatin1Char(',') + b),
                 0);
        const QList<SpooledMail> mails = servers_.waitForSpooled(1);
        QCOMPARE(mails.size(), 1);
        QTemporaryDir out;
        const mime::Extraction ex = mime::extractAttachments(mails.first().content, out.path());
        QCOMPARE(ex.result, 1);
        QCOMPARE(ex.texts.body, QStringLiteral("二つあります"));
        QCOMPARE(ex.savedFiles.size(), 2);
        QCOMPARE(QFileInfo(ex.savedFiles[0]).fileName(), QStringLiteral("納経帳.txt"));
        QCOMPARE(readFile(ex.savedFiles[0]), QStringLiteral("御朱印\r\n").toUtf8());
        QCOMPARE(QFileInfo(ex.savedFiles[1]).fileName(), QStringLiteral("map.bin"));
        QCOMPARE(readFile(ex.savedFiles[1]), binary);
    }

    void startTlsRequiredButNotOffered()
    {
        // "smtp://" asks for STARTTLS: without it nothing of the mail or the
        // account may leave in clear.
        FakeServer fake("220 fake ESMTP\r\n", [](const QByteArray &line, int) -> FakeServer::Reply {
            const QByteArray cmd = line.toUpper();
            if (cmd.startsWith("EHLO"))
                return {"250-fake\r\n250 AUTH PLAIN LOGIN\r\n"};
            if (cmd == "QUIT")
                return {"221 bye\r\n", false, true};
            return {"250 ok\r\n"};
        });
        settings::accountCredentials() = {servers_.user, servers_.password};
        QVERIFY(NMailSmtpSendMail(QStringLiteral("smtp://127.0.0.1:%1").arg(fake.port()), QStringLiteral("a@example.jp"),
                                  QStringLiteral("b@example.jp"), QStringLiteral("s"), QStringLiteral("b"), QString())
                < 0);
        QVERIFY2(NMailGetMessage().contains(QStringLiteral("STARTTLS")), qPrintable(NMailGetMessage()));
        for (const QByteArray &line : fake.received())
            QVERIFY2(line.toUpper().startsWith("EHLO") || line.toUpper().startsWith("QUIT"), line.constData());
    }

    void sendRefusals_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("attachments");
        QTest::addColumn<QString>("expected");
        QTest::newRow("refused recipient") << servers_.smtpPlain() << QStringLiteral("reject-me@example.jp")
                                           << QString() << QStringLiteral("550");
        QTest::newRow("missing attachment") << servers_.smtpPlain() << QStringLiteral("a@example.jp")
                                            << QStringLiteral("/nonexistent/札所.txt") << QStringLiteral("札所.txt");
        QTest::newRow("nothing listening") << QStringLiteral("127.0.0.1:%1").arg(MailServers::unusedPort())
                                           << QStringLiteral("a@example.jp") << QString()
                                           << QStringLiteral("接続できません");
        QTest::newRow("no recipient") << servers_.smtpPlain() << QStringLiteral(" , ") << QString()
                                      << QStringLiteral("宛先");
        QTest::newRow("header injection") << servers_.smtpPlain() << QStringLiteral("a@example.jp\r\nBcc: x@example.jp")
                                          << QString() << QStringLiteral("正しくありません");
        QTest::newRow("AUTH required, none offered in clear")
            << QStringLiteral("127.0.0.1:%1").arg(servers_.submissionPort) << QStringLiteral("a@example.jp")
            << QString() << QStringLiteral("530");
    }
    void sendRefusals()
    {
        QFETCH(QString, server);
        QFETCH(QString, to);
        QFETCH(QString, attachments);
        QFETCH(QString, expected);
        settings::accountCredentials() = {servers_.user, servers_.password};
        QVERIFY(NMailSmtpSendMail(server, to, QStringLiteral("henro@example.jp"), QStringLiteral("s"),
                                  QStringLiteral("b"), attachments)
                < 0);
        QVERIFY2(NMailGetMessage().contains(expected), qPrintable(NMailGetMessage()));
        QVERIFY(servers_.spooled().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTransport)
#include "test_transport.moc"
