#pragma once
// The texts of a received mail, and attachment extraction into a folder.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QSet>
#include <QStringList>

#include <functional>
#include <optional>

class QFile;

namespace korvane::mime {

// Once before the first use and once after the last: GMime's global set-up
// (with the Japanese fallback charsets for undeclared 8-bit text) and clean-up.
void initialize();
void shutdown();

struct ReceivedTexts {
    QString subject;  // decoded
    QString date;     // the Date header's text
    QString from;     // decoded
    QString header;   // the header block, CR LF line ends, without the empty line
    QString body;
    bool hasHeader = false;
};

// Subject, date, from and header of a raw message (its body is not looked at).
ReceivedTexts headerTexts(const char *data, qsizetype size);
inline ReceivedTexts headerTexts(const QByteArray &raw) { return headerTexts(raw.constData(), raw.size()); }

// All texts; the body is the message's body section: transfer- and
// charset-decoded text when the message is a single text part, else the
// section as it stands (a multipart body with its boundaries, part headers and
// encoded parts), CR LF line ends.
ReceivedTexts messageTexts(const QByteArray &raw);

// Result of extractAttachments.
struct Extraction {
    int result = 1;          // 1 done, -5 an attachment could not be written, -6 incomplete message/partial
    ReceivedTexts texts;     // body: the readable text (every inline text part in order, the plain form of
                             // an alternative when it has one, HTML as text), parts parted by a line
    QStringList savedFiles;  // absolute paths, in the order of the parts
    QString error;           // what failed, for the user
};
// Parses the whole message with GMime, saves every attachment into `folder`
// (created when needed, only when there is something to save) under a safe
// name that never replaces an existing file.
// A message whose structure is far beyond any real mail (tens of thousands of
// parts, hundreds of thousands of header fields, tens of thousands of
// parameters, thousands of parameter sections) is not taken apart: its body is its readable text as it stands.
// Each saved file is on the disk when this returns, unless the caller puts
// the folder's files on the disk itself (FileSync::ByCaller).
enum class FileSync { EachFile, ByCaller };
// `stop`, asked before each file, ends the saving when it says so (-5).
Extraction extractAttachments(const QByteArray &raw, const QString &folder, FileSync sync = FileSync::EachFile,
                              const std::function<bool()> &stop = {});

// The texts of a whole message as extractAttachments gives them (the body
// its readable text, full Unicode), with nothing saved anywhere. Needs no
// initialize() of the caller's: it keeps GMime set up from its first call on.
ReceivedTexts readableTexts(const QByteArray &raw);
// The readable text of a message file (a kept original); nothing when the
// file cannot be read.
std::optional<QString> readableTextOfFile(const QString &path);

// An attachment name reduced to a safe base name for any file system: the
// last path component only, no control characters or characters a file
// system refuses, no leading or trailing dots and blanks, no device names,
// at most 200 bytes in UTF-8. `fallback` when nothing usable is left.
QString safeFileName(const QString &name, const QString &fallback);

// `folder`/`name`, or "name (2).ext", "name (3).ext", ... for the first that
// does not exist (letter case aside); the file is created empty
// (exclusively, readable by its owner only), so a name is never taken
// twice. Empty when no file can be created.
QString createUniqueFile(const QString &folder, const QString &name);
// The same, with the names already taken in the folder (case-folded), which
// it keeps up to date: one listing of the folder serves many files. With
// `file`, the file is left open in it for writing. With `nextNumbers` (kept
// by the caller for a run of files, by case-folded name), a name's search
// goes on where its last one ended: many files of one name in linear time.
QString createUniqueFile(const QString &folder, const QString &name, QSet<QString> *taken, QFile *file = nullptr,
                         QHash<QString, qint64> *nextNumbers = nullptr);

}  // namespace korvane::mime
