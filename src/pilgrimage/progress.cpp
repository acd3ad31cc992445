#include "progress.h"

#include <QSettings>

#include <algorithm>

namespace korvane::pilgrimage {
namespace {

const QString Key = QStringLiteral("Pro/Value");

QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Korvane"),
                     QStringLiteral("Korvane"));
}

qint16 completeFlag = 0;

}  // namespace

std::optional<QString> readProgressCounter()
{
    QVariant v = store().value(Key);
    if (!v.isValid())
        return std::nullopt;
    return v.toString();
}

QString readProgressCounter(const QString &fallback)
{
    return readProgressCounter().value_or(fallback);
}

void storeProgressCounter(long long value)
{
    value = std::clamp<long long>(value, 0, MaxProgressCounter);
    QSettings s = store();
    s.setValue(Key, QString::number(value));
    s.sync();
}

qint16 pilgrimageComplete()
{
    return completeFlag;
}

void setPilgrimageComplete(qint16 value)
{
    completeFlag = value;
}

}  // namespace korvane::pilgrimage
