#pragma once
// Every whole file the program writes (settings, the mail check's journal and
// lists, the sent originals, the mail being written, palette pages, the
// editor's files, the pictures copied into a new program folder) is replaced in one
// checked step: the new content goes into a work copy beside the file, is
// pushed to the disk and checked, and only then takes the file's place; the
// folder entry is flushed after the rename. A failure at any step (a full
// disk among them) drops the work copy and leaves the old file byte for byte,
// with the system's reason told.
#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <optional>

namespace korvane {

// Files that hold the user's mail, account or addresses: the owner's alone.
inline constexpr QFileDevice::Permissions OwnerOnlyPermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Replaces the whole of `path` with `bytes` (its folder must exist). With `permissions` the file ends up with exactly those (the
// work copy carries them before any byte is written into it); otherwise an
// existing file keeps its own and a new one gets the usual ones. On failure
// *reason holds the system's reason alone, for a caller that words the
// message itself.
bool replaceFile(const QString &path, const QByteArray &bytes, QString *reason,
                 std::optional<QFileDevice::Permissions> permissions = std::nullopt);

// replaceFile, with the message for the user on failure in *error: what
// could not be saved, that the old file is kept, and the system's reason.
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error = nullptr,
                         std::optional<QFileDevice::Permissions> permissions = std::nullopt);

// Removes `path` and flushes its folder entry; a file that is not there is
// removed already. False with the system's reason in *reason when it stays.
bool removeFile(const QString &path, QString *reason);

// Creates `path` empty when it is missing (with its folders), with exactly
// `permissions`; an existing file is left as it is. False with the reason in
// *error when it cannot be made.
bool createFileIfMissing(const QString &path, QFileDevice::Permissions permissions, QString *error = nullptr);

}  // namespace korvane
