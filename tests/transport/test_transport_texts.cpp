// Server names, and the sentences a failed call ends in: Japanese first,
// the library's English only as a detail at the end.
#include "transport/transport_common.h"

#include <QRegularExpression>
#include <QTest>

using namespace korvane::nmail::transport;

class TestTransportTexts : public QObject {
    Q_OBJECT
private slots:
    void serverNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("smtp");
        QTest::addColumn<QByteArray>("url");
        QTest::newRow("995 means TLS") << "pop.example.jp:995" << false << QByteArray("pop3s://pop.example.jp:995/");
        QTest::newRow("465 means TLS") << "smtp.example.jp:465" << true << QByteArray("smtps://smtp.example.jp:465/");
        QTest::newRow("scheme first") << "pop3://pop.example.jp:995" << false << QByteArray("pop3://pop.example.jp:995/");
    }
    void serverNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, smtp);
        QFETCH(QByteArray, url);
        ServerAddress address;
        QString error;
        QVERIFY2(parseServer(name, smtp ? Protocol::Smtp : Protocol::Pop3, address, error), qPrintable(error));
        QCOMPARE(address.url, url);
    }

    void failureTexts_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("library");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("said");
        QTest::newRow("refused") << "127.0.0.1:1" << int(CURLE_COULDNT_CONNECT) << QByteArray("Couldn't connect to server")
                                 << QByteArray() << "接続できません";
        QTest::newRow("plain on the TLS port") << "pop3://127.0.0.1:995" << int(CURLE_OPERATION_TIMEDOUT)
                                               << QByteArray("server response timeout") << QByteArray()
                                               << "「pop3s://127.0.0.1:995」";
        QTest::newRow("server refused") << "127.0.0.1:2110" << int(CURLE_RECV_ERROR) << QByteArray("RETR failed")
                                        << QByteArray("-ERR mailbox locked") << "-ERR mailbox locked";
        QTest::newRow("unknown code") << "127.0.0.1:2110" << int(CURLE_BAD_CONTENT_ENCODING)
                                      << QByteArray("Unrecognized content encoding type") << QByteArray()
                                      << "エラーが起きました";
    }
    void failureTexts()
    {
        QFETCH(QString, server);
        QFETCH(int, code);
        QFETCH(QByteArray, library);
        QFETCH(QByteArray, reply);
        QFETCH(QString, said);
        ServerAddress address;
        QString error;
        QVERIFY(parseServer(server, Protocol::Pop3, address, error));
        ReplyLog log;
        log.lastError = reply;
        const QString text = describeFailure(CURLcode(code), library.constData(), log, address, Protocol::Pop3);
        QVERIFY2(text.contains(said), qPrintable(text));
        // The first line is Japanese: apart from the names, no Latin words.
        QString first = text.section(u'\n', 0, 0).remove(QStringLiteral("POP3")).remove(address.shown);
        QVERIFY2(!first.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))), qPrintable(text));
        QVERIFY2(text.endsWith(QStringLiteral("\n（詳細: %1）").arg(QString::fromUtf8(library))), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestTransportTexts)

#include "test_transport_texts.moc"
