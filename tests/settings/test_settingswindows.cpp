// The server settings window, the credentials window and the launcher.
#include "common/windows.h"
#include "scripteddialogs.h"
#include "settings/register.h"
#include "settings/settings.h"
#include "testenv.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace korvane;
using namespace korvane::settings;
using namespace korvane::test;

namespace {

QWidget *open(const QString &name)
{
    QWidget *w = Windows::show(name);
    if (!w || !QTest::qWaitForWindowExposed(w))
        qFatal("window %s did not open", qPrintable(name));
    return w;
}

}  // namespace

class TestSettingsWindows : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { registerWindows(); }
    void init()
    {
        serverSettings() = ServerSettings();
        accountCredentials() = AccountCredentials();
    }
    void cleanup() { Windows::unloadAll(); }

    void smallFixedWindowsHaveOnlyACloseBox()
    {
        TestProgramFolder folder;
        for (const char *name : {"OptionForm", "IdPassForm", "SetForm"}) {
            QPointer<QWidget> w = open(name);
            const Qt::WindowFlags flags = w->windowFlags();
            QVERIFY2(flags & Qt::CustomizeWindowHint, name);
            QVERIFY2(flags & Qt::WindowTitleHint && flags & Qt::WindowCloseButtonHint, name);
            QVERIFY2(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)), name);
            QCOMPARE(w->minimumSize(), w->maximumSize());
            w->close();
        }
    }

    void optionFormShowsMemoryAndSaves()
    {
        TestProgramFolder folder;
        writeFile(folder.file("pelnix.ini"), "POP3=from-file\r\n");
        serverSettings() = {"smtp.mem", "pop.mem", "me@mem", 1};
        QPointer<QWidget> w = open("OptionForm");
        QCOMPARE(w->windowTitle(), QStringLiteral("サーバー設定"));
        QVERIFY(w->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(child<QLineEdit>(w, "SmtpText")->text(), QStringLiteral("smtp.mem"));
        QCOMPARE(child<QLineEdit>(w, "Pop3Text")->text(), QStringLiteral("pop.mem"));
        QCOMPARE(child<QLineEdit>(w, "MailText")->text(), QStringLiteral("me@mem"));
        QVERIFY(child<QCheckBox>(w, "ApopCheck")->isChecked());
        QCOMPARE(child<QPushButton>(w, "OkCommand")->text(), QStringLiteral("設定"));
        QCOMPARE(child<QPushButton>(w, "CancelCommand")->text(), QStringLiteral("中止"));

        child<QLineEdit>(w, "SmtpText")->setText("smtp.example.jp");
        child<QLineEdit>(w, "Pop3Text")->setText("pop.example.jp");
        child<QLineEdit>(w, "MailText")->setText("");
        child<QCheckBox>(w, "ApopCheck")->setChecked(false);
        QTest::mouseClick(child<QPushButton>(w, "OkCommand"), Qt::LeftButton);
        QCOMPARE(readFile(folder.file("pelnix.ini")),
                 QByteArray("SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\nMAIL=\r\nAPOP=0\r\n"));
        QCOMPARE(serverSettings().pop3Server, QStringLiteral("pop.example.jp"));
        QCOMPARE(serverSettings().useApop, qint16(0));
        QTRY_VERIFY(w.isNull());  // closed and unloaded

        // Reopened: the values last saved in this run, not the edited file.
        writeFile(folder.file("pelnix.ini"), "POP3=edited\r\n");
        w = open("OptionForm");
        QCOMPARE(child<QLineEdit>(w, "Pop3Text")->text(), QStringLiteral("pop.example.jp"));

        // APOP ticked survives a restart.
        child<QCheckBox>(w, "ApopCheck")->setChecked(true);
        QTest::mouseClick(child<QPushButton>(w, "OkCommand"), Qt::LeftButton);
        QVERIFY(readFile(folder.file("pelnix.ini")).endsWith("APOP=1\r\n"));
        serverSettings() = ServerSettings();
        loadServerSettings();
        QVERIFY(child<QCheckBox>(open("OptionForm"), "ApopCheck")->isChecked());
    }

    void optionFormCancelChangesNothing_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("中止") << false;
        QTest::newRow("Esc") << true;
    }
    void optionFormCancelChangesNothing()
    {
        QFETCH(bool, escape);
        TestProgramFolder folder;
        const QByteArray file = "SMTP=s\r\nPOP3=p\r\nMAIL=m\r\nAPOP=0\r\n";
        writeFile(folder.file("pelnix.ini"), file);
        loadServerSettings();
        QPointer<QWidget> w = open("OptionForm");
        child<QLineEdit>(w, "Pop3Text")->setText("changed");
        if (escape)
            QTest::keyClick(child<QLineEdit>(w, "Pop3Text"), Qt::Key_Escape);
        else
            QTest::mouseClick(child<QPushButton>(w, "CancelCommand"), Qt::LeftButton);
        QTRY_VERIFY(w.isNull());
        QCOMPARE(readFile(folder.file("pelnix.ini")), file);
        QCOMPARE(serverSettings().pop3Server, QStringLiteral("p"));
        w = open("OptionForm");
        QCOMPARE(child<QLineEdit>(w, "Pop3Text")->text(), QStringLiteral("p"));
    }

    void optionFormReportsWriteFailure()
    {
        TestProgramFolder folder;
        ScriptedDialogs dialogs;
        QVERIFY(QDir().mkpath(folder.file("pelnix.ini")));
        QPointer<QWidget> w = open("OptionForm");
        child<QLineEdit>(w, "Pop3Text")->setText("pop");
        QTest::mouseClick(child<QPushButton>(w, "OkCommand"), Qt::LeftButton);
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(dialogs.last().text.startsWith(QStringLiteral("サーバー設定を保存できませんでした。")));
        QCOMPARE(serverSettings().pop3Server, QStringLiteral("pop"));  // valid for the run anyway
    }

    void idPassSaveTicked()
    {
        TestProgramFolder folder;
        QPointer<QWidget> w = open("IdPassForm");
        QCOMPARE(w->windowTitle(), QStringLiteral("ID/PASS"));
        QCOMPARE(child<QLineEdit>(w, "IdText")->text(), QString());  // no file: empty boxes
        QCOMPARE(child<QLineEdit>(w, "PassText")->echoMode(), QLineEdit::Password);
        QVERIFY(!child<QCheckBox>(w, "Check1")->isChecked());
        QVERIFY(child<QPushButton>(w, "OKCommand")->isDefault());

        child<QLineEdit>(w, "IdText")->setText("taro");
        child<QLineEdit>(w, "PassText")->setText("p@ss");
        QCOMPARE(child<QLineEdit>(w, "PassText")->displayText(), QStringLiteral("****"));  // "*", not "●"
        child<QCheckBox>(w, "Check1")->setChecked(true);
        QTest::keyClick(child<QLineEdit>(w, "PassText"), Qt::Key_Return);  // Enter presses OK
        QTRY_VERIFY(w.isNull());
        QCOMPARE(accountCredentials().userId, QStringLiteral("taro"));
        QCOMPARE(accountCredentials().password, QStringLiteral("p@ss"));
        QCOMPARE(readFile(folder.file("★MailData/iniIdPass.ini")),
                 QByteArray("[EXEINI]\r\nNAME=taro\r\nNAME2=p@ss\r\nNAME3=1\r\n"));

        // Unticked later: only NAME3 changes, the stored pair stays.
        w = open("IdPassForm");
        QCOMPARE(child<QLineEdit>(w, "IdText")->text(), QStringLiteral("taro"));
        QCOMPARE(child<QLineEdit>(w, "PassText")->text(), QStringLiteral("p@ss"));
        QVERIFY(!child<QCheckBox>(w, "Check1")->isChecked());
        child<QLineEdit>(w, "IdText")->setText("jiro");
        QTest::mouseClick(child<QPushButton>(w, "OKCommand"), Qt::LeftButton);
        QTRY_VERIFY(w.isNull());
        QCOMPARE(accountCredentials().userId, QStringLiteral("jiro"));
        QCOMPARE(readFile(folder.file("★MailData/iniIdPass.ini")),
                 QByteArray("[EXEINI]\r\nNAME=taro\r\nNAME2=p@ss\r\nNAME3=0\r\n"));

        // Reopening shows the stored values, not those in memory.
        w = open("IdPassForm");
        QCOMPARE(child<QLineEdit>(w, "IdText")->text(), QStringLiteral("taro"));
    }

    void idPassCancelChangesNothing_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Cancel") << false;
        QTest::newRow("Esc") << true;
    }
    void idPassCancelChangesNothing()
    {
        QFETCH(bool, escape);
        TestProgramFolder folder;
        const QByteArray file = "[EXEINI]\r\nNAME=a\r\nNAME2=b\r\nNAME3=1\r\n";
        writeFile(folder.file("★MAilData/iniIdPass.ini"), file);
        accountCredentials() = {"mem", "mem"};
        QPointer<QWidget> w = open("IdPassForm");
        child<QLineEdit>(w, "IdText")->setText("x");
        child<QCheckBox>(w, "Check1")->setChecked(true);
        if (escape)
            QTest::keyClick(child<QLineEdit>(w, "IdText"), Qt::Key_Escape);
        else
            QTest::mouseClick(child<QPushButton>(w, "CancelCommand"), Qt::LeftButton);
        QTRY_VERIFY(w.isNull());
        QCOMPARE(accountCredentials().userId, QStringLiteral("mem"));
        QCOMPARE(readFile(folder.file("★MAilData/iniIdPass.ini")), file);
    }

    void loadedHiddenByName()
    {
        // The mail check loads the window without showing it and fills the
        // boxes by name; OK then takes what it wrote.
        TestProgramFolder folder;
        auto *id = Windows::control<QLineEdit>("IdPassForm", "IdText");
        auto *pass = Windows::control<QLineEdit>("IdPassForm", "PassText");
        QVERIFY(id && pass);
        QVERIFY(!Windows::loaded("IdPassForm")->isVisible());
        id->setText("u");
        pass->setText("p");
        QWidget *w = open("IdPassForm");
        QCOMPARE(child<QLineEdit>(w, "IdText")->text(), QStringLiteral("u"));
        QTest::mouseClick(child<QPushButton>(w, "OKCommand"), Qt::LeftButton);
        QCOMPARE(accountCredentials().password, QStringLiteral("p"));
    }

    void setFormOpensBoth()
    {
        TestProgramFolder folder;
        QWidget *w = open("SetForm");
        QCOMPARE(w->windowTitle(), QStringLiteral("ID/PASS"));
        QCOMPARE(child<QPushButton>(w, "Command2")->text(), QStringLiteral("POPサーバー"));
        QTest::mouseClick(child<QPushButton>(w, "Command1"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(w, "Command2"), Qt::LeftButton);
        QVERIFY(Windows::loaded("IdPassForm") && Windows::loaded("IdPassForm")->isVisible());
        QVERIFY(Windows::loaded("OptionForm") && Windows::loaded("OptionForm")->isVisible());
        QVERIFY(w->isVisible());  // the launcher stays open
    }
};

QTEST_MAIN(TestSettingsWindows)
#include "test_settingswindows.moc"
