#pragma once
// The desktop notification after mail came in, through the desktop's
// notification service (org.freedesktop.Notifications on the session bus).
// Without a session bus or without the service nothing is shown and nothing
// is reported: the program goes on as before.
#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace korvane::app {

// The texts of one notification.
struct NotificationText {
    QString summary;
    QString body;
};

// "3 通のメールが届きました" with the first sender and subject and the temple
// the pilgrim has reached ("第12番 焼山寺に到着"; nothing once the pilgrimage
// is complete). The body is escaped for services that read markup.
NotificationText newMailNotification(int mails, const QString &firstFrom, const QString &firstSubject,
                                     long long progressCounter);

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(const QDBusConnection &bus = QDBusConnection::sessionBus(), QObject *parent = nullptr);

    // Sends the notification without waiting for the service's answer; a
    // later one replaces the earlier one where it still shows.
    void notify(const NotificationText &text);

signals:
    // The user clicked the notification (its default action).
    void activated();

private slots:
    void actionInvoked(uint id, const QString &action);

private:
    QDBusConnection bus_;
    uint lastId_ = 0;
};

}  // namespace korvane::app
