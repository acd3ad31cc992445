#include "mailhistory.h"

#include "common/cp932.h"
#include "common/paths.h"
#include "common/recordfile.h"
#include "common/text.h"

#include <QCoreApplication>
#include <QDir>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <mutex>
#include <thread>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

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
// The tag starts with a NUL, so its length is given: a view of a string
// literal would stop at that NUL.
constexpr char TrailerTagBytes[] = "\0KORVANE-ORIGINAL:";
constexpr QByteArrayView TrailerTag(TrailerTagBytes, sizeof TrailerTagBytes - 1);

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
QString trailerName(QByteArrayView bytes)
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
        if (f.open(QIODevice::WriteOnly | QIODevice::Append, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
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

namespace {

// The name of the file that keeps the whole mail of `record`, or nothing.
QString originalNameOf(HistoryKind kind, const MailRecord &record)
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
    return isOriginalName(name) ? name : QString();
}

}  // namespace

QString originalPath(HistoryKind kind, const MailRecord &record)
{
    const QString name = originalNameOf(kind, record);
    if (name.isEmpty())
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

QString originalFileName(const QByteArray &digest, const QString &dateHeader)
{
    // Senders often get the weekday wrong, which the parser refuses: the date
    // is read without it then. The parser refuses a zone comment ("(JST)") too.
    const QString date = QString(dateHeader).remove(QRegularExpression(QStringLiteral("\\([^()]*\\)")));
    QDateTime when = QDateTime::fromString(date.trimmed(), Qt::RFC2822Date);
    if (!when.isValid())
        when = QDateTime::fromString(date.section(u',', 1).trimmed(), Qt::RFC2822Date);
    const QString stamp = when.isValid() ? when.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss"))
                                         : QStringLiteral("00000000-000000");
    return stamp + QLatin1Char('-') + QString::fromLatin1(digest.toHex().left(16)) + QStringLiteral(".eml");
}

QString bodyForRecord(const QString &body, const QString &originalName, bool *lost, qsizetype reserve)
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

namespace {

// The records of each history file that are being deleted: their numbers in
// the file as it is, ascending. Readers leave them out and number the records
// that stay. Guarded by RecordFile::lockFor(the file's path).
std::vector<int> &hiddenIn(const QString &path)
{
    static std::mutex registry;
    static QHash<QString, std::shared_ptr<std::vector<int>>> hidden;
    const QString key = QFileInfo(path).absoluteFilePath();
    std::lock_guard guard(registry);
    std::shared_ptr<std::vector<int>> &numbers = hidden[key];
    if (!numbers)
        numbers = std::make_shared<std::vector<int>>();
    return *numbers;
}

// The file number of the k-th record that is not hidden.
int fileNumber(const std::vector<int> &hidden, int k)
{
    int n = k;
    for (int h : hidden) {
        if (h > n)
            break;
        ++n;
    }
    return n;
}

// Records in the file at `path`, hidden ones included.
int recordsIn(const QString &path)
{
    return std::min(RecordFile(path, MailRecordLength).count(), RecordFile::MaxRecords);
}

// A history file opened for reading, with the records hidden at that moment.
struct HistorySnapshot {
    std::optional<RecordReader> reader;
    std::vector<int> hidden;
    int count = 0;  // records in the file, hidden ones included

    explicit HistorySnapshot(const QString &path)
    {
        std::lock_guard guard(RecordFile::lockFor(path));
        reader.emplace(path, MailRecordLength);
        hidden = hiddenIn(path);
        count = std::min(reader->count(), RecordFile::MaxRecords);
    }
    // Calls visit(n) for each record number that is not hidden, in order,
    // until it answers false.
    template <class F> void forEachShown(F &&visit) const
    {
        auto h = hidden.begin();
        for (int n = 1; n <= count; ++n) {
            while (h != hidden.end() && *h < n)
                ++h;
            if (h != hidden.end() && *h == n)
                continue;
            if (!visit(n))
                return;
        }
    }
};

}  // namespace

std::optional<MailRecord> readMailRecord(HistoryKind kind, int n)
{
    if (n < 1 || n > RecordFile::MaxRecords)
        return std::nullopt;
    const QString path = historyPath(kind);
    std::optional<RecordReader> reader;
    int number = 0;
    {
        std::lock_guard guard(RecordFile::lockFor(path));
        reader.emplace(path, MailRecordLength);
        number = fileNumber(hiddenIn(path), n);
    }
    std::optional<QByteArray> bytes = reader->read(number);
    if (!bytes)
        return std::nullopt;
    MailRecord m = decodeMailRecord(*bytes);
    remember(kind, m);
    return m;
}

int mailRecordCount(HistoryKind kind)
{
    const QString path = historyPath(kind);
    std::lock_guard guard(RecordFile::lockFor(path));
    return std::max(0, recordsIn(path) - int(hiddenIn(path).size()));
}

std::vector<MailListEntry> readMailList(HistoryKind kind)
{
    HistorySnapshot file(openHistory(kind));
    std::vector<MailListEntry> list;
    if (!file.reader->isOpen())
        return list;
    list.reserve(size_t(std::max(0, file.count - int(file.hidden.size()))));
    file.forEachShown([&](int n) {
        QByteArray part = file.reader->readPart(n, 0, ListPartLength);
        if (part.size() != ListPartLength)
            return false;
        list.push_back({cellText(part, SubjectOffset, SubjectWidth), cellText(part, DateOffset, DateWidth),
                        cellText(part, AddressOffset, AddressWidth)});
        return true;
    });
    return list;
}

std::vector<MailRecord> readAllMailRecords(HistoryKind kind)
{
    HistorySnapshot file(openHistory(kind));
    std::vector<MailRecord> records;
    file.forEachShown([&](int n) {
        std::optional<QByteArray> bytes = file.reader->read(n);
        if (!bytes)
            return false;
        records.push_back(decodeMailRecord(*bytes));
        return true;
    });
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

HistoryWrites *historyWrites()
{
    static HistoryWrites *writes = [] {
        auto *w = new HistoryWrites;
        // A deletion under way ends before the program does.
        if (QCoreApplication *app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, w, [] { waitForHistoryWrites(); });
        return w;
    }();
    return writes;
}

namespace {

// One queued deletion. The paths are resolved on the user-interface thread
// when it is queued.
struct Deletion {
    HistoryKind kind = HistoryKind::Received;
    QString path, work, originals;
    // File numbers, ascending; renumbered when an earlier deletion replaced
    // the file.
    std::vector<int> numbers;
    // For a caller that waits: the error text (empty on success), or the
    // exception that ended the deletion.
    std::promise<QString> outcome;
    bool waited = false;
};

// Removes from `numbers` those in `gone` and renumbers the rest as in a file
// without the records `gone` (both ascending).
void renumber(std::vector<int> &numbers, const std::vector<int> &gone)
{
    std::vector<int> out;
    out.reserve(numbers.size());
    for (int n : numbers) {
        if (std::binary_search(gone.begin(), gone.end(), n))
            continue;
        out.push_back(n - int(std::lower_bound(gone.begin(), gone.end(), n) - gone.begin()));
    }
    numbers.swap(out);
}

void unhide(std::vector<int> &hidden, const std::vector<int> &numbers)
{
    std::vector<int> out;
    std::set_difference(hidden.begin(), hidden.end(), numbers.begin(), numbers.end(), std::back_inserter(out));
    hidden.swap(out);
}

// The name of the kept original of record n as the reader finds it, read
// without decoding the record unless an older record's note must be looked at.
QString originalNameIn(RecordReader &reader, HistoryKind kind, int n)
{
    const QByteArray trailer = reader.readPart(n, TrailerOffset, OriginalTrailerWidth);
    if (trailer.startsWith(TrailerTag)) {
        if (QString name = trailerName(QByteArray(TrailerOffset, ' ') + trailer); !name.isEmpty())
            return name;
    }
    const QByteArray body = reader.readPart(n, BodyOffset, BodyWidth);
    if (!body.contains(cp932::encode(QStringLiteral("「") + originalsFolderName(kind))))
        return QString();
    std::optional<QByteArray> bytes = reader.read(n);
    return bytes ? originalNameOf(kind, decodeMailRecord(*bytes)) : QString();
}

// Rewrites the history without the deletion's records, then removes their
// kept originals. Runs on the deletion thread. Returns the error text, empty
// on success; *renumbered tells of records dropped besides.
QString runDeletion(Deletion &d, std::deque<std::shared_ptr<Deletion>> &queued, std::mutex &queueLock,
                    bool *renumbered)
{
    std::vector<int> &hidden = hiddenIn(d.path);
    // The records as they were, for their originals once the file is replaced.
    RecordReader before(d.path, MailRecordLength);
    std::vector<int> alsoDropped;  // marked deleted by another program
    QSet<QString> stillNamed;      // originals of the records that stay
    bool replaced = false;
    QString error;
    RecordFile file(d.path, MailRecordLength);
    RecordFile::Plan plan;
    plan.dropUnread = [&](int n) { return std::binary_search(d.numbers.begin(), d.numbers.end(), n); };
    plan.replaced = [&] {
        // Under the file's lock: the readers see the new file and its numbers
        // together, and so do the deletions still queued.
        std::vector<int> gone;
        std::merge(d.numbers.begin(), d.numbers.end(), alsoDropped.begin(), alsoDropped.end(),
                   std::back_inserter(gone));
        unhide(hidden, d.numbers);
        renumber(hidden, gone);
        std::lock_guard guard(queueLock);
        for (const std::shared_ptr<Deletion> &other : queued)
            if (other.get() != &d && other->path == d.path)
                renumber(other->numbers, gone);
        replaced = true;
    };
    try {
        const bool ok = file.rewrite(
            d.work,
            [&](int n, QByteArrayView record) {
                if (liveFlag(record) == 0) {
                    alsoDropped.push_back(n);
                    return false;
                }
                const QString name = trailerName(record);
                if (!name.isEmpty())
                    stillNamed.insert(name);
                return true;
            },
            &error, plan);
        if (!ok) {
            std::lock_guard guard(RecordFile::lockFor(d.path));
            unhide(hidden, d.numbers);
            return error.isEmpty() ? QStringLiteral("%1 を書き換えられません。").arg(d.path) : error;
        }
    } catch (...) {
        if (!replaced) {
            std::lock_guard guard(RecordFile::lockFor(d.path));
            unhide(hidden, d.numbers);
        }
        throw;
    }
    *renumbered = !alsoDropped.empty();
    // The history no longer names them: the originals go.
    if (before.isOpen()) {
        std::vector<int> gone = d.numbers;
        gone.insert(gone.end(), alsoDropped.begin(), alsoDropped.end());
        for (int n : gone) {
            const QString name = originalNameIn(before, d.kind, n);
            if (!name.isEmpty() && !stillNamed.contains(name))
                QFile::remove(d.originals + u'/' + name);
        }
    }
    return QString();
}

// The deletion thread: runs the queued deletions one after another.
class Eraser {
public:
    ~Eraser()
    {
        {
            std::lock_guard guard(lock_);
            quit_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

    void queue(std::shared_ptr<Deletion> d)
    {
        {
            std::lock_guard guard(lock_);
            queue_.push_back(std::move(d));
            if (!thread_.joinable())
                thread_ = std::thread([this] {
#ifdef Q_OS_LINUX
                    // Behind the windows for the processor: a rewrite may
                    // take a while, the windows must answer meanwhile.
                    ::setpriority(PRIO_PROCESS, pid_t(::syscall(SYS_gettid)), 10);
#endif
                    run();
                });
        }
        wake_.notify_all();
    }

    void waitUntilIdle()
    {
        std::unique_lock guard(lock_);
        idle_.wait(guard, [this] { return queue_.empty(); });
    }

    std::mutex &lock() { return lock_; }

private:
    void run()
    {
        std::unique_lock guard(lock_);
        for (;;) {
            wake_.wait(guard, [this] { return quit_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            // Stays queued while it runs, so that it is renumbered with the rest.
            std::shared_ptr<Deletion> d = queue_.front();
            guard.unlock();
            bool renumbered = false;
            QString error;
            std::exception_ptr crash;
            try {
                error = runDeletion(*d, queue_, lock_, &renumbered);
            } catch (...) {
                crash = std::current_exception();
                error = QStringLiteral("履歴の書き換え中に予期しないエラーが起きました。");
            }
            // A caller that waited hears of the outcome itself.
            const int kind = d->kind == HistoryKind::Received ? 0 : 1;
            HistoryWrites *writes = historyWrites();
            if (!d->waited && error.isEmpty())
                QMetaObject::invokeMethod(writes, [writes, kind, renumbered] { emit writes->written(kind, renumbered); },
                                          Qt::QueuedConnection);
            else if (!d->waited)
                QMetaObject::invokeMethod(writes, [writes, kind, error] { emit writes->failed(kind, error); },
                                          Qt::QueuedConnection);
            guard.lock();
            queue_.pop_front();
            if (d->waited) {
                if (crash)
                    d->outcome.set_exception(crash);
                else
                    d->outcome.set_value(error);
            }
            if (queue_.empty())
                idle_.notify_all();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_, idle_;
    std::deque<std::shared_ptr<Deletion>> queue_;
    bool quit_ = false;
    std::thread thread_;
};

Eraser &eraser()
{
    static Eraser e;
    return e;
}

// Hides the records `visible` (as the readers number them; all of them when
// `all`) and queues their deletion. Nothing is queued when there is nothing
// to delete.
std::shared_ptr<Deletion> queueDeletion(HistoryKind kind, QList<int> visible, bool all, bool waited,
                                        QString *error)
{
    historyWrites();  // made on this thread, which hears of the outcome
    auto d = std::make_shared<Deletion>();
    d->kind = kind;
    d->path = all ? openHistory(kind) : historyPath(kind);
    d->work = paths::resolve(relativeWork(kind));
    d->originals = paths::resolve(QString::fromUtf16(
        kind == HistoryKind::Received ? paths::OriginalsFolder : paths::SentOriginalsFolder));
    d->waited = waited;
    std::lock_guard guard(RecordFile::lockFor(d->path));
    std::vector<int> &hidden = hiddenIn(d->path);
    const int shown = std::max(0, recordsIn(d->path) - int(hidden.size()));
    if (all) {
        visible.clear();
        for (int k = 1; k <= shown; ++k)
            visible << k;
    }
    std::sort(visible.begin(), visible.end());
    visible.erase(std::unique(visible.begin(), visible.end()), visible.end());
    for (int k : std::as_const(visible)) {
        if (k < 1 || k > shown) {
            if (error)
                *error = QStringLiteral("削除するメール（%1 件目）が履歴にありません。").arg(k);
            return nullptr;
        }
    }
    if (visible.isEmpty())
        return nullptr;
    d->numbers.reserve(size_t(visible.size()));
    for (int k : std::as_const(visible))
        d->numbers.push_back(fileNumber(hidden, k));
    // The numbers of one deletion hide records in order: each one counted
    // above skips the hidden ones before it, not those of this deletion.
    std::vector<int> merged;
    std::merge(hidden.begin(), hidden.end(), d->numbers.begin(), d->numbers.end(), std::back_inserter(merged));
    hidden.swap(merged);
    eraser().queue(d);
    return d;
}

bool waitFor(const std::shared_ptr<Deletion> &d, QString *error)
{
    const QString outcome = d->outcome.get_future().get();
    if (outcome.isEmpty())
        return true;
    if (error)
        *error = outcome;
    return false;
}

}  // namespace

bool anyKeptOriginal(HistoryKind kind, const QList<int> &numbers)
{
    const QString folder = paths::resolve(
        QString::fromUtf16(kind == HistoryKind::Received ? paths::OriginalsFolder : paths::SentOriginalsFolder));
    if (numbers.isEmpty())
        return !QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty();
    HistorySnapshot file(historyPath(kind));
    if (!file.reader->isOpen())
        return false;
    for (qsizetype i = 0; i < numbers.size() && i < 200; ++i) {
        const QString name = originalNameIn(*file.reader, kind, fileNumber(file.hidden, numbers[i]));
        if (!name.isEmpty() && QFileInfo(folder + u'/' + name).isFile())
            return true;
    }
    return false;
}

bool deleteMailRecordsLater(HistoryKind kind, QList<int> numbers, QString *error)
{
    QString why;
    if (!queueDeletion(kind, std::move(numbers), false, false, &why) && !why.isEmpty()) {
        if (error)
            *error = why;
        return false;
    }
    return true;
}

void deleteAllMailRecordsLater(HistoryKind kind)
{
    queueDeletion(kind, {}, true, false, nullptr);
}

void waitForHistoryWrites()
{
    eraser().waitUntilIdle();
}

bool deleteMailRecord(HistoryKind kind, int n, QString *error)
{
    QString why;
    std::shared_ptr<Deletion> d = queueDeletion(kind, {n}, false, true, &why);
    if (!d) {
        if (error)
            *error = why;
        return false;
    }
    return waitFor(d, error);
}

bool deleteAllMailRecords(HistoryKind kind, QString *error)
{
    std::shared_ptr<Deletion> d = queueDeletion(kind, {}, true, true, error);
    return !d || waitFor(d, error);
}

}  // namespace korvane::mail
