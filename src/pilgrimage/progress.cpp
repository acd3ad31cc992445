#include "progress.h"

#include "common/text.h"

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

int holds = 0;
std::optional<QString> held;  // stored while a hold lasts, not yet written

void write(const QString &text)
{
    QSettings s = store();
    s.setValue(Key, text);
    s.sync();
}

}  // namespace

std::optional<QString> readProgressCounter()
{
    if (held)
        return held;
    QVariant v = store().value(Key);
    if (!v.isValid())
        return std::nullopt;
    return v.toString();
}

QString readProgressCounter(const QString &fallback)
{
    return readProgressCounter().value_or(fallback);
}

long long progressCounterValue()
{
    return roundHalfEven(leadingNumber(readProgressCounter(QString())));
}

void storeProgressCounter(long long value)
{
    value = std::clamp<long long>(value, 0, MaxProgressCounter);
    if (holds > 0)
        held = QString::number(value);
    else
        write(QString::number(value));
}

ProgressCounterHold::ProgressCounterHold()
{
    ++holds;
}

ProgressCounterHold::~ProgressCounterHold()
{
    if (--holds == 0)
        writeHeld();
}

void ProgressCounterHold::writeHeld()
{
    if (held) {
        write(*held);
        held.reset();
    }
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
