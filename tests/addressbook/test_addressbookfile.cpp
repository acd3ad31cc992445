// The address book file at the byte level, and its delete rewrite under a
// simulated crash.
#include "addressbook/addressbook.h"
#include "common/cp932.h"
#include "common/recordfile.h"
#include "testenv.h"

#include <QFileInfo>
#include <QTest>

using namespace korvane;
using namespace korvane::addressbook;
using namespace korvane::test;

namespace {

struct SimulatedCrash {};

QByteArray spaces(int n)
{
    return QByteArray(n, ' ');
}

QByteArray record(const QByteArray &name, const QByteArray &address, qint16 live = 1)
{
    QByteArray r = name + spaces(90 - name.size()) + "\r\n";
    r += char(live & 0xFF);
    r += char((live >> 8) & 0xFF);
    return r + address + spaces(90 - address.size());
}

QString bookPath(const TestProgramFolder &f)
{
    return f.file("★MAilData/Plxdata20.data");
}

}  // namespace

class TestAddressBookFile : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { RecordFile::setRewriteHook(nullptr); }

    void recordLayout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("live");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray yamada = cp932::encode(QStringLiteral("山田　太郎"));
        QTest::newRow("kept as typed") << QStringLiteral(" 山田　太郎") << " taro@example.jp " << 1
                                       << record(" " + yamada, " taro@example.jp ");
        QTest::newRow("deleted mark") << "a" << "b" << 0 << record("a", "b", 0);
        QTest::newRow("90-byte address whole") << "" << QString(90, u'x') << 1 << record("", QByteArray(90, 'x'));
        QTest::newRow("longer address cut at byte 90")
            << "" << QString(95, u'y') << 1 << record("", QByteArray(90, 'y'));
        QTest::newRow("double-byte character not split")
            << QString(89, u'n') + QStringLiteral("霊") << "" << 1 << record(QByteArray(89, 'n'), "");
        QTest::newRow("outside code page 932") << QStringLiteral("😀") << "" << 1 << record("\x81\xAC", "");
    }
    void recordLayout()
    {
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(int, live);
        QFETCH(QByteArray, bytes);
        QCOMPARE(bytes.size(), RecordLength);
        QCOMPARE(encodeRecord({name, address, qint16(live)}), bytes);
        AddressRecord r = decodeRecord(bytes);
        QCOMPARE(r.live, qint16(live));
        QCOMPARE(encodeRecord(r), bytes);
    }

    void addsAfterLastWholeRecord()
    {
        TestProgramFolder folder;
        QCOMPARE(count(), 0);
        QCOMPARE(readAll().size(), 0);
        QVERIFY(QFileInfo::exists(bookPath(folder)));  // created empty on opening, the owner's alone
        QCOMPARE(QFileInfo(bookPath(folder)).permissions(),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        QCOMPARE(addRecord("a", "a@x"), 1);
        QCOMPARE(readFile(bookPath(folder)), record("a", "a@x"));
        QCOMPARE(addRecord("b", "b@x"), 2);
        // A torn tail (an interrupted write) never becomes a record of garbage.
        QByteArray torn = readFile(bookPath(folder)) + QByteArray(100, '\xFF');
        writeFile(bookPath(folder), torn);
        QCOMPARE(count(), 2);
        QCOMPARE(addRecord("c", "c@x"), 3);
        QCOMPARE(readFile(bookPath(folder)), record("a", "a@x") + record("b", "b@x") + record("c", "c@x"));
        QCOMPARE(readRecord(3)->name.trimmed(), QStringLiteral("c"));
        QVERIFY(!readRecord(4));
        QVERIFY(!readRecord(0));
    }

    void readsPresetListInAnySpelling()
    {
        TestProgramFolder folder;
        writeFile(folder.file("★MailData/plxaster20.ini"), record("one", "1@x") + record("two", "2@x"));
        QList<AddressRecord> all = readAll(Source::PresetList);
        QCOMPARE(all.size(), 2);
        QCOMPARE(all[1].name, QString("two" + spaces(87)));
        QCOMPARE(count(Source::PresetList), 2);
        QCOMPARE(readRecord(1, Source::PresetList)->address.trimmed(), QStringLiteral("1@x"));
        QCOMPARE(count(Source::Book), 0);
    }

    void removeKeepsOrder()
    {
        TestProgramFolder folder;
        const QByteArray a = record("a", "a@x"), b = record("b", "b@x"), c = record("c", "c@x");
        const QByteArray dead = record("d", "d@x", 0);
        writeFile(bookPath(folder), a + dead + b + c);
        QVERIFY(removeRecord(3));  // b, and the record already marked deleted
        QCOMPARE(readFile(bookPath(folder)), a + c);
        QVERIFY(!QFileInfo::exists(folder.file("★MAilData/PLXDATA20.TMP")));
        QVERIFY(removeRecord(0));
        QCOMPARE(readFile(bookPath(folder)), a + c);
    }

    void crashDuringDeleteLosesNothing_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("newFile");
        QTest::newRow("work copy opened") << int(RecordFile::RewriteStep::WorkCopyOpened) << false;
        QTest::newRow("record copied") << int(RecordFile::RewriteStep::RecordCopied) << false;
        QTest::newRow("work copy flushed") << int(RecordFile::RewriteStep::WorkCopyFlushed) << false;
        QTest::newRow("renamed") << int(RecordFile::RewriteStep::Renamed) << true;
    }
    void crashDuringDeleteLosesNothing()
    {
        QFETCH(int, step);
        QFETCH(bool, newFile);
        TestProgramFolder folder;
        const QByteArray a = record("a", "a@x"), b = record("b", "b@x"), c = record("c", "c@x");
        writeFile(bookPath(folder), a + b + c);
        RecordFile::setRewriteHook([step](RecordFile::RewriteStep s) {
            if (int(s) == step)
                throw SimulatedCrash{};
        });
        QVERIFY_THROWS_EXCEPTION(SimulatedCrash, removeRecord(2));
        RecordFile::setRewriteHook(nullptr);
        QCOMPARE(readFile(bookPath(folder)), newFile ? a + c : a + b + c);

        // The next delete works over whatever work copy was left behind.
        QVERIFY(removeRecord(1));
        QCOMPARE(readFile(bookPath(folder)), newFile ? c : b + c);
        QVERIFY(!QFileInfo::exists(folder.file("★MAilData/PLXDATA20.TMP")));
    }
};

QTEST_GUILESS_MAIN(TestAddressBookFile)
#include "test_addressbookfile.moc"
