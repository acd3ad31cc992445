// One program folder, one running program: the built program copied into a
// temporary folder and started there several times, offscreen. A later start
// hands its mailto: link to the running copy and ends with 0; a copy killed
// with SIGKILL leaves its lock behind, and the next start takes over.
#include "app/program.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

using namespace korvane;

namespace {

// A copy of the program running on the test's folder, its diagnostics kept;
// killed at the end of the test.
struct Copy : QProcess {
    Copy(const QString &program, const QStringList &arguments, const QProcessEnvironment &env)
    {
        setProcessEnvironment(env);
        start(program, arguments);
    }
    ~Copy() override
    {
        kill();
        waitForFinished(5000);
    }
    QString log()
    {
        log_ += QString::fromUtf8(readAllStandardError());
        return log_;
    }
    QString log_;
};

qint64 lockHolder(const QString &lockFile)
{
    QLockFile lock(lockFile);
    qint64 pid = 0;
    QString host, app;
    return lock.getLockInfo(&pid, &host, &app) ? pid : 0;
}

}  // namespace

class TestOneInstance : public QObject {
    Q_OBJECT

private slots:
    void laterStartsHandOverAndStaleLocksDoNotBlock()
    {
        test::TestProgramFolder folder;
        folder.installData();
        const QString program = folder.path() + "/korvane";
        QVERIFY(QFile::copy(qEnvironmentVariable("KORVANE_BUILD_DIR") + "/bin/korvane", program));
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
            env.insert(var, folder.path() + "/.home");
        QVERIFY(QDir().mkpath(folder.path() + "/.home"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QT_LOGGING_RULES", "korvane.program.info=true");
        const QString lockFile = folder.path() + "/" + app::FolderOwner::LockFileName;

        auto first = std::make_unique<Copy>(program, QStringList{}, env);
        QTRY_VERIFY_WITH_TIMEOUT(lockHolder(lockFile) == first->processId(), 30000);

        // A link opens the compose window in the running copy; the later
        // start ends by itself, at once and successfully.
        const QString link = "mailto:taro@example.jp?cc=hanako@example.jp&subject=%E7%AC%AC1%E7%95%AA";
        for (const QStringList &arguments : {QStringList{link}, QStringList{}}) {
            // The plain start comes from an environment without the runtime
            // folder: it finds the running copy all the same.
            QProcessEnvironment later = env;
            if (arguments.isEmpty())
                later.remove("XDG_RUNTIME_DIR");
            Copy second(program, arguments, later);
            QVERIFY(second.waitForFinished(20000));
            QCOMPARE(second.exitStatus(), QProcess::NormalExit);
            QVERIFY2(second.exitCode() == 0, qPrintable(second.log()));
        }
        QTRY_VERIFY_WITH_TIMEOUT(first->log().count("handed over:") == 2, 10000);
        QVERIFY2(first->log().contains(
                     "compose window filled from a mailto: link to \"taro@example.jp, hanako@example.jp\""),
                 qPrintable(first->log()));
        QCOMPARE(first->state(), QProcess::Running);

        // Killed: its lock stays behind, naming a process that is gone.
        first->kill();
        QVERIFY(first->waitForFinished(5000));
        QVERIFY(QFile::exists(lockFile));
        first.reset();

        Copy third(program, {link}, env);
        QTRY_VERIFY_WITH_TIMEOUT(lockHolder(lockFile) == third.processId(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(third.log().contains("compose window filled"), 10000);
        Copy fourth(program, {}, env);
        QVERIFY(fourth.waitForFinished(20000));
        QCOMPARE(fourth.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(third.log().contains("handed over:"), 10000);
        QCOMPARE(third.state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestOneInstance)
#include "test_oneinstance.moc"
