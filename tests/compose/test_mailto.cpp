// mailto: links as the desktop hands them over: what reaches the compose
// window, and what a hostile link cannot do.
#include "compose/mailto.h"

#include <QTest>

using namespace korvane::compose;

class TestMailto : public QObject {
    Q_OBJECT

private slots:
    void parsesLinks_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QStringList>("to");
        QTest::addColumn<QStringList>("cc");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("body");

        QTest::newRow("bare address") << "mailto:taro@example.jp" << QStringList{"taro@example.jp"}
                                      << QStringList{} << "" << "";
        QTest::newRow("scheme in capitals") << "MAILTO:taro@example.jp" << QStringList{"taro@example.jp"}
                                            << QStringList{} << "" << "";
        QTest::newRow("several addresses, to and cc fields")
            << "mailto:a@example.jp,%20b@example.jp?To=c@example.jp&cc=d@example.jp,e@example.jp"
            << QStringList{"a@example.jp", "b@example.jp", "c@example.jp"}
            << QStringList{"d@example.jp", "e@example.jp"} << "" << "";
        QTest::newRow("percent-encoded UTF-8, plus stays a plus")
            << "mailto:?to=taro%2Bml@example.jp&subject=%E3%81%8A%E9%81%8D%E8%B7%AF+1&body=%E7%AC%AC1%E7%95%AA"
               "%0D%0A%E9%9C%8A%E5%B1%B1%E5%AF%BA%0A%0D%09end"
            << QStringList{"taro+ml@example.jp"} << QStringList{} << "お遍路+1"
            << "第1番\n霊山寺\n\n\tend";
        QTest::newRow("unknown fields, bcc and attachments ignored")
            << "mailto:taro@example.jp?bcc=spy@example.com&attach=/home/u/.ssh/id_rsa&attachment=%2Fetc%2Fpasswd"
               "&X-Mailer=x&in-reply-to=%3Cx%40y%3E&subject=hi"
            << QStringList{"taro@example.jp"} << QStringList{} << "hi" << "";
        QTest::newRow("first subject and body win, fragment dropped")
            << "mailto:taro@example.jp?subject=one&subject=two&body=a&body=b#frag&subject=three"
            << QStringList{"taro@example.jp"} << QStringList{} << "one" << "a";
        QTest::newRow("line breaks cannot forge header lines")
            << "mailto:taro@example.jp%0D%0ABcc:%20spy@example.com?subject=hi%0D%0ABcc:%20spy@example.com%00%1B"
            << QStringList{"taro@example.jp Bcc: spy@example.com"} << QStringList{}
            << "hi Bcc: spy@example.com" << "";
        QTest::newRow("bytes that are not UTF-8, broken escapes, NUL in the body")
            << "mailto:?subject=%FF%FEx&body=%ZZ%4%00ok%7F"
            << QStringList{} << QStringList{} << QString::fromUtf16(u"\uFFFD\uFFFDx") << "%ZZ%4ok";
        QTest::newRow("empty parts") << "mailto:,,?&&=&subject&body=" << QStringList{} << QStringList{} << ""
                                     << "";
    }
    void parsesLinks()
    {
        QFETCH(QString, link);
        const std::optional<MailtoLink> parsed = parseMailto(link);
        QVERIFY(parsed);
        QTEST(parsed->to, "to");
        QTEST(parsed->cc, "cc");
        QTEST(parsed->subject, "subject");
        QTEST(parsed->body, "body");
    }

    void refusesWhatIsNoLink()
    {
        QVERIFY(!parseMailto("taro@example.jp"));
        QVERIFY(!parseMailto("http://example.jp/?mailto:taro@example.jp"));
        QVERIFY(!parseMailto("mailto:" + QString(MaxMailtoLength, u'a')));
        QCOMPARE(recipientLine(*parseMailto("mailto:a@example.jp?cc=b@example.jp")),
                 QStringLiteral("a@example.jp, b@example.jp"));
    }
};

QTEST_GUILESS_MAIN(TestMailto)
#include "test_mailto.moc"
