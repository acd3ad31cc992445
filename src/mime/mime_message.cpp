// GMime must come before Qt: its GLib headers use names Qt defines as macros.
#include <gmime/gmime.h>

#include "mime_message.h"

#include "common/text.h"

#include "mime_charset.h"
#include "mime_decode.h"

#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>

#include <unistd.h>
#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

namespace korvane::mime {

namespace {
// GMime's own count of its users is not guarded: every set-up and clean-up
// goes through this one.
std::mutex initMutex;
int initCount = 0;
std::atomic<bool> libraryUp{false};

// With initMutex held.
void setUpLibrary()
{
    if (libraryUp.load(std::memory_order_relaxed))
        return;
    g_mime_init();
    // Undeclared 8-bit text in received mail is most likely Japanese.
    const char *fallbacks[] = {"utf-8", "cp932", "euc-jp", "iso-8859-1", nullptr};
    g_mime_parser_options_set_fallback_charsets(g_mime_parser_options_get_default(), fallbacks);
    g_mime_parser_options_set_rfc2047_compliance_mode(g_mime_parser_options_get_default(), GMIME_RFC_COMPLIANCE_STRICT);
    libraryUp.store(true, std::memory_order_release);
}

// Every use of GMime comes here first: a mail taken apart without an
// initialize() of its caller's still finds GMime set up.
void useLibrary()
{
    if (libraryUp.load(std::memory_order_acquire))
        return;
    std::lock_guard lock(initMutex);
    setUpLibrary();
}
}  // namespace

void initialize()
{
    std::lock_guard lock(initMutex);
    ++initCount;
    setUpLibrary();
}

void shutdown()
{
    std::lock_guard lock(initMutex);
    if (initCount == 0 || --initCount > 0)
        return;
    if (libraryUp.load(std::memory_order_relaxed)) {
        g_mime_shutdown();
        libraryUp.store(false, std::memory_order_release);
    }
}

namespace {

// True when some line break is not CR LF (a bare LF or a bare CR).
bool needsCrLf(const char *data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        if (data[i] == '\n')
            return true;  // not behind a CR, or the CR's branch would have skipped it
        if (data[i] == '\r') {
            if (i + 1 >= size || data[i + 1] != '\n')
                return true;
            ++i;
        }
    }
    return false;
}

// Raw bytes of a section as text: undeclared charset, CR LF line ends.
QString sectionText(const char *data, qsizetype size)
{
    const QByteArray view = QByteArray::fromRawData(data, size);
    QString text = decodeUndeclared(view);
    if (needsCrLf(data, size))
        text = toCrLf(text);
    return text;
}

QString decodeText(const QByteArray &bytes, const QByteArray &charset)
{
    return toCrLf(decodeCharset(bytes, charset));
}

QByteArray rawHeader(GMimeObject *obj, const char *name)
{
    GMimeHeaderList *list = g_mime_object_get_header_list(obj);
    if (!list)
        return {};
    GMimeHeader *h = g_mime_header_list_get_header(list, name);
    if (!h)
        return {};
    const char *raw = g_mime_header_get_raw_value(h);
    if (!raw)
        raw = g_mime_header_get_value(h);
    QByteArray v(raw ? raw : "");
    v.replace('\r', QByteArray()).replace('\n', QByteArray());
    return v.trimmed();
}

QByteArray mimeType(GMimeObject *obj)
{
    GMimeContentType *ct = g_mime_object_get_content_type(obj);
    if (!ct)
        return "text/plain";
    char *s = g_mime_content_type_get_mime_type(ct);
    QByteArray type = QByteArray(s ? s : "text/plain").toLower();
    g_free(s);
    return type;
}

QString extensionFor(const QByteArray &type)
{
    static const QList<QPair<QByteArray, const char *>> table = {
        {"image/jpeg", ".jpg"},       {"image/png", ".png"},        {"image/gif", ".gif"},
        {"image/bmp", ".bmp"},        {"image/webp", ".webp"},      {"application/pdf", ".pdf"},
        {"application/zip", ".zip"},  {"text/plain", ".txt"},       {"text/html", ".html"},
        {"message/rfc822", ".eml"},   {"audio/mpeg", ".mp3"},       {"video/mp4", ".mp4"},
        {"application/msword", ".doc"}, {"application/vnd.ms-excel", ".xls"},
        {"application/pgp-signature", ".asc"}, {"text/calendar", ".ics"}, {"text/csv", ".csv"},
    };
    for (const auto &e : table)
        if (e.first == type)
            return QString::fromLatin1(e.second);
    return QStringLiteral(".dat");
}

// Reads a part's content, transfer-decoded, in chunks. False when the sink
// refuses a chunk.
bool readContent(GMimeObject *obj, GMimePart *part, const std::function<bool(const QByteArray &)> &sink)
{
    GMimeDataWrapper *wrapper = g_mime_part_get_content(part);
    if (!wrapper)
        return true;
    const QByteArray encoding = rawHeader(obj, "Content-Transfer-Encoding").toLower();
    if (encoding.contains("uuencode") || encoding == "x-uue") {
        GMimeStream *mem = g_mime_stream_mem_new();
        g_mime_data_wrapper_write_to_stream(wrapper, mem);
        GByteArray *array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem));
        const bool ok = sink(QByteArray(reinterpret_cast<const char *>(array->data), qsizetype(array->len)));
        g_object_unref(mem);
        return ok;
    }
    GMimeStream *stream = g_mime_data_wrapper_get_stream(wrapper);
    if (!stream)
        return true;
    g_mime_stream_reset(stream);
    Base64Decoder base64;
    QuotedPrintableDecoder qp;
    const bool isBase64 = encoding == "base64";
    const bool isQp = encoding == "quoted-printable";
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    QByteArray out;
    for (;;) {
        const ssize_t n = g_mime_stream_read(stream, buffer.data(), size_t(buffer.size()));
        if (n <= 0)
            break;
        out.clear();
        if (isBase64)
            base64.feed(buffer.constData(), n, out);
        else if (isQp)
            qp.feed(buffer.constData(), n, out);
        else
            out = QByteArray(buffer.constData(), n);
        if (!out.isEmpty() && !sink(out))
            return false;
    }
    out.clear();
    if (isBase64)
        base64.finish(out);
    else if (isQp)
        qp.finish(out);
    return out.isEmpty() || sink(out);
}

QByteArray contentBytes(GMimeObject *obj, GMimePart *part)
{
    QByteArray all;
    readContent(obj, part, [&](const QByteArray &chunk) {
        all += chunk;
        return true;
    });
    return all;
}

// The names in the folder attachments were saved to last, case-folded, as
// they stood when the folder was last changed here.
struct TakenNames {
    QString folder;
    QDateTime modified;
    QSet<QString> names;
};
std::mutex takenNamesMutex;
TakenNames takenNames;

// The line between two texts of one mail in its readable text.
const QString PartSeparator = QStringLiteral("\r\n\r\n") + QString(24, QChar(0x2500)) + QStringLiteral("\r\n\r\n");

class Walker {
public:
    // `saving` false: the texts only, no file written. `stop`, when given,
    // is asked before each file is saved.
    Walker(const QString &folder, Extraction &ex, FileSync sync, bool saving, const std::function<bool()> &stop)
        : folder_(folder), ex_(ex), sync_(sync), saving_(saving), stop_(stop)
    {
    }

    // `textWanted`: false inside an alternative that was not chosen, whose
    // text says again what the chosen one says; its files are still saved.
    void walk(GMimeObject *obj, int depth, bool textWanted = true, bool root = false)
    {
        if (!obj || depth > 40)
            return;
        if (GMIME_IS_MESSAGE_PARTIAL(obj)) {
            partial(GMIME_MESSAGE_PARTIAL(obj), depth);
        } else if (GMIME_IS_MULTIPART(obj)) {
            GMimeMultipart *mp = GMIME_MULTIPART(obj);
            const int n = g_mime_multipart_get_count(mp);
            int chosen = -1;
            if (textWanted && mimeType(obj) == "multipart/alternative") {
                // The plain text when there is one, else the richest form
                // (the last), shown as text.
                for (int i = 0; i < n && chosen < 0; ++i)
                    if (mimeType(g_mime_multipart_get_part(mp, i)) == "text/plain")
                        chosen = i;
                if (chosen < 0)
                    chosen = n - 1;
            }
            // The root of a multipart/related (its "start", else the first
            // part) is the message its other parts belong to.
            GMimeObject *related = nullptr;
            if (n > 0 && mimeType(obj) == "multipart/related") {
                auto bare = [](QString id) {
                    id = id.trimmed();
                    if (id.startsWith(QLatin1Char('<')) && id.endsWith(QLatin1Char('>')))
                        id = id.mid(1, id.size() - 2);
                    return id;
                };
                const QString start = bare(parseParameterValue(rawHeader(obj, "Content-Type")).parameter("start"));
                for (int i = 0; i < n && !start.isEmpty() && !related; ++i) {
                    GMimeObject *child = g_mime_multipart_get_part(mp, i);
                    if (bare(QString::fromLatin1(rawHeader(child, "Content-ID"))) == start)
                        related = child;
                }
                if (!related)
                    related = g_mime_multipart_get_part(mp, 0);
            }
            for (int i = 0; i < n; ++i) {
                GMimeObject *child = g_mime_multipart_get_part(mp, i);
                walk(child, depth + 1, textWanted && (chosen < 0 || i == chosen), child == related);
            }
        } else if (GMIME_IS_MESSAGE_PART(obj)) {
            embeddedMessage(obj, GMIME_MESSAGE_PART(obj));
        } else if (GMIME_IS_PART(obj)) {
            leaf(obj, GMIME_PART(obj), textWanted, root);
        }
    }

    // Every text of the mail in order, one after another.
    QString readableText() const
    {
        if (texts_.isEmpty())
            return fragment_ ? *fragment_ : QString();
        return texts_.join(PartSeparator);
    }

private:
    void partial(GMimeMessagePartial *p, int depth)
    {
        if (g_mime_message_partial_get_total(p) == 1 && g_mime_message_partial_get_number(p) == 1) {
            GMimeMessagePartial *parts[1] = {p};
            GMimeMessage *whole = g_mime_message_partial_reconstruct_message(parts, 1);
            if (whole) {
                walk(g_mime_message_get_mime_part(whole), depth + 1);
                g_object_unref(whole);
                return;
            }
        }
        ex_.result = -6;
        ex_.error = QStringLiteral("分割されたメールが全て揃っていません。");
        if (!fragment_) {
            const QByteArray bytes = contentBytes(GMIME_OBJECT(p), GMIME_PART(p));
            fragment_ = sectionText(bytes.constData(), bytes.size());
        }
    }

    void leaf(GMimeObject *obj, GMimePart *part, bool textWanted, bool root)
    {
        const ParameterValue disposition = parseParameterValue(rawHeader(obj, "Content-Disposition"));
        const ParameterValue contentType = parseParameterValue(rawHeader(obj, "Content-Type"));
        QString name = disposition.parameter("filename");
        if (name.isEmpty())
            name = contentType.parameter("name");
        const QByteArray type = mimeType(obj);
        const bool plain = type == "text/plain";
        const bool html = type == "text/html";
        // A text is part of the message unless it is declared an
        // attachment (the root of a multipart/related is its message
        // whatever it says). A named text without a disposition is read and
        // also saved under its name, as it always was.
        const bool text = plain || html;
        const bool declaredAttachment = disposition.value == "attachment" && !root;
        if (text && !declaredAttachment) {
            if (textWanted) {
                const QByteArray charset = contentType.rawCharset;
                if (plain)
                    texts_ << decodeText(contentBytes(obj, part), charset);
                else  // UTF-7 never reaches the HTML reader: its "+ADw-" would be a tag.
                    texts_ << toCrLf(htmlToText(isUtf7(charset) ? decodeUndeclared(contentBytes(obj, part))
                                                                : decodeCharset(contentBytes(obj, part), charset)));
            }
            if (name.isEmpty() || disposition.value == "inline" || root)
                return;
        }
        save(name, type, [&](QFile &file) {
            return readContent(obj, part, [&](const QByteArray &chunk) {
                return file.write(chunk) == chunk.size();
            });
        });
    }

    void embeddedMessage(GMimeObject *obj, GMimeMessagePart *mp)
    {
        GMimeMessage *inner = g_mime_message_part_get_message(mp);
        const ParameterValue disposition = parseParameterValue(rawHeader(obj, "Content-Disposition"));
        QString name = disposition.parameter("filename");
        if (name.isEmpty())
            name = parseParameterValue(rawHeader(obj, "Content-Type")).parameter("name");
        if (name.isEmpty() && inner) {
            const QString subject = decodeHeaderText(rawHeader(GMIME_OBJECT(inner), "Subject"));
            if (!subject.isEmpty())
                name = subject + QStringLiteral(".eml");
        }
        save(name, "message/rfc822", [&](QFile &file) {
            if (!inner)
                return true;
            GMimeStream *mem = g_mime_stream_mem_new();
            g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, mem);
            GByteArray *array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem));
            const qint64 n = qint64(array->len);
            const bool ok = file.write(reinterpret_cast<const char *>(array->data), n) == n;
            g_object_unref(mem);
            return ok;
        });
    }

    void save(const QString &name, const QByteArray &type, const std::function<bool(QFile &)> &write)
    {
        if (!saving_)
            return;
        // A stop asked meanwhile ends the saving: the files saved so far are
        // the caller's to remove.
        if (stop_ && stop_()) {
            if (ex_.result == 1) {
                ex_.result = -5;
                ex_.error = QStringLiteral("添付ファイルの保存を中止しました。");
            }
            return;
        }
        const QString safe = safeFileName(name, QStringLiteral("attachment") + extensionFor(type));
        if (!QDir().mkpath(folder_)) {
            fail(safe);
            return;
        }
        // The names in the folder are listed once, and listed again only when
        // the folder changed since (by someone else): finding a free name
        // takes one look, however many files it holds.
        std::lock_guard lock(takenNamesMutex);
        TakenNames &taken = takenNames;
        const QFileInfo folderInfo(folder_);
        if (taken.folder != folder_ || !folderInfo.lastModified().isValid()
            || folderInfo.lastModified() != taken.modified) {
            taken.folder = folder_;
            taken.names.clear();
            for (const QString &existing : QDir(folder_).entryList(QDir::AllEntries | QDir::Hidden | QDir::System))
                taken.names.insert(existing.toCaseFolded());
        }
        // Written in the file that takes the name, opened once: opening it
        // again to truncate it would have the file system write it out at
        // once when it is closed.
        QFile file;
        const QString path = createUniqueFile(folder_, safe, &taken.names, &file, &nextNumbers_);
        taken.modified = QFileInfo(folder_).lastModified();
        if (path.isEmpty()) {
            fail(safe);
            return;
        }
        bool ok = file.isOpen() && write(file) && file.flush()
                  && (sync_ == FileSync::ByCaller || ::fsync(file.handle()) == 0);
#ifdef Q_OS_LINUX
        // Put on the disk by the caller later: a large one on its way there
        // from now on (without waiting for it), so that the caller's sync
        // has less left; small ones go together with the rest.
        if (ok && sync_ == FileSync::ByCaller && file.size() >= 1024 * 1024)
            ::sync_file_range(file.handle(), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
        file.close();
        ok = ok && file.error() == QFileDevice::NoError;
        if (!ok) {
            QFile::remove(path);
            fail(safe);
            return;
        }
        ex_.savedFiles << path;
    }

    void fail(const QString &name)
    {
        if (ex_.result == 1)
            ex_.result = -5;
        if (ex_.error.isEmpty())
            ex_.error = QStringLiteral("添付ファイル「%1」を%2に保存できません。").arg(name, QDir::toNativeSeparators(folder_));
    }

    QString folder_;
    Extraction &ex_;
    FileSync sync_;
    bool saving_;
    std::function<bool()> stop_;
    QHash<QString, qint64> nextNumbers_;  // by name, for this mail's files
    QStringList texts_;
    std::optional<QString> fragment_;
};

// Where the body begins in a message whose header is not ended by an empty
// line: the first line that is neither a header field ("Name: value") nor
// the continuation of one. -1 when the header ends as it should (or the
// message has no header at all).
qsizetype bodyWithoutBlankLine(const char *data, qsizetype size)
{
    qsizetype pos = 0;
    bool first = true;
    while (pos < size) {
        const char *nl = static_cast<const char *>(std::memchr(data + pos, '\n', size_t(size - pos)));
        const qsizetype end = nl ? qsizetype(nl - data) : size;
        qsizetype len = end - pos;
        if (len > 0 && data[end - 1] == '\r')
            --len;
        if (len == 0)
            return -1;  // the empty line that ends the header
        const char c = data[pos];
        if (!first && (c == ' ' || c == '\t')) {
            pos = end + 1;
            continue;
        }
        qsizetype i = 0;
        while (i < len && data[pos + i] > ' ' && data[pos + i] < 127 && data[pos + i] != ':')
            ++i;
        if (i == 0 || i >= len || data[pos + i] != ':')
            return first ? -1 : pos;
        first = false;
        pos = end + 1;
    }
    return -1;
}

// Limits far beyond any real mail. GMime's parser takes time that grows
// faster than the mail with the number of parts, header fields, parameters
// and RFC 2231 parameter sections; a mail past these is not handed to it.
constexpr qsizetype MaxBoundaryLines = 20000;
constexpr qsizetype MaxHeaderFields = 200000;
constexpr qsizetype MaxParameterSections = 5000;
constexpr qsizetype MaxParameters = 20000;

// One pass over the mail: true when its structure is past those limits.
// Header fields and parameters are counted in header blocks only
// (the mail's own, and those after a line starting with "--").
bool beyondRealMail(const char *data, qsizetype size)
{
    qsizetype boundaries = 0, fields = 0, sections = 0, parameters = 0;
    bool inHeader = true;
    qsizetype pos = 0;
    while (pos < size) {
        if (!inHeader && !(size - pos >= 2 && data[pos] == '-' && data[pos + 1] == '-')) {
            // In a body only a line that starts with "--" counts: the next
            // one is found in one search (none at all in base64).
            const char *q = data + pos;
            for (;;) {
                q = static_cast<const char *>(std::memchr(q, '-', size_t(data + size - q)));
                if (!q || (q[-1] == '\n' && q + 1 < data + size && q[1] == '-'))
                    break;
                ++q;
            }
            if (!q)
                return false;
            pos = q - data;
        }
        const char *nl = static_cast<const char *>(std::memchr(data + pos, '\n', size_t(size - pos)));
        const qsizetype end = nl ? qsizetype(nl - data) : size;
        const char *line = data + pos;
        qsizetype len = end - pos;
        if (len > 0 && line[len - 1] == '\r')
            --len;
        if (len >= 2 && line[0] == '-' && line[1] == '-') {
            ++boundaries;
            inHeader = true;
        } else if (len == 0) {
            inHeader = false;
        } else if (inHeader) {
            if (line[0] != ' ' && line[0] != '\t')
                ++fields;
            // "name*N=" and "name*N*=": one section of a parameter.
            parameters += std::count(line, line + len, ';');
            for (qsizetype i = 0; i + 2 < len; ++i) {
                if (line[i] != '*' || line[i + 1] < '0' || line[i + 1] > '9')
                    continue;
                qsizetype j = i + 1;
                while (j < len && line[j] >= '0' && line[j] <= '9')
                    ++j;
                if (j < len && (line[j] == '=' || (line[j] == '*' && j + 1 < len && line[j + 1] == '=')))
                    ++sections;
                i = j - 1;
            }
        }
        if (boundaries > MaxBoundaryLines || fields > MaxHeaderFields || sections > MaxParameterSections
            || parameters > MaxParameters)
            return true;
        pos = end + 1;
    }
    return false;
}

bool isDeviceName(const QString &base)
{
    const QString b = base.toUpper();
    if (b == QLatin1String("CON") || b == QLatin1String("PRN") || b == QLatin1String("AUX")
        || b == QLatin1String("NUL"))
        return true;
    return b.size() == 4 && (b.startsWith(QLatin1String("COM")) || b.startsWith(QLatin1String("LPT")))
           && b[3] >= QLatin1Char('1') && b[3] <= QLatin1Char('9');
}

}  // namespace

namespace {

// The header texts from the header's fields, already parsed.
ReceivedTexts textsOfHeader(const QList<HeaderField> &fields, const char *data, const MessageSplit &split)
{
    ReceivedTexts t;
    t.hasHeader = !fields.isEmpty();
    // Raw 8-bit bytes are read in one charset guessed from the whole header.
    const QByteArray header = QByteArray::fromRawData(data, split.headerEnd);
    const QByteArray charset =
        headerCharset(header, parseParameterValue(headerValue(fields, "Content-Type")).rawCharset);
    t.subject = decodeHeaderText(headerValue(fields, "Subject"), charset);
    t.from = decodeHeaderText(headerValue(fields, "From"), charset);
    t.date = decodeUndeclared(headerValue(fields, "Date")).simplified();
    std::optional<QString> text;
    if (!charset.isEmpty())
        text = decodeStrict(header, charset);
    t.header = text ? (needsCrLf(data, split.headerEnd) ? toCrLf(*text) : *text) : sectionText(data, split.headerEnd);
    return t;
}

}  // namespace

ReceivedTexts headerTexts(const char *data, qsizetype size)
{
    const MessageSplit split = splitMessage(data, size);
    return textsOfHeader(parseHeaderBlock(data, split.headerEnd), data, split);
}

ReceivedTexts messageTexts(const QByteArray &raw)
{
    // The header is split and parsed once for all the texts.
    const MessageSplit split = splitMessage(raw);
    const QList<HeaderField> fields = parseHeaderBlock(raw.constData(), split.headerEnd);
    ReceivedTexts t = textsOfHeader(fields, raw.constData(), split);
    const ParameterValue contentType = parseParameterValue(headerValue(fields, "Content-Type"));
    const QByteArray type = contentType.value.isEmpty() ? QByteArray("text/plain") : contentType.value;
    const char *body = raw.constData() + split.bodyStart;
    const qsizetype bodySize = raw.size() - split.bodyStart;
    if (type.startsWith("text/")) {
        const QByteArray bytes =
            transferDecode(QByteArray::fromRawData(body, bodySize), headerValue(fields, "Content-Transfer-Encoding"));
        t.body = decodeText(bytes, contentType.rawCharset);
    } else {
        t.body = sectionText(body, bodySize);
    }
    return t;
}

namespace {

Extraction extract(const QByteArray &given, const QString &folder, FileSync sync, bool saving,
                   const std::function<bool()> &stop)
{
    qsizetype size = given.size();
    while (size > 0 && given[size - 1] == '\0')
        --size;
    // Lines that continue no field at the very start (a header block that
    // begins folded) are skipped, as the header's own reading skips them;
    // GMime would take the whole mail for a body-less header.
    qsizetype skip = 0;
    while (skip < size && (given[skip] == ' ' || given[skip] == '\t')) {
        const char *nl = static_cast<const char *>(std::memchr(given.constData() + skip, '\n', size_t(size - skip)));
        skip = nl ? qsizetype(nl - given.constData()) + 1 : size;
    }
    const QByteArray unfolded = QByteArray::fromRawData(given.constData() + skip, size - skip);
    size -= skip;
    // A header that runs straight into the body gets the empty line it
    // lacks, so the body is read as the body and not lost in the header.
    QByteArray repaired;
    const qsizetype bodyAt = bodyWithoutBlankLine(unfolded.constData(), size);
    if (bodyAt > 0) {
        repaired.reserve(size + 2);
        repaired.append(unfolded.constData(), bodyAt).append("\r\n").append(unfolded.constData() + bodyAt, size - bodyAt);
        size = repaired.size();
    }
    const QByteArray &raw = bodyAt > 0 ? repaired : unfolded;
    Extraction ex;
    ex.texts = headerTexts(raw.constData(), size);
    if (beyondRealMail(raw.constData(), size)) {
        // Shown as it stands, readable, and kept whole by the caller; its
        // parts are not taken apart.
        const MessageSplit split = splitMessage(raw.constData(), size);
        ex.texts.body = sectionText(raw.constData() + split.bodyStart, size - split.bodyStart);
        return ex;
    }

    useLibrary();
    // The parser reads the caller's bytes in place: no copy of a large mail.
    GByteArray view;
    view.data = reinterpret_cast<guint8 *>(const_cast<char *>(raw.constData()));
    view.len = guint(size);
    GMimeStream *stream = g_mime_stream_mem_new_with_byte_array(&view);
    g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream), FALSE);
    GMimeParser *parser = g_mime_parser_new_with_stream(stream);
    g_mime_parser_set_persist_stream(parser, TRUE);
    GMimeParserOptions *options = g_mime_parser_options_new();
    const char *fallbacks[] = {"utf-8", "cp932", "euc-jp", "iso-8859-1", nullptr};
    g_mime_parser_options_set_fallback_charsets(options, fallbacks);
    // GMime's loose decoding of encoded words in headers takes time that
    // grows with the square of a hostile header; the texts the program shows
    // are decoded by our own decoder, so GMime only needs the strict form.
    g_mime_parser_options_set_rfc2047_compliance_mode(options, GMIME_RFC_COMPLIANCE_STRICT);
    GMimeMessage *message = g_mime_parser_construct_message(parser, options);
    {
        Walker walker(folder, ex, sync, saving, stop);
        if (message)
            walker.walk(g_mime_message_get_mime_part(message), 0);
        ex.texts.body = walker.readableText();
    }
    if (message)
        g_object_unref(message);
    g_object_unref(parser);
    g_object_unref(stream);
    g_mime_parser_options_free(options);
    return ex;
}

}  // namespace

Extraction extractAttachments(const QByteArray &raw, const QString &folder, FileSync sync,
                              const std::function<bool()> &stop)
{
    return extract(raw, folder, sync, true, stop);
}

ReceivedTexts readableTexts(const QByteArray &raw)
{
    // The viewer reads kept mail at any time, a mail check running or not:
    // GMime stays set up from its first use to the end of the program.
    static std::once_flag setUp;
    std::call_once(setUp, [] { initialize(); });
    return extract(raw, QString(), FileSync::ByCaller, false, {}).texts;
}

std::optional<QString> readableTextOfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray raw = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return readableTexts(raw).body;
}

QString safeFileName(const QString &name, const QString &fallback)
{
    QString s = name;
    const qsizetype cut = qMax(s.lastIndexOf(QLatin1Char('/')), s.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0)
        s = s.mid(cut + 1);
    QString clean;
    clean.reserve(s.size());
    for (QChar c : s) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0)) {
            clean += QLatin1Char('_');
        } else if (u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069)
                   || u == 0xFEFF) {
            // Direction marks could disguise the extension ("txt.exe" shown as "exe.txt").
        } else if (QStringLiteral("<>:\"/\\|?*").contains(c)) {
            clean += QLatin1Char('_');
        } else {
            clean += c;
        }
    }
    // No leading or trailing dots or blanks: no "..", no hidden files, and
    // nothing a Windows file system would silently change.
    auto trimmable = [](QChar c) { return c == QLatin1Char('.') || c.isSpace(); };
    while (!clean.isEmpty() && trimmable(clean.front()))
        clean.remove(0, 1);
    while (!clean.isEmpty() && trimmable(clean.back()))
        clean.chop(1);
    bool meaningful = false;
    for (QChar c : clean)
        meaningful = meaningful || (c != QLatin1Char('_') && c != QLatin1Char('.') && !c.isSpace());
    if (!meaningful)
        return fallback;
    const qsizetype dot = clean.indexOf(QLatin1Char('.'));
    if (isDeviceName(dot < 0 ? clean : clean.left(dot)))
        clean.prepend(QLatin1Char('_'));
    // Keep the name within file-system limits (255 bytes), keeping its extension.
    if (clean.toUtf8().size() > 200) {
        const qsizetype lastDot = clean.lastIndexOf(QLatin1Char('.'));
        QString ext = (lastDot > 0 && clean.size() - lastDot <= 16) ? clean.mid(lastDot) : QString();
        const QString base = clean.left(clean.size() - ext.size());
        // The longest start of the name that fits, whole characters only,
        // found in one pass.
        qsizetype budget = 200 - ext.toUtf8().size();
        qsizetype keep = 0;
        while (keep < base.size()) {
            const bool pair = base[keep].isHighSurrogate() && keep + 1 < base.size();
            const char32_t code = pair ? QChar::surrogateToUcs4(base[keep], base[keep + 1]) : base[keep].unicode();
            const qsizetype bytes = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
            if (bytes > budget)
                break;
            budget -= bytes;
            keep += pair ? 2 : 1;
        }
        clean = base.left(keep) + ext;
    }
    return clean;
}

QString createUniqueFile(const QString &folder, const QString &name)
{
    QSet<QString> taken;
    for (const QString &existing : QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System))
        taken.insert(existing.toCaseFolded());
    return createUniqueFile(folder, name, &taken);
}

QString createUniqueFile(const QString &folder, const QString &name, QSet<QString> *taken, QFile *file,
                         QHash<QString, qint64> *nextNumbers)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    // With `nextNumbers`, the numbers tried for a name are remembered: the
    // thousandth file of one name does not try the numbers of the 999 before
    // it again, so naming many files alike takes linear time.
    qint64 unused = 1;
    qint64 &next = nextNumbers ? (*nextNumbers)[name.toCaseFolded()] : unused;
    // Names are compared without regard to letter case, as a Windows file
    // system would; a name taken meanwhile by someone else is skipped too.
    for (qint64 i = qMax<qint64>(1, next);; ++i) {
        next = i + 1;
        const QString candidate = i == 1 ? name : QStringLiteral("%1 (%2)%3").arg(base).arg(i).arg(ext);
        const QString key = candidate.toCaseFolded();
        if (taken->contains(key))
            continue;
        const QString path = QDir(folder).filePath(candidate);
        QFile own;
        QFile &f = file ? *file : own;
        f.setFileName(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            taken->insert(key);
            return QFileInfo(path).absoluteFilePath();
        }
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            return {};
        taken->insert(key);
    }
}

}  // namespace korvane::mime
