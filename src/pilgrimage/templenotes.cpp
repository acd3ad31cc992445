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
    // A gap record (the file extended past its end) holds NUL bytes only; the
    // blanks that fill the field behind the note are not part of it.
    QString note = trimAtNul(storedText);
    qsizetype end = note.size();
    while (end > 0 && note[end - 1] == u' ')
        --end;
    note.truncate(end);
    QString shown = replaceSeparator(note, QStringLiteral("//"), QStringLiteral("\r\n"));
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

QString noteTextProblem(const QString &storedText)
{
    for (qsizetype i = 0; i < storedText.size(); ++i) {
        const qsizetype len = storedText[i].isHighSurrogate() && i + 1 < storedText.size() ? 2 : 1;
        const QString c = storedText.mid(i, len);
        if (!cp932::canEncode(c))
            return QStringLiteral("メモに保存できない文字「%1」があります。").arg(c);
        i += len - 1;
    }
    const qsizetype bytes = cp932::encode(storedText).size();
    if (bytes > TempleNoteTextLength)
        return QStringLiteral("メモが長すぎます（%1バイト）。全角1000文字、半角2000文字までにして下さい（改行は半角2文字分）。")
            .arg(bytes);
    return QString();
}

}  // namespace korvane::pilgrimage
