#include "common/background.h"
#include "common/cp932.h"
#include "common/digest.h"
#include "common/paths.h"
#include "common/reasons.h"
#include "common/recordfile.h"
#include "common/text.h"
#include "common/ui.h"
#include "scripteddialogs.h"
#include "testenv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <string>

using namespace korvane;
using namespace korvane::test;

struct SimulatedCrash {};

// A window that draws a number and remembers the last one it drew.
class CountingWindow : public QWidget {
public:
    int value = 0;
    int painted = -1;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.drawText(rect(), QString::number(value));
        painted = value;
        ++paints;
    }
};

class TestCommon : public QObject {
    Q_OBJECT

private slots:
    void cp932RoundTripsWindowsForms()
    {
        // The Windows forms that plain Shift-JIS gets wrong.
        const QString text = QStringLiteral("～－①髙\\霊山寺ｱ");
        QByteArray bytes = cp932::encode(text);
        QCOMPARE(bytes, QByteArray("\x81\x60\x81\x7C\x87\x40\xFB\xFC\x5C\x97\xEC\x8E\x52\x8E\x9B\xB1"));
        QCOMPARE(cp932::decode(bytes), text);
    }

    // Plain ASCII takes a shortcut past iconv: it must give what iconv does
    // for the same characters within other text.
    void cp932AsciiAsIconvGivesIt()
    {
        QByteArray bytes;
        for (int c = 0; c < 0x80; ++c)
            bytes.append(char(c));
        const QString ascii = QString::fromLatin1(bytes);
        QCOMPARE(cp932::encode(ascii), bytes);
        QCOMPARE(cp932::encode(ascii + QStringLiteral("霊")), bytes + "\x97\xEC");
        QCOMPARE(cp932::decode(bytes), ascii);
        QCOMPARE(cp932::decode(bytes + "\x97\xEC"), ascii + QStringLiteral("霊"));
    }

    void cp932Policy()
    {
        // Unencodable characters become "〓", one per character, and are counted.
        qsizetype replaced = 0;
        QCOMPARE(cp932::encode(QStringLiteral("a😀b€"), &replaced), QByteArray("a\x81\xAC" "b\x81\xAC"));
        QCOMPARE(replaced, 2);
        // Runs of refused characters between held ones, a lone surrogate.
        QCOMPARE(cp932::encode(QStringLiteral("한국～😀😀霊") + QChar(0xD800) + QStringLiteral("x"), &replaced),
                 QByteArray("\x81\xAC\x81\xAC\x81\x60\x81\xAC\x81\xAC\x97\xEC\x81\xAC" "x"));
        QCOMPARE(replaced, 5);
        QVERIFY(!cp932::canEncode(QStringLiteral("😀")));
        QVERIFY(cp932::canEncode(QStringLiteral("霊山寺")));
        // A lead byte cut off at the end is dropped; a bad byte becomes U+FFFD.
        QCOMPARE(cp932::decode(QByteArray("ab\x97")), QStringLiteral("ab"));
        QCOMPARE(cp932::decode(QByteArray("a\xA0" "b")), QStringLiteral("a\uFFFDb"));
        // An unassigned double-byte character is one "〓": its second byte is no letter of its own.
        QCOMPARE(cp932::decode(QByteArray("a\x85\x41" "b\xEB\x9F")), QStringLiteral("a〓b〓"));
        QCOMPARE(cp932::decode(QByteArray()), QString());
    }

    void cp932FieldCutsAtByteWidth()
    {
        QByteArray f = cp932::field(QString(120, u'x'), 100);
        QCOMPARE(f, QByteArray(100, 'x'));
        // 60 double-byte characters keep 50 in 100 bytes.
        f = cp932::field(QString(60, QChar(u'霊')), 100);
        QCOMPARE(f.size(), 100);
        QCOMPARE(cp932::decode(f).size(), 50);
        // A double-byte character straddling the end is dropped, the gap padded.
        f = cp932::field(QStringLiteral("a霊"), 2);
        QCOMPARE(f, QByteArray("a "));
        QCOMPARE(cp932::field(QStringLiteral("ab"), 5), QByteArray("ab   "));
    }

    void textHelpers()
    {
        QCOMPARE(trimAtNul(QString::fromUtf16(u"ab\0cd", 5)), QStringLiteral("ab"));
        QCOMPARE(trimAtNul(QStringLiteral("abc")), QStringLiteral("abc"));
        QCOMPARE(trimAsciiSpaces(QStringLiteral("  a b \u3000 ")), QStringLiteral("a b \u3000"));

        QCOMPARE(replaceSeparator("a//b//c", "//", "\r\n"), QStringLiteral("a\r\nb\r\nc"));
        QCOMPARE(replaceSeparator("a\r\n\r\nb", "\r\n", "//"), QStringLiteral("a////b"));
        QCOMPARE(replaceSeparator("///", "//", "\r\n"), QStringLiteral("\r\n/"));
        QCOMPARE(replaceSeparator("//", "//", "\r\n"), QStringLiteral("\r\n"));
        QCOMPARE(replaceSeparator("x/", "//", "\r\n"), QStringLiteral("x/"));
        QCOMPARE(replaceSeparator("", "//", "\r\n"), QString());

        QCOMPARE(leadingNumber("12abc"), 12.0);
        QCOMPARE(leadingNumber(" 1 2"), 12.0);
        QCOMPARE(leadingNumber("-3.5x"), -3.5);
        QCOMPARE(leadingNumber("abc"), 0.0);
        QCOMPARE(leadingNumber(""), 0.0);
        QCOMPARE(leadingNumber("1e"), 1.0);
        QCOMPARE(roundHalfEven(2.5), 2LL);
        QCOMPARE(roundHalfEven(3.5), 4LL);
        QCOMPARE(leadingInt16("99999"), qint16(32767));
        QCOMPARE(leadingInt16("4.5"), qint16(4));

        // A failure's reason reaches the user in Japanese: the C library's
        // words, Qt's English ones and an errno alike; others stay as worded.
        const QString noSpace = QStringLiteral("ディスクの空きが足りません。");
        QCOMPARE(inJapanese(QString::fromLocal8Bit(std::strerror(ENOSPC))), noSpace);
        QCOMPARE(inJapanese(QStringLiteral("No space left on device")), noSpace);
        QCOMPARE(systemReason(ENOSPC), noSpace);
        QCOMPARE(inJapanese(QStringLiteral("Permission denied")), QStringLiteral("アクセスが許可されていません。"));
        QCOMPARE(systemReason(EROFS), QStringLiteral("読み取り専用のディスクです。"));
        QCOMPARE(inJapanese(QStringLiteral("回線が切れました")), QStringLiteral("回線が切れました"));
        QFile missing(QDir::temp().filePath(QStringLiteral("korvane-no-such-folder/x")));
        QVERIFY(!missing.open(QIODevice::ReadOnly));
        QCOMPARE(deviceReason(missing), QStringLiteral("ファイルまたはフォルダが見つかりません。"));
    }

    void toCrLfMakesEveryBreakCrLf_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("CR LF stays") << QStringLiteral("a\r\nb\r\n") << QStringLiteral("a\r\nb\r\n");
        QTest::newRow("LF") << QStringLiteral("a\nb\n") << QStringLiteral("a\r\nb\r\n");
        QTest::newRow("lone CR") << QStringLiteral("a\rb") << QStringLiteral("a\r\nb");
        QTest::newRow("LF CR is two breaks") << QStringLiteral("a\n\rb") << QStringLiteral("a\r\n\r\nb");
        QTest::newRow("mixed after CR LF") << QStringLiteral("a\r\nb\nc\r\nd\re")
                                           << QStringLiteral("a\r\nb\r\nc\r\nd\r\ne");
        QTest::newRow("line and paragraph separators")
            << QStringLiteral("a\u2028b\u2029c") << QStringLiteral("a\r\nb\r\nc");
        QTest::newRow("CR at the end") << QStringLiteral("a\r") << QStringLiteral("a\r\n");
        QTest::newRow("only breaks") << QStringLiteral("\n\n\r") << QStringLiteral("\r\n\r\n\r\n");
        QTest::newRow("no break") << QStringLiteral("\u3042\t\x0b\x0c") << QStringLiteral("\u3042\t\x0b\x0c");
        QTest::newRow("empty") << QString() << QString();
    }
    void toCrLfMakesEveryBreakCrLf()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(toCrLf(text), expected);
        QCOMPARE(toCrLf(expected), expected);
    }

    // The search passes over text several characters at a time: every
    // character it looks for is found wherever it stands, characters next to
    // them in value are not, and a CR LF split between two steps stays one
    // break.
    void breaksAreFoundAtEveryPosition()
    {
        const char16_t filler = u'\u8a9e';  // above U+8000, where a signed comparison would go wrong
        for (char16_t special : {u'\r', u'\n', u'\u2028', u'\u2029', u'\ufdd0', u'\ufdd1', u'\u00a0'}) {
            for (qsizetype at = 0; at < 40; ++at) {
                std::u16string text(40, filler);
                text[at] = special;
                QCOMPARE(findBreakOrSpecial(text.data(), 0, 40), at);
                QCOMPARE(findBreakOrSpecial(text.data(), at + 1, 40), qsizetype(40));
            }
        }
        for (char16_t ordinary : {u'\t', u'\x0b', u'\x0c', u'\x0e', u'\u2027', u'\u202a', u'\ufdcf', u'\ufdd2',
                                  u'\u00a1', u'\u0d0a', u'\uffff'}) {
            std::u16string text(40, ordinary);
            QCOMPARE(findBreakOrSpecial(text.data(), 0, 40), qsizetype(40));
        }
        for (qsizetype at = 0; at + 1 < 40; ++at) {
            QString crLf(40, QChar(filler));
            crLf[at] = u'\r';
            crLf[at + 1] = u'\n';
            QCOMPARE(toCrLf(crLf), crLf);
            QString lf = crLf;
            lf.remove(at, 1);
            QCOMPARE(toCrLf(lf), crLf);
        }
    }

    void sha256AsEveryoneComputesIt()
    {
        for (const QByteArray &bytes : {QByteArray(), QByteArray("abc"), QByteArray(100000, 'x')}) {
            QCOMPARE(sha256(bytes), QCryptographicHash::hash(bytes, QCryptographicHash::Sha256));
            // Given piece by piece, in pieces of uneven sizes.
            Sha256 pieces;
            for (qsizetype at = 0, step = 1; at < bytes.size(); at += step, step = step * 3 + 1)
                pieces.add(QByteArrayView(bytes.constData() + at, qMin(step, bytes.size() - at)));
            QCOMPARE(pieces.result(), sha256(bytes));
        }
        QCOMPARE(sha256("abc").toHex(), QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    }

    // Changed hundreds of times a second, a window is drawn about once per
    // frame while a pacer lives, and shows its last state once it goes.
    void framePacerDrawsOncePerFrameAndTheLastState()
    {
        CountingWindow window;
        window.resize(120, 40);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(window.paints > 0);
        QElapsedTimer clock;
        int painted = 0;
        {
            FramePacer pacer;
            window.paints = 0;
            clock.start();
            while (clock.elapsed() < 200) {
                ++window.value;
                window.update();
                QCoreApplication::processEvents();
                QThread::usleep(200);
            }
            painted = window.paints;
            QVERIFY2(window.value > 100, qPrintable(QString::number(window.value)));
            QVERIFY2(painted <= clock.elapsed() / FramePacer::FrameMs + 2, qPrintable(QString::number(painted)));
            QVERIFY2(painted >= 3, qPrintable(QString::number(painted)));
            QCOMPARE(pacer.frames(), painted);
            ++window.value;
            window.update();
        }
        // Drawn at once if it was held back, else with the next events.
        QTRY_COMPARE(window.painted, window.value);
        // Without a pacer every update is drawn.
        window.paints = 0;
        for (int i = 0; i < 20; ++i) {
            ++window.value;
            window.update();
            QCoreApplication::processEvents();
        }
        QCOMPARE(window.paints, 20);
    }

    void pathsMatchWithoutLetterCase()
    {
        TestProgramFolder folder;
        QDir().mkpath(folder.path() + "/★MAilData");
        writeFile(folder.path() + "/★MAilData/Plxdata.data", "x");
        QCOMPARE(paths::resolve("\\★MailData\\plxdata.data"), folder.path() + "/★MAilData/Plxdata.data");
        QCOMPARE(paths::resolve("/★MAILDATA/PLXDATA.DATA"), folder.path() + "/★MAilData/Plxdata.data");
        // Missing components keep the spelling given; ensureFolder makes them.
        QCOMPARE(paths::resolve("\\★MailData\\new.txt"), folder.path() + "/★MAilData/new.txt");
        QString made = paths::ensureFolder("\\添付フォルダ\\");
        QVERIFY(QFileInfo(made).isDir());
        QCOMPARE(paths::resolve("\\添付フォルダ"), made);
    }

    void recordFileAppendAndRead()
    {
        TestProgramFolder folder;
        RecordFile file(folder.path() + "/r.data", 10);
        QCOMPARE(file.count(), 0);
        QCOMPARE(file.nextNumberRounded(), 1);
        QCOMPARE(file.append("aaaaaaaaaa"), 1);
        QCOMPARE(file.append("bbb"), 2);  // padded with NULs
        QCOMPARE(readFile(file.path()), QByteArray("aaaaaaaaaabbb\0\0\0\0\0\0\0", 20));
        QCOMPARE(*file.read(2), QByteArray("bbb\0\0\0\0\0\0\0", 10));
        QVERIFY(!file.read(3));
        QVERIFY(!file.read(0));
        QVERIFY(file.write(4, "dddddddddd"));  // past the end extends the file
        QCOMPARE(file.count(), 4);
        QCOMPARE(*file.read(3), QByteArray(10, '\0'));
    }

    // Records whose padding is left out of the write read back byte for
    // byte: NUL runs inside, at the end, and records that are all text.
    void recordsWithLongPaddingReadBackWhole()
    {
        TestProgramFolder folder;
        const qsizetype length = 20000;
        const QByteArray inside = "head" + QByteArray(15000, '\0') + QByteArray(4996, 't');
        const QByteArray atEnd = "short";
        const QByteArray full(length, 'f');
        const QByteArray both = QByteArray(8000, '\0') + "mid";
        RecordFile file(folder.path() + "/r.data", length);
        RecordAppender appender(folder.path() + "/a.data", length);
        QByteArray expected;
        for (const QByteArray &r : {inside, atEnd, full, both, inside}) {
            QCOMPARE(file.append(r), int(expected.size() / length) + 1);
            QCOMPARE(appender.append(r, nullptr, RecordFile::Durability::Written), int(expected.size() / length) + 1);
            expected += r + QByteArray(length - r.size(), '\0');
        }
        QCOMPARE(readFile(file.path()), expected);
        QCOMPARE(readFile(appender.path()), expected);
    }

    void tornTailIsNeverARecord()
    {
        TestProgramFolder folder;
        RecordFile file(folder.path() + "/r.data", 10);
        writeFile(file.path(), QByteArray("aaaaaaaaaa") + QByteArray("bbbbbbb"));  // 1.7 records
        QCOMPARE(file.count(), 1);
        QVERIFY(!file.read(2));
        QCOMPARE(file.nextNumberRounded(), 3);  // the old rounding would skip a record
        // An append cuts the torn tail and takes the next whole slot instead.
        QCOMPARE(file.append("cccccccccc"), 2);
        QCOMPARE(readFile(file.path()), QByteArray("aaaaaaaaaacccccccccc"));
    }

    void appendRefusedAtTheLimit()
    {
        TestProgramFolder folder;
        RecordFile file(folder.path() + "/r.data", 1);
        writeFile(file.path(), QByteArray(RecordFile::MaxRecords, 'x'));
        QString error;
        QCOMPARE(file.append("y", &error), 0);
        QVERIFY(error.contains("32767"));
        QCOMPARE(file.byteLength(), qint64(RecordFile::MaxRecords));
    }

    // An appender holding the file open loses nothing to what others do to
    // the file between its appends: a rewrite that replaces it, an append
    // of someone else's, a cut, a folder taken away and given back.
    void appenderFollowsTheFileAtItsPath()
    {
        TestProgramFolder folder;
        const QString path = folder.path() + "/data/r.data";
        RecordAppender appender(path, 2);
        RecordFile file(path, 2);
        QCOMPARE(appender.append("a1"), 1);  // makes the folder
        QCOMPARE(appender.append("b1"), 2);
        const QString work = folder.path() + "/data/R.TMP";
        QVERIFY(file.rewrite(work, [](int, QByteArrayView) { return true; }));  // another file, as long
        QCOMPARE(appender.append("c1"), 3);
        QVERIFY(file.rewrite(work, [](int n, QByteArrayView) { return n > 1; }));
        QCOMPARE(appender.append("d1"), 3);
        QCOMPARE(file.append("e1"), 4);
        QCOMPARE(appender.append("f1"), 5);
        QCOMPARE(readFile(path), QByteArray("b1c1d1e1f1"));
        QFile cut(path);
        QVERIFY(cut.resize(5));  // two records and a torn one
        QCOMPARE(appender.append("g1"), 3);
        QCOMPARE(readFile(path), QByteArray("b1c1g1"));

        QVERIFY(QDir().rename(folder.path() + "/data", folder.path() + "/away"));
        writeFile(folder.path() + "/data", "not a folder");
        QString error;
        QCOMPARE(appender.append("h1", &error), 0);
        QVERIFY(error.contains(path));
        QVERIFY(QFile::remove(folder.path() + "/data"));
        QVERIFY(QDir().rename(folder.path() + "/away", folder.path() + "/data"));
        QCOMPARE(appender.append("i1"), 4);
        QCOMPARE(readFile(path), QByteArray("b1c1g1i1"));
    }

    void rewriteKeepsChosenRecords()
    {
        TestProgramFolder folder;
        RecordFile file(folder.path() + "/r.data", 2);
        writeFile(file.path(), "a1b0c1");
        QVERIFY(file.rewrite(folder.path() + "/R.TMP", [](int, QByteArrayView r) { return r[1] == '1'; }));
        QCOMPARE(readFile(file.path()), QByteArray("a1c1"));
        QVERIFY(!QFile::exists(folder.path() + "/R.TMP"));
        QVERIFY(file.rewrite(folder.path() + "/R.TMP", [](int, QByteArrayView) { return false; }));
        QVERIFY(QFile::exists(file.path()));
        QCOMPARE(file.byteLength(), qint64(0));
    }

    void crashDuringRewriteLosesNothing_data()
    {
        QTest::addColumn<int>("crashStep");
        QTest::newRow("work copy opened") << int(RecordFile::RewriteStep::WorkCopyOpened);
        QTest::newRow("record copied") << int(RecordFile::RewriteStep::RecordCopied);
        QTest::newRow("work copy flushed") << int(RecordFile::RewriteStep::WorkCopyFlushed);
        QTest::newRow("renamed") << int(RecordFile::RewriteStep::Renamed);
    }

    void crashDuringRewriteLosesNothing()
    {
        QFETCH(int, crashStep);
        TestProgramFolder folder;
        RecordFile file(folder.path() + "/r.data", 2);
        const QByteArray before("a1b0c1");
        writeFile(file.path(), before);
        RecordFile::setRewriteHook([crashStep](RecordFile::RewriteStep s) {
            if (int(s) == crashStep)
                throw SimulatedCrash{};
        });
        bool crashed = false;
        try {
            file.rewrite(folder.path() + "/R.TMP", [](int, QByteArrayView r) { return r[1] == '1'; });
        } catch (const SimulatedCrash &) {
            crashed = true;
        }
        RecordFile::setRewriteHook(nullptr);
        QVERIFY(crashed);
        QByteArray after = readFile(file.path());
        QVERIFY2(after == before || after == "a1c1", after.constData());
    }

    void pauseWithEventsKeepsTimersRunning()
    {
        int ticks = 0;
        QTimer timer;
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start();
        QElapsedTimer clock;
        clock.start();
        pauseWithEvents(50);
        QVERIFY(clock.elapsed() >= 50);
        QVERIFY(ticks > 0);
    }

    void flashLabelDisablesFor50ms()
    {
        QLabel label("x");
        bool disabledDuring = false;
        QTimer::singleShot(10, [&] { disabledDuring = !label.isEnabled(); });
        flashLabel(&label);
        QVERIFY(disabledDuring);
        QVERIFY(label.isEnabled());
    }

    void flashMeanwhileDoesNotWait()
    {
        QLabel label("x");
        QElapsedTimer clock;
        clock.start();
        flashLabelMeanwhile(&label);
        QVERIFY(clock.elapsed() < 50);
        QVERIFY(!label.isEnabled());
        QTRY_VERIFY(label.isEnabled());
        QVERIFY(clock.elapsed() >= 45);
    }

    void offUiThreadCallKeepsEventsFlowing()
    {
        int ticks = 0;
        QTimer timer;
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start();
        QThread *ui = QThread::currentThread();
        QThread *worker = nullptr;
        int result = runOffUiThread([&] {
            worker = QThread::currentThread();
            QThread::msleep(30);
            return 42;
        });
        QCOMPARE(result, 42);
        QVERIFY(worker != ui);
        QVERIFY(ticks > 0);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, runOffUiThread([] { throw std::runtime_error("x"); }));
    }

    void scriptedDialogsAnswer()
    {
        ScriptedDialogs d;
        d.questionAnswers.enqueue(true);
        QVERIFY(dialogs().question(nullptr, "q?"));
        QVERIFY(!dialogs().question(nullptr, "again?"));
        QCOMPARE(d.texts(), QStringList({"q?", "again?"}));
        QCOMPARE(d.last().title, QuestionTitle);
    }
};

QTEST_MAIN(TestCommon)
#include "test_common.moc"
