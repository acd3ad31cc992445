#pragma once
// Text files of the editor and of the quick save: code page 932 with CR LF
// line breaks, no header of their own.
#include <QFileDevice>
#include <QString>

#include <optional>

namespace korvane::texttools {

// The text after the last path separator ("\" or "/"); the whole path when it
// has none.
QString fileNamePart(const QString &path);
// The path up to and including its last separator; the whole path when it
// has none.
QString directoryPart(const QString &path);

// Reads a text file line by line and gives each line followed by CR LF: the
// result always ends in CR LF, an empty file gives an empty text. A line ends
// at CR LF, a lone CR or a lone LF. Nothing when the file cannot be read.
std::optional<QString> readTextFileLines(const QString &path, QString *error = nullptr);

// Writes `text` as the file's whole content (replacing it) in code page 932,
// every line break written as CR LF, through the checked atomic write
// (replaceFile): the old file stays as it was when the write fails, and
// *error holds the system's reason. With `permissions` the file ends up with
// exactly those, set on the work copy before any byte goes into it.
bool writeTextFile(const QString &path, const QString &text, QString *error = nullptr,
                   std::optional<QFileDevice::Permissions> permissions = std::nullopt);

// Line breaks as the editor boxes hold them (LF); toCrLf (common/text.h)
// gives them back as the files hold them.
QString toLf(const QString &text);

// "Subject:  s" CR LF "From:  f" CR LF "Date:  d" CR LF "Body:  b": the header
// block that save-as and the quick save put in front of a body.
QString withMailHeader(const QString &subject, const QString &from, const QString &date, const QString &body);

}  // namespace korvane::texttools
