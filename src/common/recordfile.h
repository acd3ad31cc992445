#pragma once
// A file of fixed-length records with no header: record n (from 1) starts at
// byte (n - 1) * recordLength. Used by the mail histories, the address book and
// the temple notes.
//
// Durability: appends and writes are flushed to disk before they return
// (an append may leave that to a later sync() when its caller makes sure
// nothing depends on the record before then); a rewrite writes the kept records to a work copy, flushes it and renames it
// over the file, so a crash at any moment leaves the old file or the new one.
//
// Threads: every change to a file (append, write, the end of a rewrite)
// holds the file's lock (lockFor), so a rewrite may run on a thread of its
// own while another thread appends: the records appended while it copied are
// taken over before the work copy replaces the file, and an append never
// lands in a file that is being replaced.
#include "reasons.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace korvane {

class RecordFile {
public:
    // Record numbers are 16-bit: a record file holds at most this many records.
    static constexpr int MaxRecords = 32767;

    RecordFile(QString path, qsizetype recordLength);

    const QString &path() const { return path_; }
    qsizetype recordLength() const { return recordLength_; }

    // File length in bytes; 0 for a missing file.
    qint64 byteLength() const;
    // Whole records in the file; a torn tail does not count.
    int count() const;
    // The number an append writes: file length / record length + 1, rounded
    // to the nearest whole number, halves to even.
    int nextNumberRounded() const;

    // Record n, or nothing when n is before 1 or the record is not whole.
    std::optional<QByteArray> read(int n) const;

    // Writes record n (padded with NUL bytes or cut to the record length),
    // creating the file when missing; a number past the end extends it.
    bool write(int n, QByteArrayView record, QString *error = nullptr);

    // How far an append goes before it returns: to the disk, or to the
    // operating system (the record survives the program being killed, not a
    // power cut, until sync()).
    enum class Durability { OnDisk, Written };

    // Appends a record and returns its number, or 0 on failure (with the
    // reason in *error). A torn tail is cut off first, so it can never turn
    // into a record of garbage. Refused when the file already holds
    // MaxRecords records.
    int append(QByteArrayView record, QString *error = nullptr, Durability durability = Durability::OnDisk);

    // Flushes what earlier appends wrote to the disk. True for a missing file.
    bool sync(QString *error = nullptr) const;

    // Rewrites the file keeping, in their order, the records for which keep()
    // answers true. The kept records are written to workPath, flushed, then
    // renamed over the file. A missing file is left missing.
    //
    // The copy runs without the file's lock; records appended meanwhile are
    // then copied under it (keep() is asked about them too), and the work
    // copy replaces the file while it is held. Records for which
    // dropUnread() answers true are left out without being read. replaced()
    // runs under the lock right after the new file took the old one's
    // place, for state that must change with the file.
    struct Plan {
        std::function<bool(int n)> dropUnread;
        std::function<void()> replaced;
    };
    bool rewrite(const QString &workPath, const std::function<bool(int n, QByteArrayView record)> &keep,
                 QString *error = nullptr, const Plan &plan = Plan());

    // The lock that every change to the file at `path` holds (one per file in
    // this process). Readers that must see the file together with state kept
    // beside it take it too, briefly.
    static std::mutex &lockFor(const QString &path);

    // Test hook: called at each step of a rewrite. A hook that throws
    // simulates a crash at that moment.
    enum class RewriteStep { WorkCopyOpened, RecordCopied, WorkCopyFlushed, Renamed };
    static void setRewriteHook(std::function<void(RewriteStep)> hook);

private:
    QString path_;
    qsizetype recordLength_;
};

// Appends records to one file for a run of appends (a mail check taking in
// many mails), holding the file open between them. Each append first makes
// sure the path still names the file held, at the length the last append
// left: a file replaced, cut or added to meanwhile (records deleted in
// another window) is opened anew, as a single append would open it. The
// same rules as RecordFile::append otherwise.
class RecordAppender {
public:
    RecordAppender(QString path, qsizetype recordLength);

    const QString &path() const { return path_; }
    int append(QByteArrayView record, QString *error = nullptr,
               RecordFile::Durability durability = RecordFile::Durability::OnDisk);

private:
    bool holdsTheFileAtPath() const;

    QString path_;
    QByteArray encodedPath_;
    qsizetype recordLength_;
    QFile file_;
    qint64 length_ = 0;  // as the last append left the file
    quint64 device_ = 0;
    quint64 inode_ = 0;
};

// Reads records from one open file for the length of one operation.
class RecordReader {
public:
    RecordReader(const QString &path, qsizetype recordLength);

    bool isOpen() const { return file_.isOpen(); }
    int count() const { return count_; }
    // Record n whole, or nothing past the last whole record.
    std::optional<QByteArray> read(int n);
    // `length` bytes at `offset` inside record n (empty past the end).
    QByteArray readPart(int n, qsizetype offset, qsizetype length);

private:
    QFile file_;
    qsizetype recordLength_;
    int count_ = 0;
};

// Flushes a file's data to the disk (not only to the operating system).
bool syncToDisk(QFile &file);
// The same, with the system's reason for a failure in *reason.
bool syncToDisk(QFile &file, QString *reason);

// Why an operation on `file` failed: the device's own error text when it has
// one, else the text for `err` (an errno saved right after the failing call),
// never a bare "unknown error"; in Japanese as systemReason().
QString failureReason(const QFileDevice &file, int err);
// Flushes the folder entry of `path` after a rename (no-op where unsupported).
void syncFolderOf(const QString &path);

}  // namespace korvane
