#pragma once
// The quick save ("TextQuickSave"): a mail as a text file named after its
// subject in the folder "\■TextQuickSave\".
#include <QString>

namespace korvane::mail {

// A file name (with ".txt") made from a subject that stays inside the quick
// save folder on every system: path separators, ":" and the other characters
// file systems refuse become their full-width forms, control characters
// (NUL included) become "_", trailing blanks and dots go, reserved device
// names get a "_", overlong names are cut, and an empty or dots-only subject
// becomes "無題". An ordinary subject keeps its name unchanged.
QString quickSaveFileName(const QString &subject);

// The file's path under the program folder (the folder is created when
// missing).
QString quickSavePath(const QString &subject);

}  // namespace korvane::mail
