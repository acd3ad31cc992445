#pragma once
// Profile files in the Windows INI form ("[section]" lines, "key=value"
// lines), text in code page 932, with the semantics the program relies on:
//  - section and key names match without regard to letter case;
//  - reading a missing file, section or key gives the default;
//  - writing a key replaces its value where it stands, or adds it at the end
//    of its section, creating the section and the file as needed; every other
//    line of the file stays byte for byte as it was.
//
// Values are read with the blanks around them removed and one pair of
// surrounding quotes dropped, the way profile files always read them; a value
// that would not survive that (blanks at either end, or surrounded by the
// same quote) is written inside double quotes so it reads back exactly.
#include <QFileDevice>
#include <QString>

#include <optional>

namespace korvane::settings::profile {

// The value of `key` in `section`, or `defaultValue`. When `maxBytes` is
// positive the value is cut to at most that many bytes of code page 932
// (never splitting a double-byte character).
QString readString(const QString &path, const QString &section, const QString &key,
                   const QString &defaultValue = QString(), int maxBytes = 0);

// Writes `key` = `value` into `section`. The file is replaced in one step (a
// work copy renamed over it), so a crash leaves the old or the new file.
// With `permissions` the file ends up with exactly those (it never carries
// wider ones, not even while being written); otherwise an existing file keeps
// its own. Creates missing folders leading to the file. False, with the
// reason in *error, when the file cannot be written.
bool writeString(const QString &path, const QString &section, const QString &key, const QString &value,
                 std::optional<QFileDevice::Permissions> permissions = std::nullopt,
                 QString *error = nullptr);

}  // namespace korvane::settings::profile
