// Saving on a full disk: the settings file, the credentials file, a record
// file (history append and rewrite), the address book, a palette page, an
// editor's file and the pictures copied into a new program folder each keep
// their old bytes (or leave no file at all) and report the system's reason. The program folder is a tiny tmpfs
// mounted for the test and filled up; where mounting is not allowed (not
// root, no tmpfs) the test is skipped.
#include "addressbook/addressbook.h"
#include "common/paths.h"
#include "common/recordfile.h"
#include "palette/palettepages.h"
#include "settings/settings.h"
#include "texttools/textfiles.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

using namespace korvane;
using namespace korvane::settings;
using namespace korvane::test;

namespace {

constexpr int Page = 4096;
// The reason as the user reads it, in Japanese whatever the language set.
const QString NoSpace = QStringLiteral("ディスクの空きが足りません。");

// A tmpfs of a few pages over the program folder, unmounted at the end.
class SmallDisk {
public:
    explicit SmallDisk(const QString &where) : where_(QFile::encodeName(where))
    {
        mounted_ = ::mount("korvane-test", where_.constData(), "tmpfs", 0, "size=512k") == 0;
        if (!mounted_)
            reason_ = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallDisk()
    {
        if (mounted_)
            ::umount2(where_.constData(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    QString reason() const { return reason_; }

    // Fills the file system with one file until writing fails.
    static void fill(const QString &folder)
    {
        QFile filler(folder + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        // Nothing at all fits any more, not even one byte in a new file.
        QFile probe(folder + "/probe");
        QVERIFY(probe.open(QIODevice::WriteOnly));
        QVERIFY(probe.write("x", 1) != 1 || !probe.flush());
        probe.close();
        QFile::remove(folder + "/probe");
    }

private:
    QByteArray where_;
    bool mounted_ = false;
    QString reason_;
};

QByteArray recordOf(char c, int length) { return QByteArray(length, c); }

}  // namespace

class TestFullDisk : public QObject {
    Q_OBJECT

private slots:
    void savesOnFullDiskKeepOldFiles()
    {
        TestProgramFolder folder;
        SmallDisk disk(folder.path());
        if (!disk.mounted())
            QSKIP(qPrintable("a small tmpfs cannot be mounted here (" + disk.reason()
                             + "); run as root to test saving on a full disk"));

        // Old files: settings, credentials, a history of three records, an
        // address book. tmpfs hands out whole pages, so the record files end
        // on a page boundary: a record added must take a new page.
        serverSettings() = {"smtp.example.jp", "pop.example.jp", "taro@example.jp", 1};
        QString error;
        QVERIFY2(saveServerSettings(&error), qPrintable(error));
        QVERIFY2(tryWriteCredentialValue("NAME", "taro", &error), qPrintable(error));
        QVERIFY2(tryWriteCredentialValue("NAME2", "secret", &error), qPrintable(error));
        RecordFile history(folder.file("history.data"), Page);
        for (char c : {'a', 'b', 'c'})
            QVERIFY2(history.append(recordOf(c, Page), &error) > 0, qPrintable(error));
        QVERIFY2(addressbook::addRecord("山田", "yamada@example.jp", &error) > 0, qPrintable(error));
        QVERIFY2(addressbook::addRecord("佐藤", "sato@example.jp", &error) > 0, qPrintable(error));
        const QString book = folder.file("★MAilData/Plxdata20.data");
        const QByteArray two = readFile(book);
        QCOMPARE(two.size() % 2, 0);
        // 184-byte records: 512 of them fill 23 pages exactly.
        QByteArray full;
        while (full.size() % Page != 0 || full.isEmpty())
            full += two;
        writeFile(book, full);

        QVERIFY2(palette::savePageText(0, "(^_^)\n(;_;)", &error), qPrintable(error));
        QVERIFY2(texttools::writeTextFile(folder.file("memo.txt"), "一行目\n二行目", &error), qPrintable(error));
        // Pictures to copy into a new program folder, one of them left empty
        // there by an earlier start that ran out of space.
        QTemporaryDir shared;
        const QByteArray picture = QByteArray(6 * Page, 'p');
        writeFile(shared.path() + "/pictures/map.png", picture);
        writeFile(shared.path() + "/pictures/button1.png", picture);
        paths::FolderChoice installed{paths::Mode::Installed, folder.file("installed"), shared.path()};
        writeFile(installed.folder + "/pictures/map.png", QByteArray());

        const QStringList files = {settingsFilePath(), folder.file("★MailData/iniIdPass.ini"),
                                   folder.file("history.data"), book, palette::pageSavePath(0),
                                   folder.file("memo.txt")};
        QList<QByteArray> before;
        for (const QString &f : files) {
            before << readFile(f);
            QVERIFY2(!before.last().isEmpty(), qPrintable(f));
        }

        SmallDisk::fill(folder.path());
        auto failsWithReason = [&](bool ok, const char *what) {
            QVERIFY2(!ok, what);
            QVERIFY2(error.contains(NoSpace), qPrintable(QString::fromLatin1(what) + ": " + error));
            error.clear();
        };
        serverSettings() = {"smtp.other.jp", "pop.other.jp", "jiro@example.jp", 0};
        failsWithReason(saveServerSettings(&error), "settings");
        failsWithReason(tryWriteCredentialValue("NAME", "jiro", &error), "credentials");
        failsWithReason(history.append(recordOf('d', Page), &error) > 0, "history append");
        failsWithReason(history.rewrite(folder.file("history.tmp"), [](int n, QByteArrayView) { return n != 2; },
                                        &error),
                        "history rewrite");
        failsWithReason(addressbook::addRecord("鈴木", "suzuki@example.jp", &error) > 0, "address book add");
        failsWithReason(addressbook::removeRecord(1, &error), "address book remove");
        failsWithReason(palette::savePageText(0, "(^o^)", &error), "palette page");
        failsWithReason(texttools::writeTextFile(folder.file("memo.txt"), "三行目", &error), "editor file");
        failsWithReason(paths::makeProgramFolder(installed, &error), "pictures at first start");
        QCOMPARE(QDir(installed.folder + "/pictures").entryList(QDir::Files | QDir::Hidden),
                 QStringList({"map.png"}));

        for (qsizetype i = 0; i < files.size(); ++i)
            QVERIFY2(readFile(files[i]) == before[i], qPrintable(files[i]));
        // No work copies left behind to fill the disk further.
        const QStringList left = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left, QStringList({"filler", "history.data", "memo.txt", "pelnix.ini"}));

        // Space again: the same saves go through.
        QVERIFY(QFile::remove(folder.path() + "/filler"));
        QVERIFY2(saveServerSettings(&error), qPrintable(error));
        QVERIFY2(history.rewrite(folder.file("history.tmp"), [](int n, QByteArrayView) { return n != 2; }, &error),
                 qPrintable(error));
        QCOMPARE(readFile(files[2]), recordOf('a', Page) + recordOf('c', Page));
        QVERIFY(readFile(files[0]).contains("smtp.other.jp"));
        QVERIFY2(palette::savePageText(0, "(^o^)", &error), qPrintable(error));
        QCOMPARE(readFile(files[4]), QByteArray("(^o^)"));
        // The next start copies the pictures whole, the empty one again.
        QVERIFY2(paths::makeProgramFolder(installed, &error), qPrintable(error));
        QCOMPARE(readFile(installed.folder + "/pictures/map.png"), picture);
        QCOMPARE(readFile(installed.folder + "/pictures/button1.png"), picture);
    }
};

QTEST_GUILESS_MAIN(TestFullDisk)
#include "test_fulldisk.moc"
