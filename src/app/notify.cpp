#include "notify.h"

#include "pilgrimage/temples.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace korvane::app {
namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
// How long the notification stays, in milliseconds.
constexpr int ShowMs = 10000;

}  // namespace

NotificationText newMailNotification(int mails, const QString &firstFrom, const QString &firstSubject,
                                     long long progressCounter)
{
    NotificationText t;
    t.summary = QStringLiteral("%1 通のメールが届きました").arg(mails);
    QStringList lines;
    if (!firstFrom.trimmed().isEmpty())
        lines << QStringLiteral("差出人: %1").arg(firstFrom.trimmed());
    if (!firstSubject.trimmed().isEmpty())
        lines << QStringLiteral("件名: %1").arg(firstSubject.trimmed());
    if (const pilgrimage::Temple *temple = pilgrimage::templeForCounter(int(std::min(progressCounter, 100000LL)))) {
        // The caption holds the name, then the place in brackets.
        const QString caption = temple->captionText();
        const QString name = caption.left(caption.indexOf(u'（'));
        lines << QStringLiteral("第%1番 %2に到着").arg(temple->number).arg(name);
    }
    t.body = lines.join(u'\n').toHtmlEscaped();
    return t;
}

DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, QObject *parent) : QObject(parent), bus_(bus)
{
    if (bus_.isConnected())
        bus_.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                     SLOT(actionInvoked(uint, QString)));
}

void DesktopNotifier::notify(const NotificationText &text)
{
    if (!bus_.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("org.korvane.Korvane"));
    hints.insert(QStringLiteral("category"), QStringLiteral("email.arrived"));
    call << QStringLiteral("Korvane") << lastId_ << QStringLiteral("org.korvane.Korvane") << text.summary
         << text.body << QStringList{QStringLiteral("default"), QStringLiteral("開く")} << hints << ShowMs;
    // Never waited for: a service that is missing or slow does not hold up
    // the windows, and its error is not the user's concern.
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        QDBusPendingReply<uint> reply = *w;
        if (!reply.isError())
            lastId_ = reply.value();
        w->deleteLater();
    });
}

void DesktopNotifier::actionInvoked(uint id, const QString &action)
{
    if (id != 0 && id == lastId_ && action == u"default")
        emit activated();
}

}  // namespace korvane::app
