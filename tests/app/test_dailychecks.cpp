// The daily client's checks on the main window against the private dovecot:
// the automatic check, the desktop notification through a stand-in
// notification service on a private session bus, and the receive label
// worked from the keyboard.
#include "app/autocheck.h"
#include "app/mainform.h"
#include "app/notify.h"
#include "app/registry.h"
#include "common/ui.h"
#include "common/windows.h"
#include "mail/mailcheck.h"
#include "mail/mailhistory.h"
#include "mail/nmail.h"
#include "mailservers_support.h"
#include "scripteddialogs.h"
#include "settings/receiveoptions.h"
#include "settings/settings.h"
#include "testenv.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDialog>
#include <QLabel>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace korvane;
using namespace korvane::test;

namespace {

QByteArray mailText(const QByteArray &from, const QByteArray &subject)
{
    return "From: " + from + "\r\nTo: user@example.jp\r\nSubject: " + subject
           + "\r\nDate: Mon, 1 Jan 2024 09:00:00 +0900\r\nMIME-Version: 1.0\r\n"
             "Content-Type: text/plain; charset=us-ascii\r\n\r\nbody\r\n";
}

int storedCount()
{
    return int(mail::readMailList(mail::HistoryKind::Received).size());
}

void setCounter(int value)
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Korvane"), QStringLiteral("Korvane"));
    s.setValue(QStringLiteral("Pro/Value"), QString::number(value));
}

}  // namespace

// A stand-in for the desktop's notification service: records every
// notification and can say that one was clicked.
class StandInNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        QString summary, body;
        QStringList actions;
    };
    QList<Shown> shown;
    QDBusConnection bus;
    explicit StandInNotifications(const QDBusConnection &b) : bus(b) {}

    void click(uint id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                         QStringLiteral("org.freedesktop.Notifications"),
                                                         QStringLiteral("ActionInvoked"));
        signal << id << QStringLiteral("default");
        bus.send(signal);
    }

public slots:
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &, int)
    {
        shown.append({summary, body, actions});
        return uint(shown.size());
    }
};

class TestDailyChecks : public QObject {
    Q_OBJECT

    MailServers servers;
    std::unique_ptr<TestProgramFolder> folder;
    std::unique_ptr<ScriptedDialogs> boxes;
    QPointer<app::Mainform> form;
    QProcess busDaemon;
    QString busAddress;

    app::Mainform *startProgram(int intervalMinutes)
    {
        settings::saveReceiveOptions({intervalMinutes, false, 0, true});
        form = Windows::get<app::Mainform>(QStringLiteral("Mainform"));
        form->startUp();
        form->show();
        // A minute of the automatic check lasts 50 ms here.
        form->autoCheck()->setMinuteLength(50);
        return form;
    }

private slots:
    void initTestCase()
    {
        servers = MailServers::fromEnvironment();
        if (!servers.ok())
            QSKIP(qPrintable(servers.error()));
        nmail::NMailInitializeWinSock();
        app::registerAllWindows();
        // A private session bus for the notification service.
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return;
        busDaemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                 QStringLiteral("--print-address")});
        if (busDaemon.waitForReadyRead(5000))
            busAddress = QString::fromUtf8(busDaemon.readLine()).trimmed();
    }
    void cleanupTestCase()
    {
        nmail::NMailEndWinSock();
        if (busDaemon.state() != QProcess::NotRunning) {
            busDaemon.terminate();
            busDaemon.waitForFinished(3000);
        }
    }

    void init()
    {
        Windows::unloadAll();
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
        app::Mainform *main = startProgram(1);
        QVERIFY(main->autoCheck()->isActive());
        QTRY_COMPARE_WITH_TIMEOUT(storedCount(), 1, 10000);
        QCOMPARE(servers.maildirCount(), 0);
        QVERIFY(servers.deliver(mailText("b@example.jp", "second")));
        QTRY_COMPARE_WITH_TIMEOUT(storedCount(), 2, 10000);
        QCOMPARE(boxes->shown.size(), 0);

        // Nothing starts while a modal box waits for the user.
        QVERIFY(servers.deliver(mailText("c@example.jp", "third")));
        QDialog modal(main);
        modal.setModal(true);
        modal.show();
        QVERIFY(QApplication::activeModalWidget());
        QSignalSpy skipped(main->autoCheck(), &app::AutoCheck::skipped);
        QVERIFY(skipped.wait(5000));
        QCOMPARE(storedCount(), 2);
        modal.close();
        QTRY_COMPARE_WITH_TIMEOUT(storedCount(), 3, 10000);

        // Switched off from the options, the timer stops.
        QVERIFY(settings::saveReceiveOptions({0, false, 0, true}));
        QVERIFY(!main->autoCheck()->isActive());
    }

    void automaticErrorShownOnce()
    {
        settings::serverSettings().pop3Server = QStringLiteral("127.0.0.1:%1").arg(MailServers::unusedPort());
        QVERIFY(settings::saveServerSettings());
        app::Mainform *main = startProgram(0);
        main->autoCheck()->tick();
        main->autoCheck()->tick();
        main->autoCheck()->tick();
        QCOMPARE(boxes->shown.size(), 1);
        // A check by hand shows it again.
        auto *receive = main->findChild<ClickLabel *>(QStringLiteral("Label3"));
        QTRY_VERIFY(receive->isEnabled());
        QTest::mouseClick(receive, Qt::LeftButton);
        QCOMPARE(boxes->shown.size(), 2);
        QCOMPARE(boxes->shown[1].text, boxes->shown[0].text);
    }

    void tabAndEnterStartACheck()
    {
        QVERIFY(servers.deliver(mailText("a@example.jp", "by keyboard")));
        app::Mainform *main = startProgram(0);
        QApplication::setActiveWindow(main);
        main->findChild<QWidget *>(QStringLiteral("Label2"))->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Label3"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(storedCount(), 1);
        // The focus stays on the label after its flash; Alt+R clicks it too.
        QTRY_COMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Label3"));
        QVERIFY(servers.deliver(mailText("b@example.jp", "by access key")));
        QTest::keyClick(main, Qt::Key_R, Qt::AltModifier);
        QCOMPARE(storedCount(), 2);
    }

    void notificationAfterMail()
    {
        if (busAddress.isEmpty())
            QSKIP("dbus-daemon could not start a private session bus");
        QDBusConnection serviceBus = QDBusConnection::connectToBus(busAddress, QStringLiteral("standin"));
        QDBusConnection programBus = QDBusConnection::connectToBus(busAddress, QStringLiteral("program"));
        QVERIFY(serviceBus.isConnected() && programBus.isConnected());
        StandInNotifications service(serviceBus);
        QVERIFY(serviceBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                          QDBusConnection::ExportAllSlots));
        QVERIFY(serviceBus.registerService(QStringLiteral("org.freedesktop.Notifications")));

        setCounter(55);  // two mails: 57, the 12th temple
        QVERIFY(servers.deliver(mailText("Taro <taro@example.jp>", "<b>photos</b>")));
        QVERIFY(servers.deliver(mailText("jiro@example.jp", "second")));
        app::Mainform *main = startProgram(0);
        main->setNotifier(new app::DesktopNotifier(programBus, main));
        auto *receive = main->findChild<ClickLabel *>(QStringLiteral("Label3"));
        QTest::mouseClick(receive, Qt::LeftButton);
        QTRY_COMPARE(service.shown.size(), 1);
        const StandInNotifications::Shown n = service.shown.first();
        QCOMPARE(n.summary, QStringLiteral("2 通のメールが届きました"));
        QVERIFY2(n.body.contains(QStringLiteral("taro@example.jp")), qPrintable(n.body));
        QVERIFY2(n.body.contains(QStringLiteral("&lt;b&gt;photos&lt;/b&gt;")), qPrintable(n.body));
        QVERIFY2(n.body.endsWith(QStringLiteral("第12番 焼山寺に到着")), qPrintable(n.body));
        QVERIFY(n.actions.contains(QStringLiteral("default")));

        // No new mail: no notification. Notify off: none either.
        QTRY_VERIFY(receive->isEnabled());
        QTest::mouseClick(receive, Qt::LeftButton);
        QVERIFY(servers.deliver(mailText("a@example.jp", "quiet")));
        QVERIFY(settings::saveReceiveOptions({0, false, 0, false}));
        QTRY_VERIFY(receive->isEnabled());
        QTest::mouseClick(receive, Qt::LeftButton);
        QCOMPARE(storedCount(), 3);
        // The bus keeps the order of one connection's calls: a notification
        // sent by now has arrived before this answer.
        const QDBusMessage ping = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("GetCapabilities"));
        QCOMPARE(programBus.call(ping, QDBus::BlockWithGui).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(service.shown.size(), 1);

        // A click on the notification brings the window forward.
        main->showMinimized();
        QTRY_VERIFY(main->isMinimized());
        service.click(1);
        QTRY_VERIFY(!main->isMinimized());
        QCOMPARE(boxes->shown.size(), 0);
    }
};

QTEST_MAIN(TestDailyChecks)
#include "test_dailychecks.moc"
