// The program without its desktop module (keyring, printing, local socket),
// as when the module's file is missing: each use says so or falls back, and
// nothing else breaks. The test runs apart from the build's program folder,
// so without KORVANE_MODULE_DIR nothing is found.
#include "app/program.h"
#include "common/desktopservices.h"
#include "settings/keyring.h"
#include "texttools/editorpane.h"
#include "scripteddialogs.h"

#include <QElapsedTimer>
#include <QLockFile>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane;

class TestWithoutModule : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qunsetenv("KORVANE_MODULE_DIR");
        QString error;
        QVERIFY(!desktop::services(&error));
        QVERIFY2(error.contains(QLatin1String(desktop::ModuleFileName)), qPrintable(error));
    }

    void printingSaysWhy()
    {
        test::ScriptedDialogs dialogs;
        QMainWindow window;
        auto *client = new QWidget(&window);
        window.setCentralWidget(client);
        texttools::EditorPane pane(&window, client);
        pane.setText(QStringLiteral("本文"));
        pane.printEditorText();
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.last().kind, Dialogs::Kind::Notice);
        QVERIFY2(dialogs.last().text.startsWith(QStringLiteral("印刷に使う部品を読み込めないため、印刷できません。")),
                 qPrintable(dialogs.last().text));
    }

    void keyringCountsAsAbsent()
    {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        settings::keyring::setEnabled(true);
        QCOMPARE(settings::keyring::readPassword(QStringLiteral("probe")), std::nullopt);
        QVERIFY(!settings::keyring::writePassword(QStringLiteral("probe"), QStringLiteral("secret")));
        QVERIFY(!settings::keyring::mayBeAvailable());
    }

    void laterStartSaysWhyAtOnce()
    {
        QTemporaryDir folder;
        QLockFile running(folder.filePath(app::FolderOwner::LockFileName));
        QVERIFY(running.tryLock());
        app::FolderOwner owner;
        QString error;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(owner.claim(folder.path(), {}, &error), app::FolderOwner::Claim::Failed);
        QVERIFY2(error.contains(QStringLiteral("起動の引き継ぎに使う部品を読み込めないため")), qPrintable(error));
        QVERIFY(clock.elapsed() < app::FolderOwner::HandOverWaitMs);
    }
};

QTEST_MAIN(TestWithoutModule)
#include "test_withoutmodule.moc"
