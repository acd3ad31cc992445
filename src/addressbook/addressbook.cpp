#include "addressbook.h"

#include "common/atomicfile.h"
#include "common/cp932.h"
#include "common/paths.h"
#include "common/recordfile.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace korvane::addressbook {
namespace {

qint16 liveOf(QByteArrayView bytes)
{
    if (bytes.size() < LiveOffset + 2)
        return 0;
    return qFromLittleEndian<qint16>(bytes.constData() + LiveOffset);
}

QByteArray part(QByteArrayView bytes, qsizetype offset, qsizetype width)
{
    if (bytes.size() <= offset)
        return QByteArray();
    return bytes.sliced(offset, std::min(width, bytes.size() - offset)).toByteArray();
}

QString relativeOf(Source source)
{
    return QString::fromUtf16(source == Source::Book ? BookFile : PresetListFile);
}

// Creates a missing file empty and returns its path; a file that cannot be
// made simply stays missing and reads as empty.
QString createIfMissing(Source source)
{
    QString path = pathOf(source);
    if (QFileInfo::exists(path))
        return path;
    path = paths::ensureParent(relativeOf(source));
    // The user's addresses: the owner's alone, like the records added later.
    createFileIfMissing(path, OwnerOnlyPermissions);
    return path;
}

}  // namespace

QByteArray encodeRecord(const AddressRecord &record)
{
    QByteArray out;
    out.reserve(RecordLength);
    out += cp932::field(record.name, NameWidth);
    out += "\r\n";
    char live[2];
    qToLittleEndian<qint16>(record.live, live);
    out.append(live, 2);
    out += cp932::field(record.address, AddressWidth);
    return out;
}

AddressRecord decodeRecord(QByteArrayView bytes)
{
    AddressRecord r;
    r.name = cp932::decode(part(bytes, NameOffset, NameWidth));
    r.live = liveOf(bytes);
    r.address = cp932::decode(part(bytes, AddressOffset, AddressWidth));
    return r;
}

QString pathOf(Source source)
{
    return paths::resolve(relativeOf(source));
}

int count(Source source)
{
    return RecordFile(pathOf(source), RecordLength).count();
}

std::optional<AddressRecord> readRecord(int n, Source source)
{
    std::optional<QByteArray> bytes = RecordFile(pathOf(source), RecordLength).read(n);
    if (!bytes)
        return std::nullopt;
    return decodeRecord(*bytes);
}

QList<AddressRecord> readAll(Source source)
{
    const QString path = createIfMissing(source);
    QList<AddressRecord> records;
    RecordReader reader(path, RecordLength);
    records.reserve(reader.count());
    for (int k = 1;; ++k) {
        std::optional<QByteArray> bytes = reader.read(k);
        if (!bytes)
            break;
        records.append(decodeRecord(*bytes));
    }
    return records;
}

int addRecord(const QString &name, const QString &address, QString *error)
{
    RecordFile book(paths::ensureParent(relativeOf(Source::Book)), RecordLength);
    // A torn tail left by an interrupted write is cut off first, so the new
    // record always lands right after the last whole one.
    return book.append(encodeRecord({name, address, 1}), error);
}

bool removeRecord(int n, QString *error)
{
    RecordFile book(pathOf(Source::Book), RecordLength);
    const QString work = paths::resolve(QString::fromUtf16(BookWorkFile));
    return book.rewrite(
        work, [n](int k, QByteArrayView bytes) { return k != n && liveOf(bytes) != 0; }, error);
}

}  // namespace korvane::addressbook
