// The server settings window, the credentials window and the launcher.
#include "common/windows.h"
#include "scripteddialogs.h"
#include "settings/receiveoptions.h"
#include "settings/register.h"
#include "settings/settings.h"
#include "testenv.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
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
        for (const char *name : {"OptionForm", "IdPassForm", "SetForm", "ReceiveOptionsForm"}) {
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
        QCOMPARE(child<QPushButton>(w, "Command3")->text(), QStringLiteral("受信の設定"));
        QTest::mouseClick(child<QPushButton>(w, "Command1"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(w, "Command2"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(w, "Command3"), Qt::LeftButton);
        for (const char *name : {"IdPassForm", "OptionForm", "ReceiveOptionsForm"})
            QVERIFY2(Windows::loaded(name) && Windows::loaded(name)->isVisible(), name);
        QVERIFY(w->isVisible());  // the launcher stays open
    }

    void receiveOptionsForm()
    {
        TestProgramFolder folder;
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Korvane", "Korvane");
        QCOMPARE(loadReceiveOptions(), ReceiveOptions());  // off, delete, notify
        // Typed by hand: out of range and words.
        store.setValue("Receive/IntervalMinutes", "-3");
        store.setValue("Receive/KeepOnServer", "yes");
        store.setValue("Receive/KeepDays", "99999");
        store.setValue("Receive/Notify", "off");
        store.sync();
        QCOMPARE(loadReceiveOptions(), (ReceiveOptions{0, true, MaxKeepDays, false}));
        store.setValue("Receive/KeepOnServer", false);
        store.sync();

        QPointer<QWidget> w = open("ReceiveOptionsForm");
        QCOMPARE(w->windowTitle(), QStringLiteral("受信の設定"));
        QCOMPARE(child<QSpinBox>(w, "IntervalSpin")->text(), QStringLiteral("しない"));
        QVERIFY(!child<QSpinBox>(w, "KeepDaysSpin")->isEnabled());  // only for kept mail
        child<QSpinBox>(w, "IntervalSpin")->setValue(15);
        child<QCheckBox>(w, "KeepCheck")->setChecked(true);
        QVERIFY(child<QSpinBox>(w, "KeepDaysSpin")->isEnabled());
        child<QSpinBox>(w, "KeepDaysSpin")->setValue(30);
        child<QCheckBox>(w, "NotifyCheck")->setChecked(true);
        QSignalSpy changed(&ReceiveOptionsEvents::instance(), &ReceiveOptionsEvents::changed);
        QTest::mouseClick(child<QPushButton>(w, "OkCommand"), Qt::LeftButton);
        QTRY_VERIFY(w.isNull());
        QCOMPARE(changed.size(), 1);
        store.sync();
        QCOMPARE(store.allKeys(), QStringList({"Receive/IntervalMinutes", "Receive/KeepDays",
                                               "Receive/KeepOnServer", "Receive/Notify"}));
        QCOMPARE(loadReceiveOptions(), (ReceiveOptions{15, true, 30, true}));
    }

    void tabFollowsReadingOrder_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("IdPassForm") << "IdPassForm"
                                    << QStringList{"IdText", "PassText", "Check1", "OKCommand", "CancelCommand"};
        QTest::newRow("OptionForm") << "OptionForm"
                                    << QStringList{"SmtpText", "Pop3Text", "MailText", "ApopCheck", "OkCommand",
                                                   "CancelCommand"};
        QTest::newRow("ReceiveOptionsForm")
            << "ReceiveOptionsForm"
            << QStringList{"IntervalSpin", "KeepCheck", "KeepDaysSpin", "NotifyCheck", "OkCommand", "CancelCommand"};
    }
    void tabFollowsReadingOrder()
    {
        QFETCH(QString, window);
        QFETCH(QStringList, order);
        TestProgramFolder folder;
        saveReceiveOptions({5, true, 0, true});  // the days box takes part
        QWidget *w = open(window);
        w->findChild<QWidget *>(order.first())->setFocus();
        QStringList seen;
        for (qsizetype i = 0; i < order.size(); ++i) {
            QWidget *focus = QApplication::focusWidget();
            // A spin box's focus lies on its line edit.
            while (focus && focus->objectName().isEmpty())
                focus = focus->parentWidget();
            seen << (focus ? focus->objectName() : QString());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(seen, order);
    }
};

QTEST_MAIN(TestSettingsWindows)
#include "test_settingswindows.moc"
