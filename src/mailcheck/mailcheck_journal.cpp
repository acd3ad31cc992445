#include "mailcheck_journal.h"

#include "common/atomicfile.h"
#include "common/paths.h"
#include "common/recordfile.h"
#include "history/mailhistory.h"
#include "pilgrimage/progress.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace korvane::mail {
namespace {

const QByteArray Magic = QByteArrayLiteral("korvane-receive-journal 1");

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// A UIDL is 1 to 70 printable ASCII characters; anything else cannot be a
// line of the journal and is kept out of it.
bool isWritableUidl(const QString &uidl)
{
    return std::all_of(uidl.begin(), uidl.end(), [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7F; });
}

}  // namespace

int ReceiveJournal::landed(int historyCount) const
{
    if (base < 0)
        return 0;
    return int(std::clamp<qsizetype>(qsizetype(historyCount) - base, 0, pending.size()));
}

QSet<QString> ReceiveJournal::storedUidls(int historyCount) const
{
    QSet<QString> out;
    for (const QString &u : stored)
        if (!u.isEmpty())
            out.insert(u);
    const int count = landed(historyCount);
    for (int i = 0; i < count; ++i)
        if (!pending[i].isEmpty())
            out.insert(pending[i]);
    return out;
}

QByteArray ReceiveJournal::serialize() const
{
    QByteArray out = Magic + '\n';
    for (const QString &u : stored)
        if (!u.isEmpty() && isWritableUidl(u))
            out += "stored " + u.toLatin1() + '\n';
    if (base >= 0) {
        out += "base " + QByteArray::number(base) + '\n';
        // Pending entries count by position: an unusable UIDL keeps its place.
        for (const QString &u : pending)
            out += (isWritableUidl(u) && !u.isEmpty() ? "pending " + u.toLatin1() : QByteArray("pending")) + '\n';
        if (counterBefore >= 0)
            out += "counter " + QByteArray::number(counterBefore) + '\n';
    }
    return out;
}

bool ReceiveJournal::parse(const QByteArray &bytes, ReceiveJournal *out)
{
    ReceiveJournal j;
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.isEmpty() || lines.first().trimmed() != Magic)
        return false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        qsizetype space = line.indexOf(' ');
        QByteArray key = space < 0 ? line : line.left(space);
        QString value = space < 0 ? QString() : QString::fromLatin1(line.mid(space + 1));
        if (key == "stored") {
            if (value.isEmpty())
                return false;
            j.stored.append(value);
        } else if (key == "base") {
            bool ok = false;
            int n = value.toInt(&ok);
            if (!ok || n < 0 || j.base >= 0)
                return false;
            j.base = n;
        } else if (key == "counter") {
            bool ok = false;
            int n = value.toInt(&ok);
            if (!ok || n < 0 || j.base < 0 || j.counterBefore >= 0)
                return false;
            j.counterBefore = n;
        } else if (key == "pending") {
            if (j.base < 0)
                return false;
            j.pending.append(value);
        } else {
            return false;
        }
    }
    *out = std::move(j);
    return true;
}

QString receiveJournalPath()
{
    return paths::resolve(QStringLiteral("\\★MAilData\\plxrecv.jnl"));
}

ReceiveJournal loadReceiveJournal()
{
    QFile file(receiveJournalPath());
    ReceiveJournal j;
    if (file.open(QIODevice::ReadOnly))
        ReceiveJournal::parse(file.readAll(), &j);
    return j;
}

namespace {

// Replaces the file at `relative` (under the program folder) with `bytes`,
// the owner's alone: either the old file or the new one is there whatever
// happens.
bool replaceDataFile(const QString &relative, const QByteArray &bytes, QString *error)
{
    const QString path = paths::ensureParent(relative);
    QString reason;
    if (replaceFile(path, bytes, &reason, OwnerOnlyPermissions))
        return true;
    setError(error, QStringLiteral("%1 に書き込めません: %2").arg(path, reason));
    return false;
}

const QString ToldTooLargeFile = QStringLiteral("\\★MAilData\\plxlarge.lst");
const QByteArray ToldTooLargeMagic = QByteArrayLiteral("korvane-too-large 1");

}  // namespace

bool saveReceiveJournal(const ReceiveJournal &journal, QString *error)
{
    if (journal.isEmpty())
        return clearReceiveJournal(error);
    return replaceDataFile(QStringLiteral("\\★MAilData\\plxrecv.jnl"), journal.serialize(), error);
}

QSet<QString> loadToldTooLarge()
{
    QSet<QString> told;
    QFile file(paths::resolve(ToldTooLargeFile));
    if (!file.open(QIODevice::ReadOnly))
        return told;
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.value(0).trimmed() != ToldTooLargeMagic)
        return told;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString uidl = QString::fromLatin1(lines[i].trimmed());
        if (!uidl.isEmpty() && isWritableUidl(uidl))
            told.insert(uidl);
    }
    return told;
}

bool saveToldTooLarge(const QSet<QString> &uidls, QString *error)
{
    const QString path = paths::resolve(ToldTooLargeFile);
    if (uidls.isEmpty()) {
        if (!QFileInfo::exists(path) || QFile::remove(path))
            return true;
        setError(error, QStringLiteral("%1 を削除できません。").arg(path));
        return false;
    }
    QStringList sorted(uidls.cbegin(), uidls.cend());
    sorted.sort();
    QByteArray bytes = ToldTooLargeMagic + '\n';
    for (const QString &uidl : std::as_const(sorted))
        if (isWritableUidl(uidl))
            bytes += uidl.toLatin1() + '\n';
    return replaceDataFile(ToldTooLargeFile, bytes, error);
}

namespace {
const QString KeptFile = QStringLiteral("\\★MAilData\\plxkeep.lst");
const QByteArray KeptMagic = QByteArrayLiteral("korvane-kept 1");
}  // namespace

QHash<QString, qint64> loadKeptOnServer()
{
    QHash<QString, qint64> kept;
    QFile file(paths::resolve(KeptFile));
    if (!file.open(QIODevice::ReadOnly))
        return kept;
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.value(0).trimmed() != KeptMagic)
        return kept;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].trimmed().split(' ');
        bool ok = false;
        const qint64 when = fields.value(1).toLongLong(&ok);
        const QString uidl = QString::fromLatin1(fields.value(0));
        if (fields.size() == 2 && ok && !uidl.isEmpty() && isWritableUidl(uidl))
            kept.insert(uidl, when);
    }
    return kept;
}

bool saveKeptOnServer(const QHash<QString, qint64> &kept, QString *error)
{
    const QString path = paths::resolve(KeptFile);
    if (kept.isEmpty()) {
        if (!QFileInfo::exists(path) || QFile::remove(path))
            return true;
        setError(error, QStringLiteral("%1 を削除できません。").arg(path));
        return false;
    }
    QStringList uidls = kept.keys();
    uidls.sort();
    QByteArray bytes = KeptMagic + '\n';
    for (const QString &uidl : std::as_const(uidls))
        if (isWritableUidl(uidl))
            bytes += uidl.toLatin1() + ' ' + QByteArray::number(kept.value(uidl)) + '\n';
    return replaceDataFile(KeptFile, bytes, error);
}

bool clearReceiveJournal(QString *error)
{
    const QString path = receiveJournalPath();
    QString reason;
    if (removeFile(path, &reason))
        return true;
    setError(error, QStringLiteral("%1 を削除できません: %2").arg(path, reason));
    return false;
}

void recoverProgressCounter()
{
    const ReceiveJournal j = loadReceiveJournal();
    if (j.counterBefore < 0)
        return;
    const int landed = j.landed(mailRecordCount(HistoryKind::Received));
    if (landed > 0 && pilgrimage::progressCounterValue() == j.counterBefore)
        pilgrimage::storeProgressCounter(qint64(j.counterBefore) + landed);
}

}  // namespace korvane::mail
