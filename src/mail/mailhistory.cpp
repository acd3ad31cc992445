#include "mailhistory.h"

#include "common/cp932.h"
#include "common/paths.h"
#include "common/recordfile.h"
#include "common/text.h"

#include <QFile>
#include <QFileInfo>

#include <mutex>

namespace korvane::mail {
namespace {

constexpr qsizetype SubjectOffset = 0, SubjectWidth = 100;
constexpr qsizetype DateOffset = 100, DateWidth = 90;
constexpr qsizetype AddressOffset = 190, AddressWidth = MailAddressWidth;
constexpr qsizetype BodyOffset = 280, BodyWidth = 32000;
constexpr qsizetype LineEndOffset = 32280;
constexpr qsizetype LiveOffset = 32282;
constexpr qsizetype ListPartLength = BodyOffset;  // subject, date and address
constexpr qsizetype TrailerOffset = BodyOffset + BodyWidth - OriginalTrailerWidth;
constexpr QByteArrayView TrailerTag = "\0KORVANE-ORIGINAL:";

// A name that can stand in the trailer and be joined to a folder safely: no
// folders, no dots in front, ASCII only.
bool isOriginalName(QStringView name)
{
    if (name.isEmpty() || name.size() > OriginalTrailerWidth - TrailerTag.size() - 1 || name.startsWith(u'.'))
        return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (!((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-' || u == u'_'
              || u == u'.'))
            return false;
    }
    return true;
}

QByteArray originalTrailer(const QString &original)
{
    QByteArray t;
    if (!isOriginalName(original))
        return t;
    t.reserve(OriginalTrailerWidth);
    t += TrailerTag;
    t += original.toLatin1();
    t.append(OriginalTrailerWidth - t.size(), '\0');
    return t;
}

// The name a record's trailer holds, or nothing.
QString trailerName(const QByteArray &bytes)
{
    if (bytes.size() < TrailerOffset + OriginalTrailerWidth)
        return QString();
    const QByteArrayView trailer(bytes.constData() + TrailerOffset, OriginalTrailerWidth);
    if (!trailer.startsWith(TrailerTag))
        return QString();
    QByteArrayView name = trailer.sliced(TrailerTag.size());
    const qsizetype end = name.indexOf('\0');
    name = end < 0 ? name : name.first(end);
    const QString text = QString::fromLatin1(name);
    return isOriginalName(text) ? text : QString();
}

static_assert(LiveOffset + 2 == MailRecordLength);

QString relativeFile(HistoryKind kind)
{
    return QString::fromUtf16(paths::DataFolder) +
           (kind == HistoryKind::Received ? QStringLiteral("plxdata2.data") : QStringLiteral("plxdata5.data"));
}

QString relativeWork(HistoryKind kind)
{
    return QString::fromUtf16(paths::DataFolder) +
           (kind == HistoryKind::Received ? QStringLiteral("PLXDATA2.TMP") : QStringLiteral("PLXDATA5.TMP"));
}

// The record buffers, one per kind. An appended record is kept as its bytes
// and decoded only when asked for: the mail check appends one per mail.
struct Buffer {
    std::optional<MailRecord> record;
    QByteArray bytes;  // set instead of record after an append
};
struct Buffers {
    std::mutex lock;
    Buffer received;
    Buffer sent;
    Buffer &of(HistoryKind kind) { return kind == HistoryKind::Received ? received : sent; }
};

Buffers &buffers()
{
    static Buffers b;
    return b;
}

void remember(HistoryKind kind, const MailRecord &record)
{
    Buffers &b = buffers();
    std::lock_guard guard(b.lock);
    b.of(kind) = Buffer{record, QByteArray()};
}

void rememberBytes(HistoryKind kind, const QByteArray &bytes)
{
    Buffers &b = buffers();
    std::lock_guard guard(b.lock);
    b.of(kind) = Buffer{std::nullopt, bytes};
}

QString fieldText(const QByteArray &bytes, qsizetype offset, qsizetype width)
{
    if (bytes.size() < offset + width)
        return QString();
    return trimAsciiSpaces(cp932::decode(bytes.constData() + offset, width));
}

// A list cell: the decoded field up to its first NUL; the padding is dropped
// so that cells elide on their text, not on trailing blanks.
QString cellText(const QByteArray &bytes, qsizetype offset, qsizetype width)
{
    if (bytes.size() < offset + width)
        return QString();
    return trimAsciiSpaces(trimAtNul(cp932::decode(bytes.constData() + offset, width)));
}

qint16 liveFlag(QByteArrayView record)
{
    if (record.size() < MailRecordLength)
        return 0;
    auto lo = static_cast<unsigned char>(record[LiveOffset]);
    auto hi = static_cast<unsigned char>(record[LiveOffset + 1]);
    return qint16(quint16(lo | (hi << 8)));
}

// Opening a missing history creates it empty (with its folder), the way the
// list expects to find it afterwards. Returns the history's path.
QString openHistory(HistoryKind kind)
{
    QString path = paths::ensureParent(relativeFile(kind));
    if (!QFileInfo::exists(path)) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Append))
            f.close();
    }
    return path;
}

}  // namespace

QString historyPath(HistoryKind kind)
{
    return paths::resolve(relativeFile(kind));
}

QString historyWorkPath(HistoryKind kind)
{
    return paths::resolve(relativeWork(kind));
}

QString originalsFolderName(HistoryKind kind)
{
    const QString folder =
        QString::fromUtf16(kind == HistoryKind::Received ? paths::OriginalsFolder : paths::SentOriginalsFolder);
    return folder.mid(1, folder.size() - 2);
}

QString originalPath(HistoryKind kind, const MailRecord &record)
{
    QString name = record.original;
    if (name.isEmpty()) {
        // A record from before names were kept names its original only in the
        // note of a body that did not fit: 「受信原本/….eml」.
        const QString folder = originalsFolderName(kind);
        qsizetype at = record.body.lastIndexOf(QStringLiteral("「") + folder);
        if (at >= 0) {
            at += folder.size() + 2;  // 「, the folder and its separator
            const qsizetype end = record.body.indexOf(QStringLiteral("」"), at);
            if (end > at)
                name = record.body.mid(at, end - at);
        }
    }
    if (!isOriginalName(name))
        return QString();
    const QString path = paths::resolve(QStringLiteral("\\%1\\%2").arg(originalsFolderName(kind), name));
    return QFileInfo(path).isFile() ? path : QString();
}

QByteArray encodeMailRecord(HistoryKind kind, const QString &subject, const QString &date, const QString &address,
                            const QString &body, const QString &original)
{
    QByteArray r;
    r.reserve(MailRecordLength);
    r += cp932::field(trimAsciiSpaces(subject), SubjectWidth);
    // The sent history keeps the clock text as shown, blanks included.
    r += cp932::field(kind == HistoryKind::Sent ? date : trimAsciiSpaces(date), DateWidth);
    r += cp932::field(trimAsciiSpaces(address), AddressWidth);
    const QByteArray trailer = originalTrailer(original);
    r += cp932::field(trimAsciiSpaces(toCrLf(body)), BodyWidth - trailer.size());
    r += trailer;
    r += "\r\n";
    r += '\x01';
    r += '\0';
    Q_ASSERT(r.size() == MailRecordLength);
    return r;
}

MailRecord decodeMailRecord(const QByteArray &bytes)
{
    MailRecord m;
    m.subject = fieldText(bytes, SubjectOffset, SubjectWidth);
    m.date = fieldText(bytes, DateOffset, DateWidth);
    m.address = fieldText(bytes, AddressOffset, AddressWidth);
    m.original = trailerName(bytes);
    m.body = fieldText(bytes, BodyOffset, m.original.isEmpty() ? BodyWidth : BodyWidth - OriginalTrailerWidth);
    m.live = liveFlag(bytes) != 0;
    return m;
}

int appendMailRecord(HistoryKind kind, const QString &subject, const QString &date, const QString &address,
                     const QString &body, QString *error, RecordFile::Durability durability,
                     const QString &original)
{
    QByteArray bytes = encodeMailRecord(kind, subject, date, address, body, original);
    rememberBytes(kind, bytes);
    RecordFile file(historyPath(kind), MailRecordLength);  // the append makes a missing folder
    return file.append(bytes, error, durability);
}

MailHistoryAppender::MailHistoryAppender(HistoryKind kind) : kind_(kind), file_(historyPath(kind), MailRecordLength)
{
}

int MailHistoryAppender::append(const QString &subject, const QString &date, const QString &address,
                                const QString &body, QString *error, RecordFile::Durability durability,
                                const QString &original)
{
    QByteArray bytes = encodeMailRecord(kind_, subject, date, address, body, original);
    rememberBytes(kind_, bytes);
    return file_.append(bytes, error, durability);
}

QString receivedBodyForRecord(const QString &body, const QString &originalName, bool *lost, qsizetype reserve)
{
    QString text = trimAsciiSpaces(toCrLf(body));
    const qsizetype nuls = text.contains(QChar(u'\0')) ? text.count(QChar(u'\0')) : 0;
    if (nuls > 0)
        text.remove(QChar(u'\0'));
    qsizetype replaced = 0;
    const qsizetype room = qMax<qsizetype>(0, BodyWidth - OriginalTrailerWidth - reserve);
    // Every character takes at least one byte: what lies beyond the first
    // room + 1 characters cannot be kept, and is not converted.
    qsizetype considered = qMin(text.size(), room + 1);
    if (considered < text.size() && considered > 0 && text.at(considered - 1).isHighSurrogate())
        ++considered;
    const QByteArray bytes = cp932::encode(considered < text.size() ? text.left(considered) : text, &replaced);
    const bool fits = nuls == 0 && replaced == 0 && bytes.size() <= room;
    if (lost)
        *lost = !fits;
    if (fits)
        return text;
    QStringList what;
    if (bytes.size() > room)
        what << QStringLiteral("長すぎる部分を省略");
    if (replaced > 0)
        what << QStringLiteral("表示できない文字を〓に置換");
    if (nuls > 0)
        what << QStringLiteral("NUL文字を削除");
    const QString note = QStringLiteral("\r\n\r\n〓〓 この本文は履歴に全部は入りませんでした（%1）。元のメール全体は「%2」にあります。")
                             .arg(what.join(QStringLiteral("・")), originalName);
    const QByteArray noteBytes = cp932::encode(note);
    // What fits before the note, never half a character.
    const QByteArray kept = cp932::cutAt(bytes, qMax<qsizetype>(0, room - noteBytes.size()));
    return trimAsciiSpaces(cp932::decode(kept)) + note;
}

bool syncMailHistory(HistoryKind kind, QString *error)
{
    return RecordFile(historyPath(kind), MailRecordLength).sync(error);
}

std::optional<MailRecord> readMailRecord(HistoryKind kind, int n)
{
    if (n < 1 || n > RecordFile::MaxRecords)
        return std::nullopt;
    RecordFile file(historyPath(kind), MailRecordLength);
    std::optional<QByteArray> bytes = file.read(n);
    if (!bytes)
        return std::nullopt;
    MailRecord m = decodeMailRecord(*bytes);
    remember(kind, m);
    return m;
}

int mailRecordCount(HistoryKind kind)
{
    RecordFile file(historyPath(kind), MailRecordLength);
    return std::min(file.count(), RecordFile::MaxRecords);
}

std::vector<MailListEntry> readMailList(HistoryKind kind)
{
    QString path = openHistory(kind);
    RecordReader reader(path, MailRecordLength);
    std::vector<MailListEntry> list;
    if (!reader.isOpen())
        return list;
    const int count = std::min(reader.count(), RecordFile::MaxRecords);
    list.reserve(size_t(count));
    for (int n = 1; n <= count; ++n) {
        QByteArray part = reader.readPart(n, 0, ListPartLength);
        if (part.size() != ListPartLength)
            break;
        list.push_back({cellText(part, SubjectOffset, SubjectWidth), cellText(part, DateOffset, DateWidth),
                        cellText(part, AddressOffset, AddressWidth)});
    }
    return list;
}

std::vector<MailRecord> readAllMailRecords(HistoryKind kind)
{
    QString path = openHistory(kind);
    RecordReader reader(path, MailRecordLength);
    std::vector<MailRecord> records;
    const int count = std::min(reader.count(), RecordFile::MaxRecords);
    for (int n = 1; n <= count; ++n) {
        std::optional<QByteArray> bytes = reader.read(n);
        if (!bytes)
            break;
        records.push_back(decodeMailRecord(*bytes));
    }
    if (!records.empty())
        remember(kind, records.back());
    return records;
}

std::optional<MailRecord> lastMailRecord(HistoryKind kind)
{
    Buffers &b = buffers();
    std::lock_guard guard(b.lock);
    Buffer &buffer = b.of(kind);
    if (!buffer.bytes.isEmpty()) {
        buffer.record = decodeMailRecord(buffer.bytes);
        buffer.bytes.clear();
    }
    return buffer.record;
}

// A delete rewrites the live records through the work copy, which is flushed
// and then renamed over the history: the history file itself is never
// removed, so a crash at any moment leaves the old history or the new one.
// The record to delete is simply left out of the copy; records another
// program left marked as deleted are dropped on the way.
bool deleteMailRecord(HistoryKind kind, int n, QString *error)
{
    QString path = historyPath(kind);
    RecordFile file(path, MailRecordLength);
    const int count = std::min(file.count(), RecordFile::MaxRecords);
    if (n < 1 || n > count) {
        if (error)
            *error = QStringLiteral("削除するメール（%1 件目）が履歴にありません。").arg(n);
        return false;
    }
    return file.rewrite(
        paths::resolve(relativeWork(kind)),
        [n](int i, QByteArrayView record) { return i != n && liveFlag(record) != 0; }, error);
}

bool deleteAllMailRecords(HistoryKind kind, QString *error)
{
    QString path = openHistory(kind);
    RecordFile file(path, MailRecordLength);
    return file.rewrite(paths::resolve(relativeWork(kind)), [](int, QByteArrayView) { return false; }, error);
}

}  // namespace korvane::mail
