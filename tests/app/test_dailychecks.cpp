// The main window against the private dovecot: the automatic check, the
// desktop notification through a stand-in service on a private session bus,
// and the receive label worked from the keyboard.
#include "app/autocheck.h"
#include "app/mainform.h"
#include "app/notify.h"
#include "app/registry.h"
#include "common/ui.h"
#include "common/windows.h"
#include "history/mailhistory.h"
#include "transport/nmail.h"
#include "mailservers_support.h"
#include "pilgrimage/progress.h"
#include "scripteddialogs.h"
#include "settings/receiveoptions.h"
#include "settings/settings.h"
#include "testenv.h"

#include <QAccessible>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDialog>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace korvane;
using namespace korvane::test;

namespace {

QByteArray mailText(const QByteArray &from, const QByteArray &subject)
{
    return "From: " + from + "\r\nTo: user@example.jp\r\nSubject: " + subject
           + "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nbody\r\n";
}

int stored()
{
    return int(mail::readMailList(mail::HistoryKind::Received).size());
}

const QString NotifyPath = QStringLiteral("/org/freedesktop/Notifications");
const QString NotifyName = QStringLiteral("org.freedesktop.Notifications");

}  // namespace

// Records every notification; click() says the user clicked one.
class StandInNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList shown;  // summary, LF, body
    QDBusConnection bus;
    explicit StandInNotifications(const QDBusConnection &b) : bus(b) {}
    void click(uint id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(NotifyPath, NotifyName, QStringLiteral("ActionInvoked"));
        bus.send(signal << id << QStringLiteral("default"));
    }

public slots:
    QStringList GetCapabilities() { return {QStringLiteral("actions")}; }
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &, int)
    {
        if (actions.contains(QStringLiteral("default")))
            shown << summary + u'\n' + body;
        return uint(shown.size());
    }
};

class TestDailyChecks : public QObject {
    Q_OBJECT

    MailServers servers;
    std::unique_ptr<TestProgramFolder> folder;
    std::unique_ptr<ScriptedDialogs> boxes;
    QProcess busDaemon;
    QString busAddress;

    // The program started with an automatic check every `minutes` minutes of 50 ms.
    app::Mainform *start(int minutes)
    {
        settings::saveReceiveOptions({minutes, false, 0, true});
        auto *form = Windows::get<app::Mainform>(QStringLiteral("Mainform"));
        form->startUp();
        form->show();
        form->autoCheck()->setMinuteLength(50);
        return form;
    }
    void click(app::Mainform *form)
    {
        auto *receive = form->findChild<ClickLabel *>(QStringLiteral("Label3"));
        QTRY_VERIFY(receive->isEnabled());
        QTest::mouseClick(receive, Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        servers = MailServers::fromEnvironment();
        if (!servers.ok())
            QSKIP(qPrintable(servers.error()));
        nmail::NMailInitializeWinSock();
        app::registerAllWindows();
        busDaemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address"});
        if (busDaemon.waitForReadyRead(5000))
            busAddress = QString::fromUtf8(busDaemon.readLine()).trimmed();
    }
    void cleanupTestCase()
    {
        nmail::NMailEndWinSock();
        busDaemon.terminate();
        busDaemon.waitForFinished(3000);
    }
    void init()
    {
        folder = std::make_unique<TestProgramFolder>();
        folder->installData();
        boxes = std::make_unique<ScriptedDialogs>();
        servers.emptyMaildir();
        settings::serverSettings() = settings::ServerSettings();
        settings::serverSettings().pop3Server = servers.pop3Plain();
        QVERIFY(settings::saveServerSettings());
        settings::writeCredentialValue(QStringLiteral("NAME"), servers.user);
        settings::writeCredentialValue(QStringLiteral("NAME2"), servers.password);
    }
    void cleanup()
    {
        Windows::unloadAll();
        boxes.reset();
        folder.reset();
    }

    void automaticCheckEveryMinute()
    {
        QVERIFY(servers.deliver(mailText("a@example.jp", "first")));
        app::Mainform *form = start(1);
        QTRY_COMPARE_WITH_TIMEOUT(stored(), 1, 10000);
        QVERIFY(servers.deliver(mailText("b@example.jp", "second")));
        QTRY_COMPARE_WITH_TIMEOUT(stored(), 2, 10000);
        QCOMPARE(servers.maildirCount(), 0);

        // Nothing starts while a modal box waits for the user.
        QVERIFY(servers.deliver(mailText("c@example.jp", "third")));
        QDialog modal(form);
        modal.setModal(true);
        modal.show();
        QSignalSpy skipped(form->autoCheck(), &app::AutoCheck::skipped);
        QVERIFY(skipped.wait(5000));
        QCOMPARE(stored(), 2);
        modal.close();
        QTRY_COMPARE_WITH_TIMEOUT(stored(), 3, 10000);
        QCOMPARE(boxes->shown.size(), 0);

        QVERIFY(settings::saveReceiveOptions({0, false, 0, true}));  // switched off
        QVERIFY(!form->autoCheck()->isActive());
    }

    void automaticErrorShownOnce()
    {
        settings::serverSettings().pop3Server = QStringLiteral("127.0.0.1:%1").arg(MailServers::unusedPort());
        QVERIFY(settings::saveServerSettings());
        app::Mainform *form = start(0);
        for (int turn = 0; turn < 3; ++turn)
            form->autoCheck()->tick();
        QCOMPARE(boxes->shown.size(), 1);
        click(form);  // by hand: shown again
        QCOMPARE(boxes->texts(), QStringList(2, boxes->shown[0].text));
    }

    void tabAndEnterStartACheck()
    {
        QVERIFY(servers.deliver(mailText("a@example.jp", "by keyboard")));
        app::Mainform *form = start(0);
        QApplication::setActiveWindow(form);
        form->findChild<QWidget *>(QStringLiteral("Label2"))->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Label3"));
        QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(QApplication::focusWidget());
        QCOMPARE(spoken->role(), QAccessible::Button);
        QCOMPARE(spoken->text(QAccessible::Name), QStringLiteral("受信"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(stored(), 1);
        // The focus comes back after the label's flash; Alt+R presses it too.
        QTRY_COMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Label3"));
        QVERIFY(servers.deliver(mailText("b@example.jp", "by access key")));
        QTest::keyClick(form, Qt::Key_R, Qt::AltModifier);
        QCOMPARE(stored(), 2);
    }

    void notificationAfterMail()
    {
        if (busAddress.isEmpty())
            QSKIP("dbus-daemon could not start a private session bus");
        QDBusConnection serviceBus = QDBusConnection::connectToBus(busAddress, QStringLiteral("standin"));
        QDBusConnection programBus = QDBusConnection::connectToBus(busAddress, QStringLiteral("program"));
        StandInNotifications service(serviceBus);
        QVERIFY(serviceBus.registerObject(NotifyPath, &service, QDBusConnection::ExportAllSlots));
        QVERIFY(serviceBus.registerService(NotifyName));

        pilgrimage::storeProgressCounter(55);  // two mails later: 57, the 12th temple
        QVERIFY(servers.deliver(mailText("Taro <taro@example.jp>", "<b>photos</b>")));
        QVERIFY(servers.deliver(mailText("jiro@example.jp", "second")));
        app::Mainform *form = start(0);
        form->setNotifier(new app::DesktopNotifier(programBus, form));
        click(form);
        QTRY_COMPARE(service.shown.size(), 1);
        const QString text = service.shown.first();
        QVERIFY2(text.startsWith(QStringLiteral("2 通のメールが届きました\n")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("taro@example.jp")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("&lt;b&gt;photos&lt;/b&gt;")), qPrintable(text));
        QVERIFY2(text.endsWith(QStringLiteral("\n第12番 焼山寺に到着")), qPrintable(text));

        // No new mail, or notifications switched off: none.
        click(form);
        QVERIFY(servers.deliver(mailText("a@example.jp", "quiet")));
        QVERIFY(settings::saveReceiveOptions({0, false, 0, false}));
        click(form);
        QCOMPARE(stored(), 3);
        // One connection's calls arrive in order: a notification sent by now
        // has arrived before this answer.
        const QDBusMessage ping =
            QDBusMessage::createMethodCall(NotifyName, NotifyPath, NotifyName, QStringLiteral("GetCapabilities"));
        QCOMPARE(programBus.call(ping, QDBus::BlockWithGui).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(service.shown.size(), 1);

        // A click on the notification brings the window forward.
        form->showMinimized();
        service.click(1);
        QTRY_VERIFY(!form->isMinimized());
        QCOMPARE(boxes->shown.size(), 0);
    }
};

QTEST_MAIN(TestDailyChecks)
#include "test_dailychecks.moc"
