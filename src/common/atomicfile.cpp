#include "atomicfile.h"

#include "recordfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace korvane {
namespace {

void setText(QString *out, const QString &text)
{
    if (out)
        *out = text;
}

bool flushToDisk(QSaveFile &file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

// Writes `bytes` into `file` (opened for writing, nothing written yet),
// flushes it to the disk and puts it in place of the file. On failure the
// work copy is dropped and *reason holds the system's reason.
bool commitWholeFile(QSaveFile &file, const QByteArray &bytes, QString *reason)
{
    // QSaveFile buffers: write() takes the bytes even when the disk is full,
    // and only the flush sees the system refuse them.
    errno = 0;
    if (file.write(bytes) != bytes.size() || !flushToDisk(file)) {
        setText(reason, failureReason(file, errno));
        file.cancelWriting();
        file.commit();  // drops the work copy
        return false;
    }
    errno = 0;
    if (!file.commit()) {
        setText(reason, failureReason(file, errno));
        return false;
    }
    syncFolderOf(file.fileName());
    return true;
}

}  // namespace

bool replaceFile(const QString &path, const QByteArray &bytes, QString *reason,
                 std::optional<QFileDevice::Permissions> permissions)
{
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        setText(reason, failureReason(file, errno));
        return false;
    }
    // Restricted before anything is written into the work copy.
    if (permissions && !file.setPermissions(*permissions)) {
        setText(reason, deviceReason(file));
        file.cancelWriting();
        file.commit();  // drops the work copy
        return false;
    }
    return commitWholeFile(file, bytes, reason);
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error,
                         std::optional<QFileDevice::Permissions> permissions)
{
    const bool existed = QFileInfo::exists(path);
    QString reason;
    if (replaceFile(path, bytes, &reason, permissions))
        return true;
    setText(error, QStringLiteral("「%1」を保存できませんでした。%2\n%3")
                       .arg(QDir::toNativeSeparators(path),
                            existed ? QStringLiteral("元のファイルはそのまま残っています。") : QString(), reason));
    return false;
}

bool removeFile(const QString &path, QString *reason)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.remove()) {
        setText(reason, deviceReason(file));
        return false;
    }
    syncFolderOf(path);
    return true;
}

bool createFileIfMissing(const QString &path, QFileDevice::Permissions permissions, QString *error)
{
    if (QFileInfo::exists(path))
        return true;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    // Created with these permissions from the start, never wider for a moment.
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, permissions)) {
        if (QFileInfo::exists(path))  // made meanwhile by another path
            return true;
        setText(error, QStringLiteral("「%1」を作成できませんでした。\n%2")
                           .arg(QDir::toNativeSeparators(path), failureReason(file, errno)));
        return false;
    }
    file.close();
    syncFolderOf(path);
    return true;
}

}  // namespace korvane
