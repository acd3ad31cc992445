// The history files at the byte level.
#include "history/mailhistory.h"

#include "common/cp932.h"
#include "common/recordfile.h"
#include "common/text.h"
#include "scripteddialogs.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

using namespace korvane;
using namespace korvane::mail;
using korvane::test::readFile;
using korvane::test::TestProgramFolder;
using korvane::test::writeFile;

namespace {

struct SimulatedCrash {};

QByteArray recordAt(const QByteArray &file, int n)
{
    return file.mid(qsizetype(n - 1) * MailRecordLength, MailRecordLength);
}

void appendThree(HistoryKind kind = HistoryKind::Received)
{
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(appendMailRecord(kind, QStringLiteral("件名%1").arg(i), QStringLiteral("date%1").arg(i),
                                  QStringLiteral("from%1@example.jp").arg(i), QStringLiteral("本文%1").arg(i)),
                 i);
}

}  // namespace

class TestHistoryStore : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { RecordFile::setRewriteHook(nullptr); }

    void fieldsAreCutAtTheirByteWidth_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("kept");
        QTest::newRow("120 ASCII bytes keep 100") << QString(120, u'x') << QString(100, u'x');
        QTest::newRow("60 double-byte characters keep 50") << QString(60, u'あ') << QString(50, u'あ');
        QTest::newRow("a straddling character is dropped")
            << (QStringLiteral("a") + QString(50, u'あ')) << (QStringLiteral("a") + QString(49, u'あ'));
        QTest::newRow("blanks around are trimmed") << QStringLiteral("  Hello  ") << QStringLiteral("Hello");
    }
    void fieldsAreCutAtTheirByteWidth()
    {
        QFETCH(QString, subject);
        QFETCH(QString, kept);
        TestProgramFolder folder;
        QCOMPARE(appendMailRecord(HistoryKind::Received, subject, "d", "a", "b"), 1);
        QByteArray bytes = readFile(historyPath(HistoryKind::Received));
        QCOMPARE(bytes.size(), MailRecordLength);
        QByteArray expected = cp932::encode(kept);
        expected.append(100 - expected.size(), ' ');
        QCOMPARE(bytes.left(100), expected);
        QCOMPARE(readMailRecord(HistoryKind::Received, 1)->subject, kept);
        QCOMPARE(readMailList(HistoryKind::Received).at(0).subject, kept);
    }

    // A received body the record cannot hold whole keeps what fits and says
    // what was lost and where the whole mail is; one that fits is untouched.
    void receivedBodyThatDoesNotFit_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("lossWord");
        QTest::newRow("fits") << QStringLiteral("霊山寺\r\n") << QStringLiteral("霊山寺") << QString();
        QTest::newRow("too long") << QString(40000, u'z') << QStringLiteral("zzz") << QStringLiteral("省略");
        QTest::newRow("emoji") << QStringLiteral("smile 😀 end") << QStringLiteral("smile 〓 end") << QStringLiteral("〓に置換");
        QTest::newRow("NUL") << QStringLiteral("before") + QChar(0) + QStringLiteral("after") << QStringLiteral("beforeafter")
                             << QStringLiteral("NUL");
    }
    void receivedBodyThatDoesNotFit()
    {
        QFETCH(QString, body);
        QFETCH(QString, start);
        QFETCH(QString, lossWord);
        bool lost = false;
        const QString fitted = receivedBodyForRecord(body, QStringLiteral("受信原本/x.eml"), &lost, 10);
        QCOMPARE(lost, !lossWord.isEmpty());
        const QByteArray record = encodeMailRecord(HistoryKind::Received, QString(), QString(), QString(), fitted);
        const MailRecord back = decodeMailRecord(record);
        QVERIFY(back.body.startsWith(start));
        if (lost) {
            QVERIFY(back.body.contains(lossWord));
            QVERIFY2(back.body.endsWith(QStringLiteral("「受信原本/x.eml」にあります。")), qPrintable(back.body.right(100)));
            QVERIFY(cp932::encode(fitted).size() <= 32000 - 10);
        } else {
            QCOMPARE(fitted, body);
        }
    }

    void recordLayout()
    {
        TestProgramFolder folder;
        QCOMPARE(appendMailRecord(HistoryKind::Received, "Hi", " 2024/05/01 ", "a@b.jp", QString()), 1);
        QCOMPARE(appendMailRecord(HistoryKind::Sent, "Hi", "  2024/05/01  10:00:00", "to@b.jp",
                                  QStringLiteral("一行目\n二行目")),
                 1);
        const QByteArray received = readFile(historyPath(HistoryKind::Received));
        QCOMPARE(received.mid(100, 90), QByteArray("2024/05/01").leftJustified(90, ' '));
        QCOMPARE(received.mid(190, 90), QByteArray("a@b.jp").leftJustified(90, ' '));
        QCOMPARE(received.mid(280, 32000), QByteArray(32000, ' '));  // empty body
        QCOMPARE(received.mid(32280, 4), QByteArray("\r\n\x01\x00", 4));
        QCOMPARE(readMailRecord(HistoryKind::Received, 1)->body, QString());

        // The sent history keeps the clock text as it was; line breaks are CR LF.
        const QByteArray sent = readFile(historyPath(HistoryKind::Sent));
        QCOMPARE(sent.mid(100, 22), QByteArray("  2024/05/01  10:00:00"));
        QCOMPARE(sent.mid(280, 14), cp932::encode(QStringLiteral("一行目\r\n二行目")));
        QCOMPARE(sent.mid(32280, 4), QByteArray("\r\n\x01\x00", 4));
        QVERIFY(readMailRecord(HistoryKind::Sent, 1)->live);
    }

    // Many senders end the date with a zone comment.
    void theOriginalIsNamedByItsDate()
    {
        QCOMPARE(originalFileName("\x01", QStringLiteral("Tue, 8 Dec 2026 10:11:12 +0900 (JST)")),
                 QStringLiteral("20261208-011112-01.eml"));
    }

    // The record names the file that keeps its whole mail in the last bytes
    // of the body field, behind a NUL: the body reads as before, the name
    // survives a rewrite, and only plain file names under the kind's folder
    // are ever taken.
    void theKeptOriginalTravelsWithTheRecord_data()
    {
        QTest::addColumn<QString>("original");
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("found");
        QTest::newRow("named") << QStringLiteral("20261209-010203-0123456789abcdef.eml") << QStringLiteral("本文") << true;
        QTest::newRow("a full body keeps room for the name")
            << QStringLiteral("a.eml") << receivedBodyForRecord(QString(40000, u'z'), QStringLiteral("受信原本/a.eml")) << true;
        QTest::newRow("named only in an older record's note")
            << QString() << QStringLiteral("x\r\n〓〓 …元のメール全体は「受信原本/old.eml」にあります。") << true;
        QTest::newRow("a folder in the name is refused") << QStringLiteral("../plxdata2.data") << QStringLiteral("b") << false;
        QTest::newRow("a note naming a folder is refused")
            << QString() << QStringLiteral("「受信原本/../★MAilData/plxdata2.data」") << false;
    }
    void theKeptOriginalTravelsWithTheRecord()
    {
        QFETCH(QString, original);
        QFETCH(QString, body);
        QFETCH(bool, found);
        TestProgramFolder folder;
        const QString kept = original.isEmpty() ? QStringLiteral("old.eml") : original;
        writeFile(folder.file(QStringLiteral("受信原本/") + kept), "mail");
        writeFile(folder.file(QStringLiteral("受信原本/a.eml")), "mail");
        QCOMPARE(appendMailRecord(HistoryKind::Received, "first", "d", "a", "gone"), 1);
        QCOMPARE(appendMailRecord(HistoryKind::Received, "s", "d", "a", body, nullptr,
                                  RecordFile::Durability::OnDisk, original),
                 2);
        QVERIFY(deleteMailRecord(HistoryKind::Received, 1));
        const QByteArray bytes = readFile(historyPath(HistoryKind::Received));
        QCOMPARE(bytes.size(), MailRecordLength);
        QCOMPARE(bytes.mid(32280, 4), QByteArray("\r\n\x01\x00", 4));
        if (!original.isEmpty() && found)
            QCOMPARE(bytes.mid(32280 - 64, 18 + original.size() + 1), QByteArray("\0KORVANE-ORIGINAL:", 18) + original.toLatin1() + '\0');
        const MailRecord back = *readMailRecord(HistoryKind::Received, 1);
        QCOMPARE(back.body, trimAsciiSpaces(body));
        QVERIFY(!back.body.contains(QChar(u'\0')));
        const QString path = originalPath(HistoryKind::Received, back);
        QCOMPARE(!path.isEmpty(), found);
        if (found)
            QCOMPARE(QFileInfo(path).fileName(), kept);
        QVERIFY(originalPath(HistoryKind::Sent, back).isEmpty());
    }

    void readersAcceptALoneLeadByte()
    {
        TestProgramFolder folder;
        QByteArray record = encodeMailRecord(HistoryKind::Received, "", "", "", "");
        QByteArray subject = QByteArray(99, 'a') + '\x82';  // the lead byte of あ, cut off
        record.replace(0, 100, subject);
        writeFile(historyPath(HistoryKind::Received), record);
        QCOMPARE(readMailRecord(HistoryKind::Received, 1)->subject, QString(99, u'a'));
        QCOMPARE(readMailList(HistoryKind::Received).at(0).subject, QString(99, u'a'));
    }

    void listCellsEndAtNul()
    {
        TestProgramFolder folder;
        QByteArray record = encodeMailRecord(HistoryKind::Received, "", "", "", "body");
        record.replace(0, 9, QByteArray("abc\0junk ", 9));
        writeFile(historyPath(HistoryKind::Received), record);
        std::vector<MailListEntry> list = readMailList(HistoryKind::Received);
        QCOMPARE(list.size(), size_t(1));
        QCOMPARE(list[0].subject, QStringLiteral("abc"));
    }

    void appendOffsets()
    {
        TestProgramFolder folder;
        QCOMPARE(appendMailRecord(HistoryKind::Received, "one", "", "", ""), 1);
        QCOMPARE(QFileInfo(historyPath(HistoryKind::Received)).size(), MailRecordLength);
        appendMailRecord(HistoryKind::Received, "two", "", "", "");
        appendMailRecord(HistoryKind::Received, "three", "", "", "");
        QCOMPARE(appendMailRecord(HistoryKind::Received, "four", "", "", ""), 4);
        const QByteArray bytes = readFile(historyPath(HistoryKind::Received));
        QCOMPARE(bytes.size(), 4 * MailRecordLength);
        QCOMPARE(bytes.mid(3 * MailRecordLength, 4), QByteArray("four"));
        QCOMPARE(mailRecordCount(HistoryKind::Received), 4);
        // The other history is untouched.
        QCOMPARE(mailRecordCount(HistoryKind::Sent), 0);
    }

    void aMissingHistoryReadsEmptyAndIsCreated_data()
    {
        QTest::addColumn<HistoryKind>("kind");
        QTest::newRow("sent") << HistoryKind::Sent;
        QTest::newRow("received") << HistoryKind::Received;
    }
    void aMissingHistoryReadsEmptyAndIsCreated()
    {
        QFETCH(HistoryKind, kind);
        TestProgramFolder folder;
        QVERIFY(readMailList(kind).empty());
        QVERIFY(QFileInfo::exists(historyPath(kind)));
        QVERIFY(!readMailRecord(kind, 1));
        // A file of the user's mail, even empty: the owner's alone.
        QCOMPARE(QFileInfo(historyPath(kind)).permissions(),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
    }

    void theDataFolderIsFoundInAnyLetterCase()
    {
        TestProgramFolder folder;
        writeFile(folder.path() + QStringLiteral("/★MailData/PLXDATA2.DATA"),
                  encodeMailRecord(HistoryKind::Received, "old", "", "", ""));
        QCOMPARE(readMailList(HistoryKind::Received).size(), size_t(1));
        QCOMPARE(appendMailRecord(HistoryKind::Received, "new", "", "", ""), 2);
        QCOMPARE(QFileInfo(folder.path() + QStringLiteral("/★MailData/PLXDATA2.DATA")).size(),
                 2 * MailRecordLength);
    }

    void deleteKeepsTheOthersInOrder()
    {
        TestProgramFolder folder;
        appendThree();
        const QByteArray before = readFile(historyPath(HistoryKind::Received));
        QVERIFY(deleteMailRecord(HistoryKind::Received, 2));
        const QByteArray after = readFile(historyPath(HistoryKind::Received));
        QCOMPARE(after.size(), 2 * MailRecordLength);
        QCOMPARE(recordAt(after, 1), recordAt(before, 1));
        QCOMPARE(recordAt(after, 2), recordAt(before, 3));
        QVERIFY(!QFileInfo::exists(historyWorkPath(HistoryKind::Received)));

        QString error;
        QVERIFY(!deleteMailRecord(HistoryKind::Received, 3, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(readFile(historyPath(HistoryKind::Received)), after);
    }

    void deleteAllLeavesAnEmptyFile()
    {
        TestProgramFolder folder;
        appendThree(HistoryKind::Sent);
        QVERIFY(deleteAllMailRecords(HistoryKind::Sent));
        QVERIFY(QFileInfo::exists(historyPath(HistoryKind::Sent)));
        QCOMPARE(QFileInfo(historyPath(HistoryKind::Sent)).size(), 0);
        QVERIFY(!QFileInfo::exists(historyWorkPath(HistoryKind::Sent)));
        QCOMPARE(appendMailRecord(HistoryKind::Sent, "again", "", "", ""), 1);
        // On a history that never existed it leaves an empty one.
        QVERIFY(deleteAllMailRecords(HistoryKind::Received));
        QCOMPARE(QFileInfo(historyPath(HistoryKind::Received)).size(), 0);
    }

    void aTornLastRecordIsNeverRead()
    {
        TestProgramFolder folder;
        appendThree();
        QFile f(historyPath(HistoryKind::Received));
        QVERIFY(f.resize(2 * MailRecordLength + MailRecordLength * 3 / 4));  // the tail of record 3 torn off
        f.close();
        QCOMPARE(readMailList(HistoryKind::Received).size(), size_t(2));
        QCOMPARE(readAllMailRecords(HistoryKind::Received).size(), size_t(2));
        QVERIFY(!readMailRecord(HistoryKind::Received, 3));
        QCOMPARE(appendMailRecord(HistoryKind::Received, "new", "", "", ""), 3);
        QCOMPARE(QFileInfo(historyPath(HistoryKind::Received)).size(), 3 * MailRecordLength);
        QCOMPARE(readMailRecord(HistoryKind::Received, 3)->subject, QStringLiteral("new"));
    }

    // A crash at any step of a delete leaves the old history or the new one,
    // and the next delete works; a mail appended while the delete copied is
    // in whichever is left.
    void aCrashDuringADeleteLosesNothing_data()
    {
        QTest::addColumn<int>("crashAt");
        QTest::addColumn<bool>("appendDuring");
        // The steps of deleting 2 of 3: work copy opened, two records
        // copied, work copy flushed, renamed; with a mail appended after the
        // flush, its copy comes before the rename.
        for (int i = 1; i <= 5; ++i)
            QTest::addRow("step %d", i) << i << false;
        for (int i = 4; i <= 6; ++i)
            QTest::addRow("step %d, a mail appended meanwhile", i) << i << true;
    }
    void aCrashDuringADeleteLosesNothing()
    {
        QFETCH(int, crashAt);
        QFETCH(bool, appendDuring);
        TestProgramFolder folder;
        appendThree();
        const QByteArray appended = appendDuring ? encodeMailRecord(HistoryKind::Received, "during", "", "", "") : QByteArray();
        const QByteArray before = readFile(historyPath(HistoryKind::Received));
        const QByteArray after = recordAt(before, 1) + recordAt(before, 3);
        const int lastStep = appendDuring ? 6 : 5;

        int steps = 0;
        RecordFile::setRewriteHook([&](RecordFile::RewriteStep s) {
            if (++steps == crashAt)
                throw SimulatedCrash{};
            if (appendDuring && s == RecordFile::RewriteStep::WorkCopyFlushed)
                appendMailRecord(HistoryKind::Received, "during", "", "", "");
        });
        bool crashed = false;
        try {
            deleteMailRecord(HistoryKind::Received, 2);
        } catch (const SimulatedCrash &) {
            crashed = true;
        }
        RecordFile::setRewriteHook(nullptr);
        QVERIFY(crashed);
        const QByteArray now = readFile(historyPath(HistoryKind::Received));
        if (crashAt < lastStep)
            QCOMPARE(now, before + (crashAt > 4 ? appended : QByteArray()));
        else
            QCOMPARE(now, after + appended);

        // Life goes on after the crash, a left-over work copy or not.
        const int left = mailRecordCount(HistoryKind::Received);
        QVERIFY(deleteMailRecord(HistoryKind::Received, 1));
        QCOMPARE(mailRecordCount(HistoryKind::Received), left - 1);
        QVERIFY(!QFileInfo::exists(historyWorkPath(HistoryKind::Received)));
    }

    // Mail taken in while a delete copies the history is in the new history,
    // whether it comes one at a time or through the mail check's appender
    // that holds the file open.
    void anAppendDuringADeleteIsKept_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("heldOpen");
        for (auto step : {RecordFile::RewriteStep::WorkCopyOpened, RecordFile::RewriteStep::WorkCopyFlushed,
                          RecordFile::RewriteStep::Renamed})
            for (bool held : {false, true})
                QTest::addRow("step %d%s", int(step), held ? ", held open" : "") << int(step) << held;
    }
    void anAppendDuringADeleteIsKept()
    {
        QFETCH(int, step);
        QFETCH(bool, heldOpen);
        TestProgramFolder folder;
        appendThree();
        MailHistoryAppender appender(HistoryKind::Received);
        QCOMPARE(appender.append("件名4", "", "", ""), 4);
        RecordFile::setRewriteHook([&](RecordFile::RewriteStep s) {
            if (int(s) == step)
                heldOpen ? appender.append("during", "", "", "") : appendMailRecord(HistoryKind::Received, "during", "", "", "");
        });
        QVERIFY(deleteMailRecord(HistoryKind::Received, 2));
        RecordFile::setRewriteHook(nullptr);
        QVERIFY(appender.append("after", "", "", "") > 0);
        QStringList subjects;
        for (const MailRecord &r : readAllMailRecords(HistoryKind::Received))
            subjects << r.subject;
        QCOMPARE(subjects, QStringList({"件名1", "件名3", "件名4", "during", "after"}));
        QCOMPARE(QFileInfo(historyPath(HistoryKind::Received)).size(), 5 * MailRecordLength);
    }

    // Records go from the readers when they are queued for deletion; a second
    // deletion queued while the first runs names records as the readers
    // number them then, and both end as asked.
    void deletionsQueuedTogether()
    {
        TestProgramFolder folder;
        for (int i = 1; i <= 6; ++i)
            appendMailRecord(HistoryKind::Received, QStringLiteral("r%1").arg(i), "", "", "");
        QSemaphore gate;
        RecordFile::setRewriteHook([&, first = true](RecordFile::RewriteStep) mutable {
            if (std::exchange(first, false))
                gate.acquire();
        });
        QVERIFY(deleteMailRecordsLater(HistoryKind::Received, {3, 1}));  // r1, r3
        QCOMPARE(mailRecordCount(HistoryKind::Received), 4);
        QCOMPARE(readMailRecord(HistoryKind::Received, 2)->subject, QStringLiteral("r4"));
        QCOMPARE(readMailList(HistoryKind::Received).at(0).subject, QStringLiteral("r2"));
        QString error;
        QVERIFY(!deleteMailRecordsLater(HistoryKind::Received, {5}, &error));
        QVERIFY(error.contains(QStringLiteral("5")));
        QVERIFY(deleteMailRecordsLater(HistoryKind::Received, {2, 4}));  // r4, r6
        gate.release();
        waitForHistoryWrites();
        RecordFile::setRewriteHook(nullptr);
        QStringList subjects;
        for (const MailRecord &r : readAllMailRecords(HistoryKind::Received))
            subjects << r.subject;
        QCOMPARE(subjects, QStringList({"r2", "r5"}));
        QCOMPARE(mailRecordCount(HistoryKind::Received), 2);
    }

    // The kept original goes with its record (not while another record still
    // names it); the attachments folder is the user's and stays as it is.
    void aDeleteTakesTheOriginalWithIt_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("all");
        for (int kind : {int(HistoryKind::Received), int(HistoryKind::Sent)})
            for (bool all : {false, true})
                QTest::addRow("%s, %s", kind ? "sent" : "received", all ? "all" : "one") << kind << all;
    }
    void aDeleteTakesTheOriginalWithIt()
    {
        QFETCH(int, kind);
        QFETCH(bool, all);
        const auto k = HistoryKind(kind);
        TestProgramFolder folder;
        const QString originals = originalsFolderName(k) + u'/';
        for (const char *name : {"a.eml", "b.eml", "old.eml"})
            writeFile(folder.file(originals + QLatin1String(name)), "mail");
        writeFile(folder.file(QStringLiteral("添付フォルダ/a.pdf")), "file");
        appendMailRecord(k, "a", "", "", "", nullptr, RecordFile::Durability::OnDisk, "a.eml");
        appendMailRecord(k, "b", "", "", "", nullptr, RecordFile::Durability::OnDisk, "b.eml");
        appendMailRecord(k, "b again", "", "", "", nullptr, RecordFile::Durability::OnDisk, "b.eml");
        appendMailRecord(k, "old", "", "", QStringLiteral("x\r\n…「%1old.eml」にあります。").arg(originals));
        QVERIFY(anyKeptOriginal(k, {4}));
        if (all)
            deleteAllMailRecordsLater(k);
        else
            QVERIFY(deleteMailRecordsLater(k, {1, 2, 4}));
        waitForHistoryWrites();
        QCOMPARE(QDir(folder.file(originals)).entryList(QDir::Files), all ? QStringList() : QStringList{"b.eml"});
        QVERIFY(QFileInfo::exists(folder.file(QStringLiteral("添付フォルダ/a.pdf"))));
        QCOMPARE(mailRecordCount(k), all ? 0 : 1);
    }

    // A rewrite that cannot be done brings the records back and says why.
    void aFailedDeleteBringsTheRecordsBack()
    {
        TestProgramFolder folder;
        appendThree();
        QVERIFY(QDir().mkpath(historyWorkPath(HistoryKind::Received)));  // no work copy can be made
        QSignalSpy failed(historyWrites(), &HistoryWrites::failed);
        QVERIFY(deleteMailRecordsLater(HistoryKind::Received, {2}));
        QCOMPARE(mailRecordCount(HistoryKind::Received), 2);
        QVERIFY(failed.wait(5000));
        QVERIFY(failed.at(0).at(1).toString().contains(QStringLiteral("PLXDATA2.TMP")));
        QCOMPARE(mailRecordCount(HistoryKind::Received), 3);
        QCOMPARE(readMailRecord(HistoryKind::Received, 2)->subject, QStringLiteral("件名2"));
    }

    void aFullHistoryRefusesAnAppend()
    {
        TestProgramFolder folder;
        appendMailRecord(HistoryKind::Received, "first", "", "", "");
        QFile f(historyPath(HistoryKind::Received));
        const qint64 full = qint64(RecordFile::MaxRecords) * MailRecordLength;
        QVERIFY(f.resize(full));  // sparse: no disk space taken
        f.close();
        QString error;
        QCOMPARE(appendMailRecord(HistoryKind::Received, "one too many", "", "", "", &error), 0);
        QVERIFY(error.contains(QStringLiteral("32767")));
        QCOMPARE(QFileInfo(historyPath(HistoryKind::Received)).size(), full);
        QCOMPARE(readMailRecord(HistoryKind::Received, 1)->subject, QStringLiteral("first"));
    }

    void theRecordBufferFollowsReadsAndAppends()
    {
        TestProgramFolder folder;
        appendThree();
        QCOMPARE(lastMailRecord(HistoryKind::Received)->subject, QStringLiteral("件名3"));
        readMailRecord(HistoryKind::Received, 2);
        QCOMPARE(lastMailRecord(HistoryKind::Received)->body, QStringLiteral("本文2"));
        appendMailRecord(HistoryKind::Sent, "sent", "", "", "");
        QCOMPARE(lastMailRecord(HistoryKind::Received)->body, QStringLiteral("本文2"));
        QCOMPARE(lastMailRecord(HistoryKind::Sent)->subject, QStringLiteral("sent"));
    }
};

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "test_history_store.moc"
