#pragma once
// Why an operation on files failed, told to the user in Japanese.
#include <QIODevice>
#include <QString>

namespace korvane {

// The system's reason for a failed operation on files (`err`: an errno), in
// Japanese where it is a common one (a full disk or quota, no permission, a
// missing file or folder, a read-only disk, an input/output error, too many
// open files, a file or name too long, a busy file); any other stays in the
// system's words.
QString systemReason(int err);
// The same for a reason already put into words: the C library's text or
// Qt's (which words the commonest ones in English whatever the language).
QString inJapanese(const QString &reason);
// The reason `device` gives for its last failure, as inJapanese().
QString deviceReason(const QIODevice &device);

}  // namespace korvane
