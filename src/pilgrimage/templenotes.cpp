#include "templenotes.h"

#include "common/cp932.h"
#include "common/paths.h"
#include "common/recordfile.h"
#include "common/text.h"

#include <QDateTime>
#include <QFileInfo>
#include <QtEndian>

namespace korvane::pilgrimage {
namespace {

const QString ReadName = QStringLiteral("\\★MAilData\\Plxdata.data");
const QString WriteName = QStringLiteral("\\★MAilData\\plxdata.data");

constexpr qsizetype TextOffset = TempleNotePrefixLength;
constexpr qsizetype FlagOffset = TextOffset + TempleNoteTextLength;
constexpr qsizetype LineEndOffset = FlagOffset + 2;

// Every mail received shows the guide again, mostly of the same temple: the
// record read last is kept while the file stays as it was (a write of ours
// forgets it).
struct LastRead {
    QString path;
    qint64 size = -1;
    QDateTime modified;
    int n = 0;
    std::optional<TempleNoteRecord> record;
};

LastRead &lastRead()
{
    static LastRead last;
    return last;
}

}  // namespace

QByteArray encodeTempleNote(const TempleNoteRecord &record)
{
    QByteArray out;
    out.reserve(TempleNoteLength);
    QByteArray prefix = record.prefix.left(TempleNotePrefixLength);
    prefix.append(TempleNotePrefixLength - prefix.size(), ' ');
    out.append(prefix);
    out.append(cp932::field(record.noteText, TempleNoteTextLength));
    char flag[2];
    qToLittleEndian<qint16>(record.recordFlag, flag);
    out.append(flag, 2);
    out.append("\r\n", 2);
    return out;
}

TempleNoteRecord decodeTempleNote(const QByteArray &bytes)
{
    TempleNoteRecord r;
    QByteArray whole = bytes.left(TempleNoteLength);
    whole.append(TempleNoteLength - whole.size(), ' ');
    r.prefix = whole.left(TempleNotePrefixLength);
    r.noteText = cp932::decode(whole.constData() + TextOffset, TempleNoteTextLength);
    r.recordFlag = qFromLittleEndian<qint16>(whole.constData() + FlagOffset);
    return r;
}

QString templeNotesReadPath()
{
    return paths::resolve(ReadName);
}

QString templeNotesWritePath()
{
    return paths::resolve(WriteName);
}

int templeNoteCount()
{
    return RecordFile(templeNotesReadPath(), TempleNoteLength).count();
}

std::optional<TempleNoteRecord> readTempleNoteRecord(int n)
{
    LastRead &last = lastRead();
    const QString path = templeNotesReadPath();
    const QFileInfo info(path);
    const qint64 size = info.exists() ? info.size() : -1;
    const QDateTime modified = info.lastModified();
    if (last.n == n && last.path == path && last.size == size && last.modified == modified && size >= 0)
        return last.record;
    std::optional<QByteArray> bytes = RecordFile(path, TempleNoteLength).read(n);
    std::optional<TempleNoteRecord> record;
    if (bytes)
        record = decodeTempleNote(*bytes);
    last = LastRead{path, size, modified, n, record};
    return record;
}

bool writeTempleNoteRecord(int n, const TempleNoteRecord &record, QString *error)
{
    if (n < 1 || n > RecordFile::MaxRecords) {
        if (error)
            *error = QStringLiteral("record %1 is outside the file").arg(n);
        return false;
    }
    RecordFile file(paths::ensureParent(WriteName), TempleNoteLength);
    lastRead() = LastRead();
    return file.write(n, encodeTempleNote(record), error);
}

QString noteTextForDisplay(const QString &storedText)
{
    // A gap record (the file extended past its end) holds NUL bytes only.
    QString shown = replaceSeparator(trimAtNul(storedText.left(TempleNoteShownChars)), QStringLiteral("//"),
                                     QStringLiteral("\r\n"));
    // The notes box keeps line breaks as single characters.
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

QString noteTextForStorage(const QString &shownText)
{
    QString text = shownText;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar(u'\n'), QStringLiteral("\r\n"));
    return replaceSeparator(text, QStringLiteral("\r\n"), QStringLiteral("//"));
}

}  // namespace korvane::pilgrimage
