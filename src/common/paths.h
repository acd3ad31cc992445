#pragma once
// Files of the program live under its program folder (the folder of the
// executable). Names are written the Windows way, relative to that folder
// ("\\★MAilData\\plxdata2.data"), and compared without regard to letter case:
// every existing component is matched case-insensitively, so "\\★MAilData\\"
// and "\\★MailData\\" reach one folder.
#include <QString>

namespace korvane::paths {

// The program folder, without a trailing separator. Defaults to the folder of
// the running executable; tests point it at a temporary folder.
QString programFolder();
void setProgramFolder(const QString &folder);

// The real path of `relative` under the program folder. Existing components
// are matched case-insensitively (an exact match wins); missing ones keep the
// spelling given. Both "\\" and "/" separate components.
QString resolve(const QString &relative);

// resolve() under an arbitrary base folder.
QString resolveUnder(const QString &base, const QString &relative);

// resolve() and create any missing folders of the result (the result itself
// is a folder).
QString ensureFolder(const QString &relative);

// resolve() for a file, creating any missing folders that lead to it.
QString ensureParent(const QString &relative);

// The names of the program's files and folders.
inline constexpr const char16_t *DataFolder = u"\\★MAilData\\";
inline constexpr const char16_t *AttachmentFolder = u"\\添付フォルダ\\";
inline constexpr const char16_t *QuickSaveFolder = u"\\■TextQuickSave\\";
inline constexpr const char16_t *PaletteFolder = u"\\顔文字データ\\";
// The originals of received mail, byte for byte, one .eml file each.
inline constexpr const char16_t *OriginalsFolder = u"\\受信原本\\";

}  // namespace korvane::paths
