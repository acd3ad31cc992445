#include "history_quicksave.h"

#include "common/paths.h"

#include <QRegularExpression>

namespace korvane::mail {
namespace {

// Room for ".txt" within the 255 bytes a name may take on common file systems.
constexpr qsizetype MaxNameBytes = 240;

QChar fullWidth(QChar c)
{
    switch (c.unicode()) {
    case u'/': return QChar(0xFF0F);
    case u'\\': return QChar(0xFF3C);
    case u':': return QChar(0xFF1A);
    case u'*': return QChar(0xFF0A);
    case u'?': return QChar(0xFF1F);
    case u'"': return QChar(0x201D);
    case u'<': return QChar(0xFF1C);
    case u'>': return QChar(0xFF1E);
    case u'|': return QChar(0xFF5C);
    default: return c;
    }
}

}  // namespace

QString quickSaveFileName(const QString &subject)
{
    QString name;
    name.reserve(subject.size());
    for (QChar c : subject) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            name += u'_';
        else
            name += fullWidth(c);
    }
    // Names may not end in a blank or a dot on every system.
    while (!name.isEmpty() && (name.back() == u' ' || name.back() == u'.'))
        name.chop(1);
    if (name.isEmpty())
        name = QStringLiteral("無題");

    static const QRegularExpression reserved(QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])$"),
                                             QRegularExpression::CaseInsensitiveOption);
    if (reserved.match(name).hasMatch())
        name += u'_';

    while (name.toUtf8().size() > MaxNameBytes) {
        name.chop(1);
        if (!name.isEmpty() && name.back().isHighSurrogate())
            name.chop(1);
    }
    return name + QStringLiteral(".txt");
}

QString quickSavePath(const QString &subject)
{
    const QString folder = QString::fromUtf16(paths::QuickSaveFolder);
    paths::ensureFolder(folder);
    return paths::resolve(folder + quickSaveFileName(subject));
}

}  // namespace korvane::mail
