#pragma once
// The mail histories: received and sent mail in files of fixed 32284-byte
// records under the data folder.
//
//   offset     bytes  field
//   0          100    subject   (CP932, space-padded)
//   100        90     date
//   190        90     address
//   280        32000  body      (its last 64 bytes name the kept original,
//                                 when there is one: see OriginalTrailerWidth)
//   32280      2      lineEnd   CR LF
//   32282      2      live      16-bit little-endian, 1 live, 0 marked
#include "common/recordfile.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace korvane::mail {

enum class HistoryKind { Received, Sent };

constexpr qsizetype MailRecordLength = 32284;

struct MailRecord {
    QString subject;
    QString date;
    QString address;
    QString body;
    bool live = true;
    // The file name (no folder) of the mail as it went over the wire, kept
    // under the kind's originals folder; empty when the record names none.
    QString original;
};

// A record whose mail is kept whole names that file in the last bytes of its
// body field: a NUL (so that every reader of the body text stops before it),
// a tag and the file name, NUL-padded. The body text then holds at most
// 32000 - OriginalTrailerWidth bytes. The name travels with the record
// through every rewrite, whatever number the record has.
constexpr qsizetype OriginalTrailerWidth = 64;

// The folder (under the program folder) where mails of `kind` are kept whole:
// "受信原本" and "送信原本".
QString originalsFolderName(HistoryKind kind);
// The absolute path of the file that holds the whole mail of `record`, or an
// empty string when the record names none or the file is gone. Records
// written before names were kept are matched through the note that names the
// original in their body.
QString originalPath(HistoryKind kind, const MailRecord &record);

// What a history list shows of one record, read without decoding the body.
struct MailListEntry {
    QString subject;
    QString date;
    QString address;
};

// Absolute path of the history file of `kind` (and of its work copy).
QString historyPath(HistoryKind kind);
QString historyWorkPath(HistoryKind kind);

// Appends a record; returns its number, or 0 when it could not be stored
// (history full, disk full, folder not writable) with the reason in *error.
// The record is on disk when this returns; with Durability::Written it is
// with the operating system, and syncMailHistory puts it on disk.
// `original` names the kept original (MailRecord::original), if any.
int appendMailRecord(HistoryKind kind, const QString &subject, const QString &date, const QString &address,
                     const QString &body, QString *error = nullptr,
                     RecordFile::Durability durability = RecordFile::Durability::OnDisk,
                     const QString &original = QString());
// Appends the records of one kind for a run of appends (a mail check), with
// the file held open between them (RecordAppender); otherwise as
// appendMailRecord.
class MailHistoryAppender {
public:
    explicit MailHistoryAppender(HistoryKind kind);
    int append(const QString &subject, const QString &date, const QString &address, const QString &body,
               QString *error = nullptr, RecordFile::Durability durability = RecordFile::Durability::OnDisk,
               const QString &original = QString());

private:
    HistoryKind kind_;
    RecordAppender file_;
};
// The name a mail is kept under in an originals folder: the date it was
// written (its Date header) and a digest of its bytes, so that the same mail
// is kept once.
QString originalFileName(const QByteArray &digest, const QString &dateHeader);

// A mail's body as its record can hold it (received or sent). The record keeps
// 32000 bytes of code page 932 and ends at its first NUL; when the body does
// not fit whole (too long, NULs, characters shown as "〓"), what fits is
// kept and a last line says so and names `originalName`, the file under
// the originals folder that holds the whole mail. *lost (if given) is set
// when anything did not fit.
// `reserve` bytes are left free at the end for lines added later; room for
// the name of the original (OriginalTrailerWidth) is always left.
QString bodyForRecord(const QString &body, const QString &originalName, bool *lost = nullptr, qsizetype reserve = 0);
inline QString receivedBodyForRecord(const QString &body, const QString &originalName, bool *lost = nullptr,
                                     qsizetype reserve = 0)
{
    return bodyForRecord(body, originalName, lost, reserve);
}
// The address field's width in bytes.
constexpr qsizetype MailAddressWidth = 90;

// Flushes the history file of `kind` to the disk.
bool syncMailHistory(HistoryKind kind, QString *error = nullptr);
// Record n, or nothing past the last whole record. Fields are trimmed of
// leading and trailing spaces.
std::optional<MailRecord> readMailRecord(HistoryKind kind, int n);
// Number of whole records.
int mailRecordCount(HistoryKind kind);
// The list columns of every record, in file order.
std::vector<MailListEntry> readMailList(HistoryKind kind);
// Deleting records. The records go from every reader at once (the list,
// readMailRecord, mailRecordCount number the records that stay); the file is
// rewritten crash-safely through its work copy on a thread of its own, one
// deletion after another, while appends go on (RecordFile::rewrite). Each
// record's kept original (originalPath) goes once the new history is on the
// disk, unless a record that stays names the same file. A failed rewrite
// brings the records back and is told through historyWrites().
//
// Queues the deletion of records `numbers` (as the readers number them now)
// and returns at once; false, with the reason, for a number that names no
// record.
bool deleteMailRecordsLater(HistoryKind kind, QList<int> numbers, QString *error = nullptr);
// Queues the deletion of every record there is now (not of those appended
// while it runs).
void deleteAllMailRecordsLater(HistoryKind kind);
// True when one of records `numbers` (as the readers number them; the
// first 200 are looked at) has its mail kept in the originals folder; with
// no numbers, when that folder holds any mail.
bool anyKeptOriginal(HistoryKind kind, const QList<int> &numbers);
// Waits until every queued deletion is done.
void waitForHistoryWrites();
// Deletes record n / every record and returns when the file is replaced,
// with the outcome.
bool deleteMailRecord(HistoryKind kind, int n, QString *error = nullptr);
bool deleteAllMailRecords(HistoryKind kind, QString *error = nullptr);

// Tells the user-interface thread how queued deletions ended. Created on the
// first call, which must come from the user-interface thread.
class HistoryWrites : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    // The file of `kind` (HistoryKind as a number: 0 received, 1 sent) no
    // longer holds the deleted records and is on the disk. `renumbered`:
    // records marked deleted by another program were dropped too, so the
    // list must be read again.
    void written(int kind, bool renumbered);
    // The deletion failed; the records are back.
    void failed(int kind, const QString &error);
};
HistoryWrites *historyWrites();

// Every record, bodies included, in file order. Holds the whole history in
// memory: the history window reads the list with readMailList instead.
std::vector<MailRecord> readAllMailRecords(HistoryKind kind);

// The record buffer of each kind: the record last read (readMailRecord,
// readAllMailRecords, the history window's selection) or appended. The reply
// window takes the answered mail's body from the received buffer. Empty until
// a record of that kind was read or written in this run.
std::optional<MailRecord> lastMailRecord(HistoryKind kind);

// The bytes of one record as the files hold them (fields cut and padded,
// lineEnd CR LF, live 1), and the fields of such bytes (trimmed).
QByteArray encodeMailRecord(HistoryKind kind, const QString &subject, const QString &date,
                            const QString &address, const QString &body, const QString &original = QString());
MailRecord decodeMailRecord(const QByteArray &bytes);

}  // namespace korvane::mail
