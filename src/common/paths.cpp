#include "paths.h"
#include "reasons.h"

#include <utility>

#include "atomicfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <filesystem>
#include <system_error>

// Where the installed read-only data lies, seen from the installed
// executable's folder; the build sets it from its install folders.
#ifndef KORVANE_SHARED_DATA_FROM_BIN
#define KORVANE_SHARED_DATA_FROM_BIN "../share/korvane"
#endif

namespace korvane::paths {
namespace {

QString &folderOverride()
{
    static QString folder;
    return folder;
}

QStringList components(const QString &relative)
{
    QString r = relative;
    r.replace(u'\\', u'/');
    return r.split(u'/', Qt::SkipEmptyParts);
}

std::filesystem::path fsPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString reason(const std::error_code &ec)
{
    return systemReason(ec.value());
}

// The pictures are the program's own and never change under the program
// folder: a copy there that differs from its source was cut short (a full
// disk at an earlier start) and is copied again.
bool isProgramPicture(const QString &relative)
{
    return relative.section(u'/', 0, 0).compare(u"pictures", Qt::CaseInsensitive) == 0;
}

QByteArray contentOf(const QString &path, QString *why)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        *why = deviceReason(in);
        return {};
    }
    QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        *why = deviceReason(in);
    return bytes;
}

// Copies every file under `from` that `to` does not hold yet (names matched
// without regard to letter case), and every picture whose copy differs from
// its source. Each copy goes through the checked atomic write and is read
// back: a copy that does not hold its source's bytes is an error, and since
// nothing short is ever left in place, a later start copies it again.
bool seed(const QString &from, const QString &to, QString *error)
{
    const QDir source(from);
    QDirIterator it(from, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString relative = source.relativeFilePath(file);
        const QString target = resolveUnder(to, relative);
        if (QFileInfo(target).isSymLink())
            continue;
        QString why;
        QByteArray bytes;
        if (QFileInfo::exists(target)) {
            if (!isProgramPicture(relative))
                continue;
            bytes = contentOf(file, &why);
            QString ignored;
            if (why.isEmpty() && QFileInfo(target).size() == bytes.size() && contentOf(target, &ignored) == bytes)
                continue;
        }
        std::error_code ec;
        std::filesystem::create_directories(fsPath(QFileInfo(target).absolutePath()), ec);
        if (ec)
            why = reason(ec);
        if (why.isEmpty() && bytes.isEmpty())
            bytes = contentOf(file, &why);
        if (why.isEmpty()) {
            if (!replaceFile(target, bytes, &why,
                             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther)) {
            } else if (QString readBack; contentOf(target, &readBack) != bytes) {
                why = readBack.isEmpty() ? QStringLiteral("コピーした内容が元のファイルと一致しません。") : readBack;
                QFile::remove(target);
            }
        }
        if (!why.isEmpty()) {
            *error = QStringLiteral("「%1」を「%2」にコピーできません。\n%3")
                         .arg(QDir::toNativeSeparators(file), QDir::toNativeSeparators(target), why);
            return false;
        }
    }
    return true;
}

}  // namespace

QString programFolder()
{
    const QString &o = folderOverride();
    if (!o.isEmpty())
        return o;
    return QCoreApplication::applicationDirPath();
}

void setProgramFolder(const QString &folder)
{
    QString f = folder;
    while (f.size() > 1 && (f.endsWith(u'/') || f.endsWith(u'\\')))
        f.chop(1);
    folderOverride() = f;
}

QString resolveUnder(const QString &base, const QString &relative)
{
    const QStringList parts = components(relative);
    // A name that exists as written is what the walk below would find: one
    // look-up then, not one per folder (files are looked up for every mail).
    QString written = base;
    for (const QString &part : parts)
        if (part != u".")
            written += u'/' + part;
    if (!parts.isEmpty() && QFileInfo::exists(written))
        return written;
    QString current = base;
    bool exists = QFileInfo(current).isDir();
    for (const QString &part : parts) {
        if (part == u".")
            continue;
        QString next = current + u'/' + part;
        bool found = exists && QFileInfo::exists(next);
        if (exists && !found) {
            // Look for the same name in another letter case.
            const QStringList entries = QDir(current).entryList(
                QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            for (const QString &entry : entries) {
                if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                    next = current + u'/' + entry;
                    found = true;
                    break;
                }
            }
        }
        current = next;
        exists = found;
    }
    return current;
}

QString resolve(const QString &relative)
{
    return resolveUnder(programFolder(), relative);
}

QString ensureFolder(const QString &relative)
{
    QString path = resolve(relative);
    QDir().mkpath(path);
    return path;
}

QString ensureParent(const QString &relative)
{
    QString path = resolve(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    return path;
}

bool holdsProgramData(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    return QFileInfo(resolveUnder(folder, QString::fromUtf16(DataFolder))).isDir() ||
           QFileInfo(resolveUnder(folder, QStringLiteral("pictures"))).isDir();
}

FolderChoice chooseProgramFolder(const QString &executableFolder, const QString &dataHome,
                                 const QStringList &sharedData)
{
    FolderChoice choice;
    if (holdsProgramData(executableFolder) && QFileInfo(executableFolder).isWritable()) {
        choice.mode = Mode::Portable;
        choice.folder = QDir::cleanPath(executableFolder);
        return choice;
    }
    choice.mode = Mode::Installed;
    if (!dataHome.isEmpty())
        choice.folder = QDir::cleanPath(dataHome + QStringLiteral("/Korvane"));
    for (const QString &candidate : sharedData) {
        if (holdsProgramData(candidate)) {
            choice.seedFrom = QDir::cleanPath(candidate);
            break;
        }
    }
    return choice;
}

bool makeProgramFolder(const FolderChoice &choice, QString *error)
{
    QString ignored;
    if (!error)
        error = &ignored;
    if (choice.folder.isEmpty()) {
        *error = QStringLiteral("プログラムのフォルダを作成できません。\n"
                                "XDG_DATA_HOME も HOME も設定されていません。");
        return false;
    }
    const std::filesystem::path folder = fsPath(choice.folder);
    std::error_code ec;
    const bool created = std::filesystem::create_directories(folder, ec);
    if (!ec && !std::filesystem::is_directory(folder, ec) && !ec)
        ec = std::make_error_code(std::errc::not_a_directory);
    if (ec) {
        *error = QStringLiteral("プログラムのフォルダ「%1」を作成できません。\n%2")
                     .arg(QDir::toNativeSeparators(choice.folder), reason(ec));
        return false;
    }
    // It holds the user's mail and account: the owner's alone.
    if (created)
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
    if (choice.mode == Mode::Installed && !choice.seedFrom.isEmpty())
        return seed(choice.seedFrom, choice.folder, error);
    return true;
}

namespace {

// What prepareProgramFolder left for seedProgramFolder: the folder to copy from.
QString &pendingSeed()
{
    static QString from;
    return from;
}

}  // namespace

bool prepareProgramFolder(QString *error, Seeding seeding)
{
    FolderChoice choice;
    if (!folderOverride().isEmpty()) {
        choice.folder = folderOverride();
        return makeProgramFolder(choice, error);
    }
    const QString executableFolder = QCoreApplication::applicationDirPath();
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QStringList shared{QDir::cleanPath(executableFolder + QStringLiteral("/" KORVANE_SHARED_DATA_FROM_BIN))};
    for (const QString &dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        if (dir != dataHome)
            shared << dir + QStringLiteral("/korvane");
    }
    // A copy on read-only media seeds from itself.
    shared << executableFolder;
    choice = chooseProgramFolder(executableFolder, dataHome, shared);
    if (seeding == Seeding::Later && choice.mode == Mode::Installed)
        pendingSeed() = std::exchange(choice.seedFrom, QString());
    if (!makeProgramFolder(choice, error))
        return false;
    setProgramFolder(choice.folder);
    return true;
}

bool seedProgramFolder(QString *error)
{
    const QString from = std::exchange(pendingSeed(), QString());
    return from.isEmpty() || makeProgramFolder({Mode::Installed, programFolder(), from}, error);
}

}  // namespace korvane::paths
