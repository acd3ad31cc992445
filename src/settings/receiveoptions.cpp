#include "receiveoptions.h"

#include <QSettings>

#include <algorithm>

namespace korvane::settings {
namespace {

QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Korvane"),
                     QStringLiteral("Korvane"));
}

int boundedInt(const QSettings &s, const char *key, int fallback, int max)
{
    bool ok = false;
    const int value = s.value(QLatin1String(key)).toInt(&ok);
    return ok ? std::clamp(value, 0, max) : fallback;
}

bool boolValue(const QSettings &s, const char *key, bool fallback)
{
    const QVariant v = s.value(QLatin1String(key));
    if (!v.isValid())
        return fallback;
    // Typed by hand the value may be "true", "1", "yes" or "on".
    const QString text = v.toString().trimmed().toLower();
    if (text == u"true" || text == u"1" || text == u"yes" || text == u"on")
        return true;
    if (text == u"false" || text == u"0" || text == u"no" || text == u"off")
        return false;
    return fallback;
}

}  // namespace

ReceiveOptions loadReceiveOptions()
{
    QSettings s = store();
    s.beginGroup(QLatin1String(ReceiveGroup));
    const ReceiveOptions defaults;
    ReceiveOptions o;
    o.intervalMinutes = boundedInt(s, "IntervalMinutes", defaults.intervalMinutes, MaxIntervalMinutes);
    o.keepOnServer = boolValue(s, "KeepOnServer", defaults.keepOnServer);
    o.keepDays = boundedInt(s, "KeepDays", defaults.keepDays, MaxKeepDays);
    o.notify = boolValue(s, "Notify", defaults.notify);
    return o;
}

ReceiveOptionsEvents &ReceiveOptionsEvents::instance()
{
    static ReceiveOptionsEvents events;
    return events;
}

bool saveReceiveOptions(const ReceiveOptions &options, QString *error)
{
    QSettings s = store();
    s.beginGroup(QLatin1String(ReceiveGroup));
    s.setValue(QStringLiteral("IntervalMinutes"), options.intervalMinutes);
    s.setValue(QStringLiteral("KeepOnServer"), options.keepOnServer);
    s.setValue(QStringLiteral("KeepDays"), options.keepDays);
    s.setValue(QStringLiteral("Notify"), options.notify);
    s.endGroup();
    s.sync();
    if (s.status() == QSettings::NoError) {
        emit ReceiveOptionsEvents::instance().changed();
        return true;
    }
    if (error)
        *error = QStringLiteral("%1 に書き込めません。").arg(s.fileName());
    return false;
}

}  // namespace korvane::settings
