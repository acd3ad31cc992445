#include "testenv.h"

#include "common/paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#ifndef KORVANE_SOURCE_DATA
#error "KORVANE_SOURCE_DATA must name the data folder of the source tree"
#endif

namespace korvane::test {

TestProgramFolder::TestProgramFolder()
{
    paths::setProgramFolder(dir_.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path() + "/.settings");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path() + "/.settings");
}

TestProgramFolder::~TestProgramFolder()
{
    paths::setProgramFolder(QString());
}

QString TestProgramFolder::file(const QString &relative) const
{
    return paths::resolveUnder(dir_.path(), relative);
}

void TestProgramFolder::installData() const
{
    const QString source = QStringLiteral(KORVANE_SOURCE_DATA);
    QDirIterator it(source, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QString from = it.next();
        QString to = dir_.path() + "/" + QDir(source).relativeFilePath(from);
        QDir().mkpath(QFileInfo(to).absolutePath());
        QFile::remove(to);
        QFile::copy(from, to);
        QFile(to).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace korvane::test
