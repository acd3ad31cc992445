#pragma once
// The temple notes file "\★MAilData\Plxdata.data": one 2054-byte record per
// temple, record n holding the notes of temple n.
//
//   offset  bytes  field
//   0       50     prefix      carried over unchanged when a record is written back
//   50      2000   noteText    CP932, line breaks stored as "//", blank-padded
//   2050    2      recordFlag  16-bit little-endian, written as 1
//   2052    2      lineEnd     CR LF
#include <QByteArray>
#include <QString>

#include <optional>

namespace korvane::pilgrimage {

constexpr qsizetype TempleNoteLength = 2054;
constexpr qsizetype TempleNotePrefixLength = 50;
constexpr qsizetype TempleNoteTextLength = 2000;

struct TempleNoteRecord {
    QByteArray prefix = QByteArray(TempleNotePrefixLength, ' ');  // raw bytes
    QString noteText;  // as stored: "//" for line breaks, blanks kept
    qint16 recordFlag = 1;
};

QByteArray encodeTempleNote(const TempleNoteRecord &record);
TempleNoteRecord decodeTempleNote(const QByteArray &bytes);

// Path of the notes file as read ("Plxdata.data") and as written
// ("plxdata.data"); both name the same file.
QString templeNotesReadPath();
QString templeNotesWritePath();

// Number of whole records in the file (0 when it is missing).
int templeNoteCount();
// Record n, or nothing when it is not in the file.
std::optional<TempleNoteRecord> readTempleNoteRecord(int n);
// Writes record n, creating the file when missing; a number past the end
// extends the file.
bool writeTempleNoteRecord(int n, const TempleNoteRecord &record, QString *error = nullptr);

// The notes box text of a stored note: the whole note without the blanks
// that fill its field, "//" turned back into line breaks.
QString noteTextForDisplay(const QString &storedText);
// The stored form of a notes box text: line breaks become "//".
QString noteTextForStorage(const QString &shownText);
// Why a stored form cannot go into the note field whole (longer than 2000
// bytes of code page 932, or a character code page 932 cannot hold); empty
// when it fits.
QString noteTextProblem(const QString &storedText);

}  // namespace korvane::pilgrimage
