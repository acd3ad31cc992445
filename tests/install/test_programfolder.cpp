// Where the program keeps its files: beside a portable copy, or in the
// user's data folder when installed, made and seeded there at the first
// start without ever overwriting what the user has.
#include "app/program.h"
#include "common/paths.h"
#include "scripteddialogs.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

using namespace korvane;
using korvane::test::readFile;
using korvane::test::writeFile;

namespace {

const QString TempleNotes = QStringLiteral("★MAilData/Plxdata.data");
const QString Palette = QStringLiteral("顔文字データ/Kao1.txt");
const QString Map = QStringLiteral("pictures/map.png");

// A folder of installed read-only data, as share/korvane holds it.
void makeSharedData(const QString &folder)
{
    writeFile(folder + "/" + TempleNotes, QByteArray(2054 * 88, 'n'));
    writeFile(folder + "/" + Palette, "(^_^)\r\n");
    writeFile(folder + "/" + Map, "\x89PNG map");
}

mode_t modeOf(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

}  // namespace

class TestProgramFolder : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { paths::setProgramFolder(QString()); }

    void modeFollowsTheExecutablesFolder()
    {
        QTemporaryDir tmp;
        const QString home = tmp.path() + "/data-home";
        const QString shared = tmp.path() + "/share/korvane";
        makeSharedData(shared);

        // A build or a portable copy: the data beside the executable.
        const QString portable = tmp.path() + "/portable";
        makeSharedData(portable);
        paths::FolderChoice choice = paths::chooseProgramFolder(portable, home, {shared});
        QCOMPARE(choice.mode, paths::Mode::Portable);
        QCOMPARE(choice.folder, portable);
        QString error;
        QVERIFY2(paths::makeProgramFolder(choice, &error), qPrintable(error));
        QVERIFY(!QFileInfo::exists(home));

        // The data folder alone, spelt in another letter case, marks it too.
        const QString userOnly = tmp.path() + "/user-only";
        QVERIFY(QDir().mkpath(userOnly + "/★MailData"));
        QCOMPARE(paths::chooseProgramFolder(userOnly, home, {shared}).mode, paths::Mode::Portable);

        // Installed: nothing beside the executable; the first shared data
        // folder that exists seeds the folder under the user's data home.
        const QString bin = tmp.path() + "/usr/bin";
        QVERIFY(QDir().mkpath(bin));
        choice = paths::chooseProgramFolder(bin, home, {tmp.path() + "/missing/korvane", shared, bin});
        QCOMPARE(choice.mode, paths::Mode::Installed);
        QCOMPARE(choice.folder, home + "/Korvane");
        QCOMPARE(choice.seedFrom, shared);

        choice = paths::chooseProgramFolder(bin, home, {tmp.path() + "/missing/korvane"});
        QCOMPARE(choice.mode, paths::Mode::Installed);
        QVERIFY(choice.seedFrom.isEmpty());
    }

    void readOnlyCopySeedsFromItself()
    {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QTemporaryDir tmp;
        const QString copy = tmp.path() + "/cdrom";
        makeSharedData(copy);
        QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner));
        const paths::FolderChoice choice =
            paths::chooseProgramFolder(copy, tmp.path() + "/home", {tmp.path() + "/none", copy});
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(choice.mode, paths::Mode::Installed);
        QCOMPARE(choice.seedFrom, copy);
    }

    void installedFolderIsSeededWithoutOverwriting()
    {
        QTemporaryDir tmp;
        const QString shared = tmp.path() + "/share/korvane";
        makeSharedData(shared);
        paths::FolderChoice choice;
        choice.mode = paths::Mode::Installed;
        choice.folder = tmp.path() + "/home/.local/share/Korvane";
        choice.seedFrom = shared;

        QString error;
        QVERIFY2(paths::makeProgramFolder(choice, &error), qPrintable(error));
        // Every shipped file, byte for byte, writable by its owner; the
        // folder that will hold mail and the account is the owner's alone.
        for (const QString &file : {TempleNotes, Palette, Map}) {
            QCOMPARE(readFile(choice.folder + "/" + file), readFile(shared + "/" + file));
            QVERIFY(modeOf(choice.folder + "/" + file) & S_IWUSR);
        }
        QCOMPARE(modeOf(choice.folder), mode_t(0700));

        // What the user changed or added stays, also under a name in another
        // letter case; a shipped file the user removed comes back.
        writeFile(choice.folder + "/" + TempleNotes, "my notes");
        writeFile(choice.folder + "/pelnix.ini", "POP3=pop.example.test\r\n");
        QVERIFY(QFile::rename(choice.folder + "/顔文字データ/Kao1.txt", choice.folder + "/顔文字データ/KAO1.TXT"));
        writeFile(choice.folder + "/顔文字データ/KAO1.TXT", "mine");
        QVERIFY(QFile::remove(choice.folder + "/" + Map));
        // A picture an earlier start copied only in part is copied again.
        writeFile(shared + "/pictures/button1.png", "\x89PNG button");
        writeFile(choice.folder + "/pictures/button1.png", "\x89PN");
        QVERIFY(QFile::setPermissions(choice.folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                         QFile::ReadGroup | QFile::ExeGroup));

        QVERIFY2(paths::makeProgramFolder(choice, &error), qPrintable(error));
        QCOMPARE(readFile(choice.folder + "/" + TempleNotes), QByteArray("my notes"));
        QCOMPARE(readFile(choice.folder + "/pelnix.ini"), QByteArray("POP3=pop.example.test\r\n"));
        QCOMPARE(readFile(choice.folder + "/顔文字データ/KAO1.TXT"), QByteArray("mine"));
        QVERIFY(!QFileInfo::exists(choice.folder + "/顔文字データ/Kao1.txt"));
        QCOMPARE(readFile(choice.folder + "/" + Map), readFile(shared + "/" + Map));
        QCOMPARE(readFile(choice.folder + "/pictures/button1.png"), QByteArray("\x89PNG button"));
        // The user's own choice of permissions on an existing folder stays.
        QCOMPARE(modeOf(choice.folder), mode_t(0750));
    }

    void uncreatableFolderIsReported()
    {
        QTemporaryDir tmp;
        // A file where a folder should be: not even root can make it.
        writeFile(tmp.path() + "/blocked", "a file");
        paths::FolderChoice choice;
        choice.mode = paths::Mode::Installed;
        choice.folder = tmp.path() + "/blocked/Korvane";
        QString error;
        QVERIFY(!paths::makeProgramFolder(choice, &error));
        QVERIFY2(error.contains(QStringLiteral("作成できません")), qPrintable(error));
        QVERIFY2(error.contains(choice.folder), qPrintable(error));

        choice.folder = tmp.path() + "/blocked";
        QVERIFY(!paths::makeProgramFolder(choice, &error));
        QVERIFY2(error.contains(choice.folder), qPrintable(error));

        choice.folder.clear();
        QVERIFY(!paths::makeProgramFolder(choice, &error));
        QVERIFY(!error.isEmpty());

        // The start of the program shows the message and opens no window.
        test::ScriptedDialogs dialogs;
        paths::setProgramFolder(tmp.path() + "/blocked/Korvane");
        QVERIFY(!app::startProgram());
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY2(dialogs.last().text.contains(tmp.path() + "/blocked/Korvane"), qPrintable(dialogs.last().text));
        QVERIFY(QApplication::topLevelWidgets().isEmpty() ||
                std::none_of(QApplication::topLevelWidgets().cbegin(), QApplication::topLevelWidgets().cend(),
                             [](QWidget *w) { return w->isVisible(); }));
    }

    void startUpTakesTheEnvironment()
    {
        // The test executable's folder holds no data: installed mode, the
        // folder under XDG_DATA_HOME, seeded from a folder of XDG_DATA_DIRS.
        QTemporaryDir tmp;
        QVERIFY(!paths::holdsProgramData(QCoreApplication::applicationDirPath()));
        makeSharedData(tmp.path() + "/system/korvane");
        qputenv("XDG_DATA_HOME", (tmp.path() + "/home-data").toLocal8Bit());
        qputenv("XDG_DATA_DIRS", (tmp.path() + "/none:" + tmp.path() + "/system").toLocal8Bit());
        QString error;
        // Made, but given its files only once the start owns it.
        QVERIFY2(paths::prepareProgramFolder(&error, paths::Seeding::Later), qPrintable(error));
        const QString folder = tmp.path() + "/home-data/Korvane";
        QCOMPARE(paths::programFolder(), folder);
        QVERIFY(QFileInfo(folder).isDir() && !QFile::exists(folder + "/" + Palette));
        QVERIFY2(paths::seedProgramFolder(&error), qPrintable(error));
        QCOMPARE(paths::resolve("\\★MailData\\plxdata.data"), folder + "/" + TempleNotes);
        QCOMPARE(readFile(folder + "/" + Palette), QByteArray("(^_^)\r\n"));

        // A folder set beforehand (tests, benchmarks) is kept and made.
        paths::setProgramFolder(tmp.path() + "/chosen");
        QVERIFY2(paths::prepareProgramFolder(&error), qPrintable(error));
        QCOMPARE(paths::programFolder(), tmp.path() + "/chosen");
        QVERIFY(QFileInfo(tmp.path() + "/chosen").isDir());
    }
};

QTEST_MAIN(TestProgramFolder)
#include "test_programfolder.moc"
