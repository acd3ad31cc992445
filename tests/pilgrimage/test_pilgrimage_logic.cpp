// The temple table, the progress counter store and the temple notes record.
#include "pilgrimage/progress.h"
#include "pilgrimage/templenotes.h"
#include "pilgrimage/temples.h"

#include "common/cp932.h"
#include "testenv.h"

#include <QSettings>
#include <QtEndian>
#include <QtTest>

using namespace korvane;
using namespace korvane::pilgrimage;

class TestPilgrimageLogic : public QObject {
    Q_OBJECT
private slots:
    void templeForCounter_data();
    void templeForCounter();
    void tableRunsInOrder();
    void counterStore();
    void noteRecordLayout();
    void noteRecordDecodesWhatItEncodes();
    void noteTextConversion_data();
    void noteTextConversion();
    void notesFileBothSpellings();
};

void TestPilgrimageLogic::templeForCounter_data()
{
    QTest::addColumn<int>("counter");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::newRow("0") << 0 << 1 << "霊山寺（徳島県、鳴門市）" << 6280 << 1880;
    QTest::newRow("5") << 5 << 1 << "霊山寺（徳島県、鳴門市）" << 6280 << 1880;
    QTest::newRow("6") << 6 << 2 << "極楽寺（徳島県、鳴門市）" << 6240 << 1900;
    QTest::newRow("186") << 186 << 38 << "金剛福寺（高知県、土佐清水市）" << 2900 << 4000;
    QTest::newRow("435") << 435 << 87 << "長尾寺（香川県、長尾町）" << 5880 << 1520;
    QTest::newRow("436") << 436 << 88 << "大窪寺（香川県、長尾町）" << 5880 << 1620;
    QTest::newRow("440") << 440 << 88 << "大窪寺（香川県、長尾町）" << 5880 << 1620;
    QTest::newRow("441") << 441 << 0 << "" << 0 << 0;
}

void TestPilgrimageLogic::templeForCounter()
{
    QFETCH(int, counter);
    QFETCH(int, number);
    const Temple *t = pilgrimage::templeForCounter(counter);
    if (number == 0) {
        QCOMPARE(t, nullptr);
        return;
    }
    QVERIFY(t);
    QCOMPARE(t->number, number);
    QTEST(t->captionText(), "caption");
    QTEST(t->labelLeft, "left");
    QTEST(t->labelTop, "top");
}

void TestPilgrimageLogic::tableRunsInOrder()
{
    QCOMPARE(int(temples().size()), 88);
    for (int n = 1; n <= 88; ++n) {
        const Temple *t = temple(n);
        QVERIFY(t);
        QCOMPARE(t->number, n);
        // Each temple takes the five counters 5n-4 to 5n.
        QCOMPARE(pilgrimage::templeForCounter(5 * n - 4), t);
        QCOMPARE(pilgrimage::templeForCounter(5 * n), t);
        QVERIFY(!t->captionText().isEmpty());
    }
    // The marker of temple 38 stands 40 twips left of and 80 above its label.
    QCOMPARE(temple(38)->markerLeft(), 2860);
    QCOMPARE(temple(38)->markerTop(), 3920);
    // The spellings the program has always shown are kept.
    QCOMPARE(temple(23)->captionText(), QStringLiteral("楽王寺（徳島県、日和佐市）"));
    QCOMPARE(temple(85)->captionText(), QStringLiteral("八栗寺（香川県、牢礼町）"));
    QCOMPARE(temple(0), nullptr);
    QCOMPARE(temple(89), nullptr);
}

void TestPilgrimageLogic::counterStore()
{
    test::TestProgramFolder folder;
    QCOMPARE(readProgressCounter(), std::nullopt);
    QCOMPARE(readProgressCounter(QStringLiteral("NG")), QStringLiteral("NG"));

    storeProgressCounter(437);
    // Application "Korvane", section "Pro", key "Value", as a decimal string.
    QSettings direct(QSettings::NativeFormat, QSettings::UserScope, "Korvane", "Korvane");
    QCOMPARE(direct.value("Pro/Value").toString(), QStringLiteral("437"));
    QCOMPARE(readProgressCounter(QStringLiteral("NG")), QStringLiteral("437"));

    // Kept within the 16-bit range the program counts in.
    storeProgressCounter(40000);
    QCOMPARE(readProgressCounter(QStringLiteral("NG")), QStringLiteral("32767"));
    storeProgressCounter(-3);
    QCOMPARE(readProgressCounter(QStringLiteral("NG")), QStringLiteral("0"));

    // Held: read back at once, written when the last hold ends.
    {
        ProgressCounterHold outer;
        {
            ProgressCounterHold inner;
            storeProgressCounter(12);
        }
        QCOMPARE(progressCounterValue(), 12);
        direct.sync();
        QCOMPARE(direct.value("Pro/Value").toString(), QStringLiteral("0"));
    }
    direct.sync();
    QCOMPARE(direct.value("Pro/Value").toString(), QStringLiteral("12"));
}

void TestPilgrimageLogic::noteRecordLayout()
{
    TempleNoteRecord r;
    r.prefix = QByteArray("PFX");
    r.noteText = QStringLiteral("霊山寺//line");
    const QByteArray bytes = encodeTempleNote(r);
    QCOMPARE(bytes.size(), 2054);
    QCOMPARE(bytes.left(50), QByteArray("PFX").append(47, ' '));
    const QByteArray text = cp932::encode(r.noteText);
    QCOMPARE(bytes.mid(50, text.size()), text);
    QCOMPARE(bytes.mid(50 + text.size(), 2000 - text.size()), QByteArray(2000 - text.size(), ' '));
    QCOMPARE(qFromLittleEndian<qint16>(bytes.constData() + 2050), qint16(1));
    QCOMPARE(bytes.mid(2052), QByteArray("\r\n"));

    // Cut at 2000 bytes without splitting a double-byte character.
    r.noteText = QString(1500, QChar(u'あ'));
    const QByteArray cut = encodeTempleNote(r);
    QCOMPARE(cut.size(), 2054);
    QCOMPARE(cut.mid(50, 2000), cp932::encode(QString(1000, QChar(u'あ'))));
}

void TestPilgrimageLogic::noteRecordDecodesWhatItEncodes()
{
    QByteArray raw(2054, ' ');
    raw.replace(0, 5, "\x01\x02xyz");
    const QByteArray text = cp932::encode(QStringLiteral("第十二番//焼山寺"));
    raw.replace(50, text.size(), text);
    qToLittleEndian<qint16>(7, raw.data() + 2050);
    const TempleNoteRecord r = decodeTempleNote(raw);
    QVERIFY(r.noteText.startsWith(QStringLiteral("第十二番//焼山寺   ")));
    QCOMPARE(r.recordFlag, qint16(7));
    // The prefix is carried over byte for byte, whatever it holds.
    QCOMPARE(encodeTempleNote(r).left(50), raw.left(50));
}

void TestPilgrimageLogic::noteTextConversion_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << "abc" << "abc";
    QTest::newRow("field padding") << QStringLiteral("abc") + QString(1997, u' ') << "abc";
    QTest::newRow("three lines") << "one//two//three" << "one\ntwo\nthree";
    QTest::newRow("break at end") << "one//" << "one\n";
    QTest::newRow("typed slashes") << "see http://x" << "see http:\nx";
    QTest::newRow("gap record") << QString(2000, QChar(0)) << "";
    // The whole field is shown: 1500 one-byte characters are all there.
    QTest::newRow("over 1000 characters") << QString(1500, QChar(u'a')) << QString(1500, QChar(u'a'));
}

void TestPilgrimageLogic::noteTextConversion()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QCOMPARE(noteTextForDisplay(stored), shown);
    if (!stored.contains(QChar(0)))
        QCOMPARE(noteTextForStorage(shown), stored.trimmed());
}

void TestPilgrimageLogic::notesFileBothSpellings()
{
    test::TestProgramFolder folder;
    // Missing file: no records, nothing to read.
    QCOMPARE(templeNoteCount(), 0);
    QCOMPARE(readTempleNoteRecord(1), std::nullopt);

    TempleNoteRecord r;
    r.noteText = QStringLiteral("three");
    QVERIFY(writeTempleNoteRecord(3, r));
    // Written as "plxdata.data", read as "Plxdata.data": one file.
    QCOMPARE(templeNoteCount(), 3);
    QCOMPARE(templeNotesReadPath(), templeNotesWritePath());
    QVERIFY(readTempleNoteRecord(3)->noteText.startsWith(QStringLiteral("three ")));
    QVERIFY(!writeTempleNoteRecord(0, r));
    // Written over at once (same size, likely the same time stamp): read anew.
    r.noteText = QStringLiteral("four");
    QVERIFY(writeTempleNoteRecord(3, r));
    QVERIFY(readTempleNoteRecord(3)->noteText.startsWith(QStringLiteral("four ")));
}

QTEST_GUILESS_MAIN(TestPilgrimageLogic)
#include "test_pilgrimage_logic.moc"
