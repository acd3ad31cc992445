#pragma once
// Files of the program live under its program folder. Run from a folder that
// holds the program's data and can be written (a build, or a copy carried
// around), that folder is the program folder: the portable mode. Installed,
// the executable's folder holds no data and the program folder is
// $XDG_DATA_HOME/Korvane (~/.local/share/Korvane), created at the first
// start and seeded from the installed read-only data (share/korvane).
// Names are written the Windows way, relative to that folder
// ("\\★MAilData\\plxdata2.data"), and compared without regard to letter case:
// every existing component is matched case-insensitively, so "\\★MAilData\\"
// and "\\★MailData\\" reach one folder.
#include <QString>
#include <QStringList>

namespace korvane::paths {

// The program folder, without a trailing separator: the one set, else the
// folder of the running executable. Start-up sets it with
// prepareProgramFolder(); tests point it at a temporary folder.
QString programFolder();
void setProgramFolder(const QString &folder);

enum class Mode { Portable, Installed };

// Where the program folder is and where its first files come from.
struct FolderChoice {
    Mode mode = Mode::Portable;
    QString folder;
    // The read-only data copied into an installed program folder; empty when
    // none was found.
    QString seedFrom;
};

// Whether `folder` holds the program's data (its data folder or pictures).
bool holdsProgramData(const QString &folder);

// Chooses the program folder for an executable in `executableFolder`.
// `dataHome` is the user's data folder ($XDG_DATA_HOME); `sharedData` the
// installed read-only data folders to seed from, best first (the first that
// exists is taken; the executable's own folder comes last when it holds data
// but cannot be written).
FolderChoice chooseProgramFolder(const QString &executableFolder, const QString &dataHome,
                                 const QStringList &sharedData);

// Creates the folder of `choice` if it is missing (readable by its owner
// only) and copies into it every file of `choice.seedFrom` it does not hold
// yet; nothing the folder holds is overwritten. False with the reason in
// `error` when the folder cannot be created or a file cannot be copied.
bool makeProgramFolder(const FolderChoice &choice, QString *error);

// When an installed program folder gets its first files: at once, or once
// the start owns the folder (seedProgramFolder), so that a later start that
// only hands over to the running copy writes nothing into it.
enum class Seeding { Now, Later };

// The start of the program: chooses the program folder from the running
// executable and the environment (a folder already set is kept), makes and
// seeds it, and sets it. False with a message for the user in `error`.
bool prepareProgramFolder(QString *error, Seeding seeding = Seeding::Now);

// Copies the first files into the folder prepareProgramFolder made with
// Seeding::Later (nothing when there is nothing to copy, or done already).
bool seedProgramFolder(QString *error);

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
// The originals of sent mail, byte for byte as the server accepted them.
inline constexpr const char16_t *SentOriginalsFolder = u"\\送信原本\\";

}  // namespace korvane::paths
