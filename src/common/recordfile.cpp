#include "recordfile.h"

#include <QDir>
#include <QFileInfo>

#include <QHash>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korvane {

namespace {
// Record files hold mail and addresses: new ones are for their owner's eyes only.
constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
}  // namespace
namespace {

std::function<void(RecordFile::RewriteStep)> &rewriteHook()
{
    static std::function<void(RecordFile::RewriteStep)> hook;
    return hook;
}

void step(RecordFile::RewriteStep s)
{
    if (rewriteHook())
        rewriteHook()(s);
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

QByteArray fitted(QByteArrayView record, qsizetype length)
{
    QByteArray out(record.constData(), std::min(record.size(), length));
    if (out.size() < length)
        out.append(length - out.size(), '\0');
    return out;
}

}  // namespace

QString failureReason(const QFileDevice &file, int err)
{
    if (file.error() != QFileDevice::NoError || err == 0)
        return deviceReason(file);
    return systemReason(err);
}

bool syncToDisk(QFile &file, QString *reason)
{
    errno = 0;
    bool ok = file.flush();
    if (ok) {
#ifdef Q_OS_WIN
        ok = _commit(file.handle()) == 0;
#else
        ok = ::fsync(file.handle()) == 0;
#endif
    }
    if (!ok && reason)
        *reason = failureReason(file, errno);
    return ok;
}

bool syncToDisk(QFile &file)
{
    return syncToDisk(file, nullptr);
}

void syncFolderOf(const QString &path)
{
#ifndef Q_OS_WIN
    QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(path);
#endif
}

RecordFile::RecordFile(QString path, qsizetype recordLength)
    : path_(std::move(path)), recordLength_(recordLength)
{
}

std::mutex &RecordFile::lockFor(const QString &path)
{
    static std::mutex registry;
    static QHash<QString, std::shared_ptr<std::mutex>> locks;
    const QString key = QFileInfo(path).absoluteFilePath();
    std::lock_guard guard(registry);
    std::shared_ptr<std::mutex> &lock = locks[key];
    if (!lock)
        lock = std::make_shared<std::mutex>();
    return *lock;
}

void RecordFile::setRewriteHook(std::function<void(RewriteStep)> hook)
{
    rewriteHook() = std::move(hook);
}

qint64 RecordFile::byteLength() const
{
    QFileInfo info(path_);
    return info.exists() ? info.size() : 0;
}

int RecordFile::count() const
{
    qint64 n = byteLength() / recordLength_;
    return n > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : int(n);
}

int RecordFile::nextNumberRounded() const
{
    double n = double(byteLength()) / double(recordLength_) + 1.0;
    return int(std::nearbyint(n));
}

std::optional<QByteArray> RecordFile::read(int n) const
{
    RecordReader reader(path_, recordLength_);
    return reader.read(n);
}

bool RecordFile::write(int n, QByteArrayView record, QString *error)
{
    if (n < 1) {
        setError(error, QStringLiteral("レコード番号 %1 は正しくありません。").arg(n));
        return false;
    }
    QDir().mkpath(QFileInfo(path_).absolutePath());
    std::lock_guard guard(lockFor(path_));
    QFile file(path_);
    if (!file.open(QIODevice::ReadWrite, OwnerOnly)) {
        setError(error, QStringLiteral("%1 を開けません: %2").arg(path_, deviceReason(file)));
        return false;
    }
    QByteArray data = fitted(record, recordLength_);
    const qint64 oldSize = file.size();
    errno = 0;
    QString reason;
    if (!file.seek(qint64(n - 1) * recordLength_) || file.write(data) != data.size()
        || !syncToDisk(file, &reason)) {
        if (reason.isEmpty())
            reason = failureReason(file, errno);
        // A record past the end that did not fit leaves no torn tail.
        if (file.size() > oldSize)
            file.resize(oldSize);
        setError(error, QStringLiteral("%1 に書き込めません: %2").arg(path_, reason));
        return false;
    }
    return true;
}

namespace {

// Opens a record file for appends; the folder is made when the file's first
// record finds it missing.
bool openForAppend(QFile &file, const QString &path, QString *error, QIODevice::OpenMode extra = {})
{
    file.setFileName(path);
    if (!file.open(QIODevice::ReadWrite | extra, OwnerOnly) && QDir().mkpath(QFileInfo(path).absolutePath()))
        file.open(QIODevice::ReadWrite | extra, OwnerOnly);
    if (!file.isOpen()) {
        setError(error, QStringLiteral("%1 を開けません: %2").arg(path, deviceReason(file)));
        return false;
    }
    return true;
}

// The first run of at least `min` NUL bytes in data[from, size), as
// [*start, *end); false when there is none.
bool findNulRun(const char *data, qsizetype from, qsizetype size, qsizetype min, qsizetype *start, qsizetype *end)
{
    for (qsizetype at = from; at < size;) {
        const auto *nul = static_cast<const char *>(std::memchr(data + at, 0, size_t(size - at)));
        if (!nul)
            return false;
        qsizetype e = nul - data;
        // Eight bytes at a time through the run.
        for (quint64 word = 0; e + 8 <= size; e += 8) {
            std::memcpy(&word, data + e, 8);
            if (word != 0)
                break;
        }
        while (e < size && data[e] == 0)
            ++e;
        if (e - (nul - data) >= min) {
            *start = nul - data;
            *end = e;
            return true;
        }
        at = e;
    }
    return false;
}

// Writes `data` at `offset`, the end of the file, leaving out the long runs
// of NUL bytes inside it (a record's padding): the file reads them back as
// NULs all the same, and the pages they span are neither copied nor stored.
// The last byte is written last, so that the file has its full length only
// once all of it is there; a write cut short leaves a torn tail.
bool writeAtEnd(QFile &file, qint64 offset, QByteArrayView data)
{
    constexpr qsizetype MinGap = 4096;
    const char *d = data.constData();
    const qsizetype size = data.size();
    auto put = [&](qsizetype from, qsizetype to) {
        return from >= to || (file.seek(offset + from) && file.write(d + from, to - from) == to - from);
    };
    qsizetype at = 0, start = 0, end = 0;
    while (at < size && findNulRun(d, at, size, MinGap, &start, &end)) {
        if (end == size)
            end = size - 1;  // the last NUL is written, to give the file its length
        if (!put(at, start))
            return false;
        at = end;
    }
    return put(at, size);
}

// Appends to an open record file of `length` bytes.
int appendTo(QFile &file, qint64 length, qsizetype recordLength, QByteArrayView record, QString *error,
             RecordFile::Durability durability)
{
    const QString &path = file.fileName();
    const qint64 whole = length / recordLength;
    if (whole >= RecordFile::MaxRecords) {
        setError(error, QStringLiteral("履歴が上限の %1 件に達しているため、これ以上保存できません。"
                                       "不要なメールを削除して下さい。")
                            .arg(RecordFile::MaxRecords));
        return 0;
    }
    const qint64 offset = whole * recordLength;
    if (length != offset && !file.resize(offset)) {
        setError(error, QStringLiteral("%1 の壊れた末尾を切り詰められません: %2").arg(path, deviceReason(file)));
        return 0;
    }
    QByteArray padded;
    QByteArrayView data = record;
    if (record.size() != recordLength) {
        padded = fitted(record, recordLength);
        data = padded;
    }
    QString reason;
    const auto flush = [&] {
        errno = 0;
        if (durability == RecordFile::Durability::OnDisk)
            return syncToDisk(file, &reason);
        return file.flush();
    };
    if (!writeAtEnd(file, offset, data) || !flush()) {
        if (reason.isEmpty())
            reason = failureReason(file, errno);
        file.resize(offset);  // never leave half a record behind
        setError(error, QStringLiteral("%1 に書き込めません: %2").arg(path, reason));
        return 0;
    }
    return int(whole + 1);
}

}  // namespace

int RecordFile::append(QByteArrayView record, QString *error, Durability durability)
{
    std::lock_guard guard(lockFor(path_));
    QFile file;
    if (!openForAppend(file, path_, error))
        return 0;
    return appendTo(file, file.size(), recordLength_, record, error, durability);
}

RecordAppender::RecordAppender(QString path, qsizetype recordLength)
    : path_(std::move(path)), encodedPath_(QFile::encodeName(path_)), recordLength_(recordLength)
{
}

bool RecordAppender::holdsTheFileAtPath() const
{
#ifdef Q_OS_WIN
    return false;
#else
    struct stat st {};
    return ::stat(encodedPath_.constData(), &st) == 0 && quint64(st.st_dev) == device_
           && quint64(st.st_ino) == inode_ && qint64(st.st_size) == length_;
#endif
}

int RecordAppender::append(QByteArrayView record, QString *error, RecordFile::Durability durability)
{
    // Held from the look at the path to the end of the write: a rewrite
    // cannot put another file in its place in between.
    std::lock_guard guard(RecordFile::lockFor(path_));
    if (file_.isOpen() && !holdsTheFileAtPath())
        file_.close();
    if (!file_.isOpen()) {
        // Unbuffered: a record goes to the system in one write, not copied
        // into a buffer first.
        if (!openForAppend(file_, path_, error, QIODevice::Unbuffered))
            return 0;
        length_ = file_.size();
#ifndef Q_OS_WIN
        struct stat st {};
        if (::fstat(file_.handle(), &st) == 0) {
            device_ = quint64(st.st_dev);
            inode_ = quint64(st.st_ino);
        }
#endif
    }
    const int n = appendTo(file_, length_, recordLength_, record, error, durability);
    if (n > 0)
        length_ = qint64(n) * recordLength_;
#ifdef Q_OS_WIN
    // Not held: a file open here could not be replaced by another window's
    // rewrite.
    file_.close();
#else
    if (n <= 0)
        file_.close();  // the next append looks at the file afresh
#endif
    return n;
}

bool RecordFile::sync(QString *error) const
{
    QFile file(path_);
    if (!file.exists())
        return true;
    QString reason;
    if (!file.open(QIODevice::ReadWrite) || !syncToDisk(file, &reason)) {
        setError(error, QStringLiteral("%1 をディスクに書き込めません: %2")
                            .arg(path_, reason.isEmpty() ? deviceReason(file) : reason));
        return false;
    }
    return true;
}

bool RecordFile::rewrite(const QString &workPath, const std::function<bool(int, QByteArrayView)> &keep,
                         QString *error, const Plan &plan)
{
    if (!QFileInfo::exists(path_))
        return true;
    RecordReader reader(path_, recordLength_);
    if (!reader.isOpen()) {
        setError(error, QStringLiteral("%1 を開けません。").arg(path_));
        return false;
    }
    QFile work(workPath);
    if (!work.open(QIODevice::WriteOnly | QIODevice::Truncate, OwnerOnly)) {
        setError(error, QStringLiteral("%1 を作れません: %2").arg(workPath, deviceReason(work)));
        return false;
    }
    const auto fail = [&](const QString &text) {
        setError(error, text);
        work.close();
        QFile::remove(workPath);
        return false;
    };
    step(RewriteStep::WorkCopyOpened);
    // Copies records from..to of `from` that are kept; false on a failed write.
    const auto copy = [&](RecordReader &from, int first, int last) {
        for (int n = first; n <= last; ++n) {
            if (plan.dropUnread && plan.dropUnread(n))
                continue;
            std::optional<QByteArray> record = from.read(n);
            if (!record)
                break;
            if (!keep(n, *record))
                continue;
            errno = 0;
            if (work.write(*record) != record->size())
                return false;
            step(RewriteStep::RecordCopied);
        }
        return true;
    };
    const int copied = reader.count();
    if (!copy(reader, 1, copied))
        return fail(QStringLiteral("%1 に書き込めません: %2").arg(workPath, failureReason(work, errno)));
    QString reason;
    if (!syncToDisk(work, &reason))
        return fail(QStringLiteral("%1 に書き込めません: %2").arg(workPath, reason));
    step(RewriteStep::WorkCopyFlushed);
    {
        // From here on nothing is added to the file: what was appended while
        // the copy ran is taken over, and the work copy takes its place.
        std::lock_guard guard(lockFor(path_));
        RecordReader now(path_, recordLength_);
        if (now.count() > copied) {
            if (!copy(now, copied + 1, now.count()))
                return fail(QStringLiteral("%1 に書き込めません: %2").arg(workPath, failureReason(work, errno)));
            if (!syncToDisk(work, &reason))
                return fail(QStringLiteral("%1 に書き込めません: %2").arg(workPath, reason));
        }
        work.close();
        std::error_code ec;
        std::filesystem::rename(std::filesystem::path(workPath.toStdU16String()),
                                std::filesystem::path(path_.toStdU16String()), ec);
        if (ec)
            return fail(QStringLiteral("%1 を置き換えられません: %2").arg(path_, systemReason(ec.value())));
        syncFolderOf(path_);
        if (plan.replaced)
            plan.replaced();
    }
    step(RewriteStep::Renamed);
    return true;
}

RecordReader::RecordReader(const QString &path, qsizetype recordLength)
    : file_(path), recordLength_(recordLength)
{
    if (file_.open(QIODevice::ReadOnly))
        count_ = int(std::min<qint64>(file_.size() / recordLength_, std::numeric_limits<int>::max()));
}

std::optional<QByteArray> RecordReader::read(int n)
{
    if (n < 1 || n > count_)
        return std::nullopt;
    if (!file_.seek(qint64(n - 1) * recordLength_))
        return std::nullopt;
    QByteArray data = file_.read(recordLength_);
    if (data.size() != recordLength_)
        return std::nullopt;
    return data;
}

QByteArray RecordReader::readPart(int n, qsizetype offset, qsizetype length)
{
    if (n < 1 || n > count_ || offset < 0 || offset + length > recordLength_)
        return QByteArray();
    if (!file_.seek(qint64(n - 1) * recordLength_ + offset))
        return QByteArray();
    return file_.read(length);
}

}  // namespace korvane
