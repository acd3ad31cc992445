#pragma once
// The address book: pairs of a display name and a mail address kept in a file
// of 184-byte records, "\\★MAilData\\Plxdata20.data", oldest first. The preset
// address list "\\★MAilData\\PLXASTER20.INI" has the same record format and is
// only ever read.
//
// Record layout (184 bytes, no header, record n from 1 at (n - 1) * 184):
//   0   90  name     code page 932, space-filled to the width, cut at byte 90
//   90   2  lineEnd  0x0D 0x0A
//   92   2  live     16-bit signed little-endian: 1 live, 0 marked deleted
//   94  90  address  code page 932, space-filled, cut at byte 90
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace korvane::addressbook {

inline constexpr qsizetype RecordLength = 184;
inline constexpr qsizetype NameOffset = 0;
inline constexpr qsizetype NameWidth = 90;
inline constexpr qsizetype LineEndOffset = 90;
inline constexpr qsizetype LiveOffset = 92;
inline constexpr qsizetype AddressOffset = 94;
inline constexpr qsizetype AddressWidth = 90;

inline constexpr const char16_t *BookFile = u"\\★MAilData\\Plxdata20.data";
inline constexpr const char16_t *BookWorkFile = u"\\★MAilData\\PLXDATA20.TMP";
inline constexpr const char16_t *PresetListFile = u"\\★MAilData\\PLXASTER20.INI";

// The two files made of address records.
enum class Source {
    Book,        // the address book, written by the address book window only
    PresetList,  // the preset address list, read only
};

// One record. `name` and `address` are the whole fields decoded from code
// page 932: trailing fill spaces (and anything after a NUL) are still there,
// so each reader trims as it needs (trimAtNul, trimAsciiSpaces).
struct AddressRecord {
    QString name;
    QString address;
    qint16 live = 1;
};

// The 184 bytes of a record; fields are fitted to their byte widths.
QByteArray encodeRecord(const AddressRecord &record);
// A record from its bytes (shorter input reads as if padded with NUL bytes).
AddressRecord decodeRecord(QByteArrayView bytes);

// The real path of the file (letter case resolved under the program folder).
QString pathOf(Source source);

// Whole records in the file; 0 for a missing file.
int count(Source source = Source::Book);
// Record n (from 1); nothing when n is before 1 or past the last whole record.
std::optional<AddressRecord> readRecord(int n, Source source = Source::Book);
// Every whole record in file order (record k is element k - 1). A missing file
// is created empty, as opening it always did.
QList<AddressRecord> readAll(Source source = Source::Book);

// Adds a live record after the last whole one and returns its number, or 0
// when it cannot be written (reason in *error). The texts are stored as given.
int addRecord(const QString &name, const QString &address, QString *error = nullptr);

// Removes record `n` (when n >= 1) together with every record already marked
// deleted, keeping the others in their order and renumbered without gaps. The
// file is rewritten through the work copy "PLXDATA20.TMP", so a crash at any
// moment leaves either the old book or the new one. n = 0 only drops marked
// records.
bool removeRecord(int n, QString *error = nullptr);

}  // namespace korvane::addressbook
