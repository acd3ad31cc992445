// Mail addresses fitted to the fixed-width fields of the program's files.
#include "common/addressfield.h"
#include "common/cp932.h"

#include <QTest>

using namespace korvane;

class TestAddressField : public QObject {
    Q_OBJECT

private slots:
    void fitsAField_data()
    {
        QTest::addColumn<QString>("mailbox");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("fit");
        QTest::addColumn<QString>("stored");

        const QString address = QStringLiteral("long.address@example.co.jp");  // 26 bytes
        const QString named = QStringLiteral("長い表示名 <long.address@example.co.jp>");  // 10 + 1 + 28 bytes
        QTest::newRow("whole") << QStringLiteral("  ") + named + QStringLiteral(" ") << 90 << int(AddressFit::Whole)
                               << named;
        QTest::newRow("exactly the width") << named << 39 << int(AddressFit::Whole) << named;
        // Shortened by whole double-byte characters: 37 bytes leave room for
        // "長い表示" (8), 36 for "長い表" (6) and never half of "示".
        QTest::newRow("name shortened") << named << 37 << int(AddressFit::NameShortened)
                                        << QStringLiteral("長い表示 <long.address@example.co.jp>");
        QTest::newRow("name shortened, odd width") << named << 36 << int(AddressFit::NameShortened)
                                                   << QStringLiteral("長い表 <long.address@example.co.jp>");
        QTest::newRow("quoted name keeps its quotes")
            << QStringLiteral("\"Shikoku, Hanako\" <") + address + u'>' << 42 << int(AddressFit::NameShortened)
            << QStringLiteral("\"Shikoku, Ha\" <") + address + u'>';
        QTest::newRow("name card without a blank") << QStringLiteral("四国花子<") + address + u'>' << 31
                                                   << int(AddressFit::NameShortened)
                                                   << QStringLiteral("四 <") + address + u'>';
        QTest::newRow("only the address fits") << named << 29 << int(AddressFit::BareAddress) << address;
        QTest::newRow("bare address at the width") << address << 26 << int(AddressFit::Whole) << address;
        QTest::newRow("bare address too long") << address << 25 << int(AddressFit::TooLong) << QString();
        QTest::newRow("named, address too long") << named << 25 << int(AddressFit::TooLong) << QString();
        QTest::newRow("a list is never cut") << QStringLiteral("a@example.jp, B <b@example.jp>") << 20
                                             << int(AddressFit::TooLong) << QString();
        QTest::newRow("a list that fits") << QStringLiteral("a@example.jp, b@example.jp") << 90
                                          << int(AddressFit::Whole) << QStringLiteral("a@example.jp, b@example.jp");
        QTest::newRow("address code page 932 cannot hold") << QStringLiteral("名前 <😀@example.jp>") << 90
                                                          << int(AddressFit::TooLong) << QString();
        QTest::newRow("empty") << QStringLiteral("   ") << 90 << int(AddressFit::TooLong) << QString();
    }

    void fitsAField()
    {
        QFETCH(QString, mailbox);
        QFETCH(int, width);
        QFETCH(int, fit);
        QFETCH(QString, stored);
        const FittedAddress f = fitAddressField(mailbox, width);
        QCOMPARE(int(f.fit), fit);
        QCOMPARE(f.text, stored);
        QVERIFY(cp932::encode(f.text).size() <= width);
    }

    void tooLongMessageNamesTheAddress()
    {
        const QString m = addressTooLongMessage(QStringLiteral(" x@example.jp "), 90);
        QVERIFY(m.contains(QStringLiteral("「x@example.jp」")));
        QVERIFY(m.contains(QStringLiteral("90")));
    }

    void replyAddress_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("reply");
        QTest::newRow("bare") << QStringLiteral(" friend@example.jp ") << QStringLiteral("friend@example.jp");
        QTest::newRow("named") << QStringLiteral("長い表示名 <long.address@example.co.jp>")
                               << QStringLiteral("長い表示名 <long.address@example.co.jp>");
        QTest::newRow("comma in the name is quoted")
            << QStringLiteral("Shikoku, Hanako <h@example.jp>") << QStringLiteral("\"Shikoku, Hanako\" <h@example.jp>");
        QTest::newRow("already quoted") << QStringLiteral("\"A; B\" <h@example.jp>")
                                        << QStringLiteral("\"A; B\" <h@example.jp>");
    }

    void replyAddress()
    {
        QFETCH(QString, record);
        QFETCH(QString, reply);
        QCOMPARE(korvane::replyAddress(record), reply);
    }
};

QTEST_MAIN(TestAddressField)
#include "test_addressfield.moc"
