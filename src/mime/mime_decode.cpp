#include "mime_decode.h"

#include "mime_charset.h"

#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <QMap>

#include <algorithm>
#include <optional>
#include <vector>

namespace korvane::mime {

// ---------------------------------------------------------------- base64

namespace {
struct Base64Table {
    signed char v[256];
    constexpr Base64Table() : v()
    {
        for (int i = 0; i < 256; ++i)
            v[i] = -1;
        const char *a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            v[static_cast<unsigned char>(a[i])] = static_cast<signed char>(i);
    }
};
constexpr Base64Table base64Table;
}  // namespace

void Base64Decoder::feed(const char *data, qsizetype size, QByteArray &out)
{
    // Written in place: at most three bytes for every four characters, and
    // two for those held from before.
    const qsizetype start = out.size();
    out.resize(start + (size + count_) / 4 * 3 + 3);
    char *o = out.data() + start;
    const auto *in = reinterpret_cast<const unsigned char *>(data);
    for (qsizetype i = 0; i < size; ++i) {
        // Whole groups of four go at once, up to the end of the line.
        while (count_ == 0 && i + 4 <= size) {
            const int a = base64Table.v[in[i]], b = base64Table.v[in[i + 1]], c = base64Table.v[in[i + 2]],
                      d = base64Table.v[in[i + 3]];
            if ((a | b | c | d) < 0)
                break;
            const quint32 group = (quint32(a) << 18) | (quint32(b) << 12) | (quint32(c) << 6) | quint32(d);
            *o++ = char(group >> 16);
            *o++ = char(group >> 8);
            *o++ = char(group);
            i += 4;
        }
        if (i >= size)
            break;
        const unsigned char c = in[i];
        const int v = base64Table.v[c];
        if (v < 0) {
            if (c == '=')
                o = flush(o);
            continue;
        }
        bits_ = (bits_ << 6) | quint32(v);
        if (++count_ == 4) {
            *o++ = char(bits_ >> 16);
            *o++ = char(bits_ >> 8);
            *o++ = char(bits_);
            bits_ = 0;
            count_ = 0;
        }
    }
    out.truncate(o - out.constData());
}

char *Base64Decoder::flush(char *o)
{
    if (count_ == 2) {
        *o++ = char(bits_ >> 4);
    } else if (count_ == 3) {
        *o++ = char(bits_ >> 10);
        *o++ = char(bits_ >> 2);
    }
    bits_ = 0;
    count_ = 0;
    return o;
}

void Base64Decoder::finish(QByteArray &out)
{
    char tail[2];
    const char *end = flush(tail);
    out.append(tail, end - tail);
}

QByteArray decodeBase64(const QByteArray &encoded)
{
    QByteArray out;
    out.reserve(encoded.size() * 3 / 4 + 3);
    Base64Decoder d;
    d.feed(encoded.constData(), encoded.size(), out);
    d.finish(out);
    return out;
}

// ---------------------------------------------------------------- quoted-printable

namespace {
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
}  // namespace

void QuotedPrintableDecoder::feed(const char *data, qsizetype size, QByteArray &out)
{
    QByteArray buf;
    const char *p = data;
    qsizetype n = size;
    if (!pending_.isEmpty()) {
        buf = pending_ + QByteArray(data, size);
        pending_.clear();
        p = buf.constData();
        n = buf.size();
    }
    qsizetype i = 0;
    while (i < n) {
        const char c = p[i];
        if (c == '=') {
            if (i + 1 >= n) {
                pending_ = QByteArray(p + i, n - i);
                return;
            }
            if (p[i + 1] == '\n') {
                i += 2;
                continue;
            }
            if (p[i + 1] == '\r') {
                if (i + 2 >= n) {
                    pending_ = QByteArray(p + i, n - i);
                    return;
                }
                i += (p[i + 2] == '\n') ? 3 : 2;
                continue;
            }
            if (i + 2 >= n) {
                pending_ = QByteArray(p + i, n - i);
                return;
            }
            const int h = hexValue(p[i + 1]);
            const int l = hexValue(p[i + 2]);
            if (h >= 0 && l >= 0) {
                out.append(char(h * 16 + l));
                i += 3;
                continue;
            }
            // "=" followed by blanks up to the line end is a soft break too.
            qsizetype j = i + 1;
            while (j < n && (p[j] == ' ' || p[j] == '\t'))
                ++j;
            if (j >= n) {
                pending_ = QByteArray(p + i, n - i);
                return;
            }
            if (p[j] == '\r' || p[j] == '\n') {
                i = j + ((p[j] == '\r' && j + 1 < n && p[j + 1] == '\n') ? 2 : 1);
                continue;
            }
            out.append('=');
            ++i;
            continue;
        }
        if (c == ' ' || c == '\t') {
            qsizetype j = i;
            while (j < n && (p[j] == ' ' || p[j] == '\t'))
                ++j;
            if (j >= n) {
                pending_ = QByteArray(p + i, n - i);
                return;
            }
            if (p[j] != '\r' && p[j] != '\n')
                out.append(p + i, j - i);
            i = j;
            continue;
        }
        out.append(c);
        ++i;
    }
}

void QuotedPrintableDecoder::finish(QByteArray &out)
{
    // Left over: trailing blanks (dropped), a soft break at the very end
    // (dropped), or "=X" without its second digit (kept as written).
    if (pending_.startsWith('=')) {
        bool blanks = true;
        for (qsizetype i = 1; i < pending_.size(); ++i)
            blanks = blanks && (pending_[i] == ' ' || pending_[i] == '\t');
        if (!blanks)
            out.append(pending_);
    }
    pending_.clear();
}

QByteArray decodeQuotedPrintable(const QByteArray &encoded)
{
    QByteArray out;
    out.reserve(encoded.size());
    QuotedPrintableDecoder d;
    d.feed(encoded.constData(), encoded.size(), out);
    d.finish(out);
    return out;
}

QByteArray transferDecode(const QByteArray &content, const QByteArray &transferEncoding)
{
    const QByteArray enc = transferEncoding.trimmed().toLower();
    if (enc == "base64")
        return decodeBase64(content);
    if (enc == "quoted-printable")
        return decodeQuotedPrintable(content);
    return content;
}

// ---------------------------------------------------------------- header block

namespace {

// One line of a header block: [start, end) without its line break; `next`
// is where the following line starts (past `size` after the last line).
struct HeaderLine {
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype next = 0;
    bool broken = false;  // ended by a line feed
};

HeaderLine headerLineAt(const char *data, qsizetype size, qsizetype pos)
{
    const char *nl = static_cast<const char *>(memchr(data + pos, '\n', size_t(size - pos)));
    HeaderLine line;
    line.start = pos;
    line.broken = nl != nullptr;
    const qsizetype stop = nl ? nl - data : size;
    line.end = stop > pos && data[stop - 1] == '\r' ? stop - 1 : stop;
    line.next = stop + 1;
    return line;
}

}  // namespace

MessageSplit splitMessage(const char *data, qsizetype size)
{
    qsizetype pos = 0;
    while (pos < size) {
        const HeaderLine line = headerLineAt(data, size, pos);
        if (line.end == line.start) {  // the empty line
            qsizetype headerEnd = pos;
            if (headerEnd > 0 && data[headerEnd - 1] == '\n')
                --headerEnd;
            if (headerEnd > 0 && data[headerEnd - 1] == '\r')
                --headerEnd;
            return {headerEnd, line.broken ? line.next : size};
        }
        if (!line.broken)
            break;
        pos = line.next;
    }
    qsizetype headerEnd = size;
    while (headerEnd > 0 && (data[headerEnd - 1] == '\n' || data[headerEnd - 1] == '\r'))
        --headerEnd;
    return {headerEnd, size};
}

QList<HeaderField> parseHeaderBlock(const char *data, qsizetype size)
{
    // Straight from the bytes into the fields: a header block may hold a
    // million fields or one line of many megabytes.
    QList<HeaderField> fields;
    bool current = false;
    qsizetype pos = 0;
    while (pos < size) {
        const HeaderLine at = headerLineAt(data, size, pos);
        pos = at.next;
        if (at.end == at.start)
            break;
        const char first = data[at.start];
        if (first == ' ' || first == '\t') {
            if (current)
                fields.last().value.append(data + at.start, at.end - at.start);
            continue;
        }
        const char *colon = static_cast<const char *>(memchr(data + at.start, ':', size_t(at.end - at.start)));
        if (!colon || colon == data + at.start) {
            current = false;
            continue;
        }
        HeaderField f;
        f.name = QByteArray(data + at.start, colon - (data + at.start)).trimmed();
        f.value = QByteArray(colon + 1, data + at.end - (colon + 1));
        fields.append(std::move(f));
        current = true;
    }
    for (HeaderField &f : fields)
        f.value = std::move(f.value).trimmed();
    return fields;
}

QByteArray headerValue(const QList<HeaderField> &fields, const QByteArray &name, bool *found)
{
    for (const HeaderField &f : fields) {
        if (f.name.compare(name, Qt::CaseInsensitive) == 0) {
            if (found)
                *found = true;
            return f.value;
        }
    }
    if (found)
        *found = false;
    return {};
}

// ---------------------------------------------------------------- RFC 2047

namespace {

struct Segment {
    bool word = false;
    QByteArray charset;  // lower case, language suffix removed
    QByteArray bytes;    // decoded bytes of a word, raw bytes of text
};

bool isBlank(QByteArrayView b)
{
    for (char c : b)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return false;
    return true;
}

// Appends the bytes of a "Q" encoded text.
void appendQWord(QByteArrayView text, QByteArray &out)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out.append(' ');
        } else if (c == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out.append(char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.append(c);
        }
    }
}

// An encoded word as found: where its charset and text are.
struct Word {
    QByteArrayView charset;  // as written, language suffix removed
    QByteArrayView text;
    bool base64 = false;
    qsizetype next = 0;  // behind its "?="
};

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool sameCharset(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

// Finds encoded words in one header text. The searches for a word's end
// ("?=") and for the first blank behind its start remember what they found,
// so a text full of word openings without ends (or with blanks inside) is
// still read once, not once per opening.
class WordScanner {
public:
    explicit WordScanner(const QByteArray &s) : s_(s) {}

    // Parses an encoded word starting at `start` ("=?").
    bool parse(qsizetype start, Word &word)
    {
        const char *d = s_.constData();
        const qsizetype n = s_.size();
        const qsizetype p = start + 2;
        // The charset: at most 64 characters up to the next "?".
        qsizetype q1 = p;
        while (q1 < n && q1 - p <= 64 && d[q1] != '?')
            ++q1;
        if (q1 >= n || d[q1] != '?' || q1 == p || q1 - p > 64)
            return false;
        for (qsizetype i = p; i < q1; ++i) {
            const char c = d[i];
            if (c == ' ' || c == '\t' || c == '=' || c == '\r' || c == '\n')
                return false;
        }
        if (q1 + 2 >= n || d[q1 + 2] != '?')
            return false;
        const char enc = d[q1 + 1];
        if (enc != 'B' && enc != 'b' && enc != 'Q' && enc != 'q')
            return false;
        const qsizetype textStart = q1 + 3;
        const qsizetype end = closeAtOrAfter(textStart);
        if (end < 0 || blankAtOrAfter(textStart) < end)
            return false;
        word.charset = QByteArrayView(d + p, q1 - p);
        const qsizetype star = word.charset.indexOf('*');
        if (star >= 0)
            word.charset.truncate(star);
        word.text = QByteArrayView(d + textStart, end - textStart);
        word.base64 = enc == 'B' || enc == 'b';
        word.next = end + 2;
        return true;
    }

private:
    // The first "?=" at or after `from`, or -1.
    qsizetype closeAtOrAfter(qsizetype from)
    {
        if (close_ == -2 || (close_ >= 0 && close_ < from))
            close_ = s_.indexOf("?=", from);
        return close_;
    }
    // The first blank at or after `from`, or the text's size.
    qsizetype blankAtOrAfter(qsizetype from)
    {
        if (blank_ < from) {
            blank_ = from;
            const char *d = s_.constData();
            while (blank_ < s_.size() && d[blank_] != ' ' && d[blank_] != '\t' && d[blank_] != '\r'
                   && d[blank_] != '\n')
                ++blank_;
        }
        return blank_;
    }

    const QByteArray &s_;
    qsizetype close_ = -2;  // -2 not searched yet, -1 none left
    qsizetype blank_ = -1;
};

}  // namespace

QString decodeHeaderText(const QByteArray &raw)
{
    // One pass: white space between two encoded words is not part of the
    // text, and adjacent words of one charset are one text (a character may
    // be split between them, and ISO-2022-JP's shift state carries over), so
    // each word is decoded straight onto the text it continues.
    std::vector<Segment> segments;
    WordScanner scanner(raw);
    const char *d = raw.constData();
    qsizetype pos = 0;
    qsizetype literalStart = 0;
    while (true) {
        const qsizetype at = raw.indexOf("=?", pos);
        if (at < 0)
            break;
        Word word;
        if (!scanner.parse(at, word)) {
            pos = at + 2;
            continue;
        }
        const QByteArrayView literal(d + literalStart, at - literalStart);
        const bool afterWord = !segments.empty() && segments.back().word;
        if (!literal.isEmpty() && !(afterWord && isBlank(literal)))
            segments.push_back({false, {}, literal.toByteArray()});
        if (segments.empty() || !segments.back().word || !sameCharset(segments.back().charset, word.charset))
            segments.push_back({true, word.charset.toByteArray().toLower(), {}});
        QByteArray &bytes = segments.back().bytes;
        if (word.base64) {
            Base64Decoder decoder;
            decoder.feed(word.text.data(), word.text.size(), bytes);
            decoder.finish(bytes);
        } else {
            appendQWord(word.text, bytes);
        }
        pos = literalStart = word.next;
    }
    if (literalStart < raw.size())
        segments.push_back({false, {}, raw.mid(literalStart)});

    QString out;
    for (const Segment &s : segments)
        out += s.word ? decodeCharset(s.bytes, s.charset) : decodeUndeclared(s.bytes);
    for (QChar &c : out) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    }
    return out.trimmed();
}

// ---------------------------------------------------------------- parameters

namespace {

// Raw Shift-JIS in a header has 0x5C ("\\") as the second byte of many
// characters; such a byte is text, not an escape.
bool looksShiftJis(const QByteArray &s)
{
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)dec.decode(s);
    return dec.hasError();
}

bool isSjisLead(char c)
{
    const unsigned char b = static_cast<unsigned char>(c);
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

QByteArrayView trimmedView(QByteArrayView v)
{
    qsizetype b = 0, e = v.size();
    while (b < e && isSpace(v[b]))
        ++b;
    while (e > b && isSpace(v[e - 1]))
        --e;
    return v.sliced(b, e - b);
}

QByteArray unquote(QByteArrayView raw)
{
    const QByteArrayView v = trimmedView(raw);
    if (!v.startsWith('"'))
        return v.toByteArray();
    const QByteArray bytes = v.toByteArray();
    const bool sjis = looksShiftJis(bytes);
    QByteArray out;
    out.reserve(v.size());
    for (qsizetype i = 1; i < v.size(); ++i) {
        const char c = v[i];
        if (sjis && isSjisLead(c) && i + 1 < v.size()) {
            out.append(c);
            out.append(v[++i]);
        } else if (c == '\\' && i + 1 < v.size() && (v[i + 1] == '"' || v[i + 1] == '\\')) {
            out.append(v[++i]);
        } else if (c == '"') {
            break;
        } else {
            out.append(c);
        }
    }
    return out;
}

QByteArray percentDecode(const QByteArray &s)
{
    QByteArray out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
            out.append(char(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2])));
            i += 2;
        } else {
            out.append(s[i]);
        }
    }
    return out;
}

// One "name=value" of a structured value: the name lower-cased without its
// RFC 2231 marks ("*", "*N", "*N*"), the value as written (quotes and all).
struct RawParameter {
    QByteArrayView name;  // as written, without the marks
    QByteArrayView value;
    int index = 0;
    bool numbered = false;
    bool extended = false;
};

// Calls at(i) for each ";" of a structured value that is not inside quotes
// (nor the second byte of a Shift_JIS character), in order, while it
// returns true.
template <class F> void forEachSeparator(const QByteArray &raw, bool sjis, F at)
{
    const char *d = raw.constData();
    const qsizetype n = raw.size();
    bool quoted = false;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = d[i];
        if (sjis && isSjisLead(c) && i + 1 < n) {
            ++i;
            continue;
        }
        if (quoted) {
            if (c == '\\' && i + 1 < n && (d[i + 1] == '"' || d[i + 1] == '\\'))
                ++i;
            else if (c == '"')
                quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ';' && !at(i)) {
            return;
        }
    }
}

// Calls `take` for each parameter of `raw` in order (the main value before
// the first ";" is skipped). ";" inside quotes does not split; in raw
// Shift-JIS the second byte of a character is never a separator or quote.
// Nothing is copied: one pass over the text, whatever it holds.
template <class F> void forEachParameter(const QByteArray &raw, bool sjis, F take)
{
    const char *d = raw.constData();
    const qsizetype n = raw.size();
    auto handle = [&](qsizetype start, qsizetype end) {
        const QByteArrayView part(d + start, end - start);
        const qsizetype eq = part.indexOf('=');
        if (eq <= 0)
            return;
        RawParameter p;
        QByteArrayView name = trimmedView(part.first(eq));
        p.value = part.sliced(eq + 1);
        if (name.endsWith('*')) {
            p.extended = true;
            name.chop(1);
        }
        const qsizetype star = name.indexOf('*');
        if (star >= 0) {
            bool ok = false;
            p.index = name.sliced(star + 1).toInt(&ok);
            if (!ok)
                return;
            p.numbered = true;
            name.truncate(star);
        }
        if (name.isEmpty())
            return;
        p.name = name;
        take(p);
    };
    qsizetype start = -1;  // of the current parameter; -1 while in the main value
    forEachSeparator(raw, sjis, [&](qsizetype i) {
        if (start >= 0)
            handle(start, i);
        start = i + 1;
        return true;
    });
    if (start >= 0)
        handle(start, n);
}

// The main value: up to the first ";" outside quotes.
QByteArrayView mainValue(const QByteArray &raw, bool sjis)
{
    qsizetype end = raw.size();
    forEachSeparator(raw, sjis, [&](qsizetype i) {
        end = i;
        return false;
    });
    return QByteArrayView(raw.constData(), end);
}

bool sameName(QByteArrayView a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != b[i])
            return false;
    }
    return true;
}

struct Section {
    int index = 0;
    bool extended = false;
    QByteArray value;
};

}  // namespace

// Parameters are decoded when asked for: a value may carry any number of
// them, and only a few are ever read.
QString ParameterValue::parameter(const QByteArray &name) const
{
    const QByteArray wanted = name.toLower();
    QList<Section> sections;  // RFC 2231 sections (numbered or extended)
    std::optional<QByteArray> plain;
    forEachParameter(raw_, sjis_, [&](const RawParameter &p) {
        if (!sameName(p.name, wanted))
            return;
        if (p.extended || p.numbered)
            sections.append({p.index, p.extended, unquote(p.value)});
        else if (!plain)
            plain = unquote(p.value);
    });
    // RFC 2231 sections win over a plain value.
    if (sections.isEmpty())
        return plain ? decodeHeaderText(*plain) : QString();
    std::stable_sort(sections.begin(), sections.end(),
                     [](const Section &a, const Section &b) { return a.index < b.index; });
    QByteArray charset;
    QByteArray bytes;
    for (qsizetype i = 0; i < sections.size(); ++i) {
        QByteArray v = sections[i].value;
        if (sections[i].extended) {
            if (i == 0) {
                const qsizetype q1 = v.indexOf('\'');
                const qsizetype q2 = q1 >= 0 ? v.indexOf('\'', q1 + 1) : -1;
                if (q2 >= 0) {
                    charset = v.left(q1);
                    v = v.mid(q2 + 1);
                }
            }
            bytes += percentDecode(v);
        } else {
            bytes += v;
        }
    }
    return charset.isEmpty() ? decodeHeaderText(bytes) : decodeCharset(bytes, charset);
}

bool ParameterValue::has(const QByteArray &name) const
{
    const QByteArray wanted = name.toLower();
    bool found = false;
    forEachParameter(raw_, sjis_, [&](const RawParameter &p) { found = found || sameName(p.name, wanted); });
    return found;
}

QList<QByteArray> ParameterValue::names() const
{
    QList<QByteArray> out;
    QSet<QByteArray> seen;
    forEachParameter(raw_, sjis_, [&](const RawParameter &p) {
        const QByteArray name = p.name.toByteArray().toLower();
        if (!seen.contains(name)) {
            seen.insert(name);
            out.append(name);
        }
    });
    return out;
}

ParameterValue parseParameterValue(const QByteArray &raw)
{
    ParameterValue result;
    result.raw_ = raw;
    result.sjis_ = looksShiftJis(raw);
    result.value = trimmedView(mainValue(raw, result.sjis_)).toByteArray().toLower();
    bool charsetSeen = false;
    forEachParameter(raw, result.sjis_, [&](const RawParameter &p) {
        if (!charsetSeen && sameName(p.name, "charset")) {
            result.rawCharset = unquote(p.value);
            charsetSeen = !result.rawCharset.isEmpty();
        }
    });
    return result;
}

// ---------------------------------------------------------------- HTML

namespace {

QString entity(const QString &name)
{
    static const QHash<QString, QString> named = {
        {QStringLiteral("amp"), QStringLiteral("&")},      {QStringLiteral("lt"), QStringLiteral("<")},
        {QStringLiteral("gt"), QStringLiteral(">")},       {QStringLiteral("quot"), QStringLiteral("\"")},
        {QStringLiteral("apos"), QStringLiteral("'")},     {QStringLiteral("nbsp"), QStringLiteral(" ")},
        {QStringLiteral("copy"), QStringLiteral("©")},     {QStringLiteral("reg"), QStringLiteral("®")},
        {QStringLiteral("hellip"), QStringLiteral("…")},   {QStringLiteral("mdash"), QStringLiteral("—")},
        {QStringLiteral("ndash"), QStringLiteral("–")},    {QStringLiteral("laquo"), QStringLiteral("«")},
        {QStringLiteral("raquo"), QStringLiteral("»")},    {QStringLiteral("yen"), QStringLiteral("¥")},
        {QStringLiteral("times"), QStringLiteral("×")},    {QStringLiteral("middot"), QStringLiteral("·")},
        {QStringLiteral("lsquo"), QStringLiteral("‘")},    {QStringLiteral("rsquo"), QStringLiteral("’")},
        {QStringLiteral("ldquo"), QStringLiteral("“")},    {QStringLiteral("rdquo"), QStringLiteral("”")},
    };
    if (name.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        const uint code = (name.size() > 1 && (name[1] == QLatin1Char('x') || name[1] == QLatin1Char('X')))
                              ? name.mid(2).toUInt(&ok, 16)
                              : name.mid(1).toUInt(&ok, 10);
        if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return QString(QChar::ReplacementCharacter);
        const char32_t c = code;
        return QString::fromUcs4(&c, 1);
    }
    return named.value(name.toLower());
}

bool isBlockTag(const QString &t)
{
    static const QStringList blocks = {
        QStringLiteral("p"),    QStringLiteral("div"),   QStringLiteral("tr"),         QStringLiteral("li"),
        QStringLiteral("h1"),   QStringLiteral("h2"),    QStringLiteral("h3"),         QStringLiteral("h4"),
        QStringLiteral("h5"),   QStringLiteral("h6"),    QStringLiteral("table"),      QStringLiteral("ul"),
        QStringLiteral("ol"),   QStringLiteral("pre"),   QStringLiteral("blockquote"), QStringLiteral("hr"),
        QStringLiteral("dt"),   QStringLiteral("dd"),    QStringLiteral("section"),    QStringLiteral("article"),
        QStringLiteral("header"), QStringLiteral("footer"), QStringLiteral("center"),
    };
    return blocks.contains(t);
}

}  // namespace

QString htmlToText(const QString &html)
{
    QString out;
    out.reserve(html.size());
    bool pendingSpace = false;
    int pre = 0;
    const qsizetype n = html.size();
    auto newline = [&]() {
        while (out.endsWith(QLatin1Char(' ')))
            out.chop(1);
        out += QLatin1Char('\n');
        pendingSpace = false;
    };
    qsizetype i = 0;
    while (i < n) {
        const QChar c = html[i];
        if (c == QLatin1Char('<')) {
            if (html.mid(i, 4) == QLatin1String("<!--")) {
                const qsizetype e = html.indexOf(QLatin1String("-->"), i + 4);
                i = e < 0 ? n : e + 3;
                continue;
            }
            const qsizetype close = html.indexOf(QLatin1Char('>'), i + 1);
            if (close < 0)
                break;
            QString tag = html.mid(i + 1, close - i - 1).trimmed();
            const bool closing = tag.startsWith(QLatin1Char('/'));
            if (closing)
                tag = tag.mid(1);
            qsizetype k = 0;
            while (k < tag.size() && (tag[k].isLetterOrNumber() || tag[k] == QLatin1Char('!')))
                ++k;
            const QString name = tag.left(k).toLower();
            i = close + 1;
            if (!closing && (name == QLatin1String("script") || name == QLatin1String("style")
                             || name == QLatin1String("head") || name == QLatin1String("title"))) {
                const qsizetype e = html.indexOf(QLatin1String("</") + name, i, Qt::CaseInsensitive);
                if (e < 0) {
                    i = n;
                } else {
                    const qsizetype g = html.indexOf(QLatin1Char('>'), e);
                    i = g < 0 ? n : g + 1;
                }
                continue;
            }
            if (name == QLatin1String("br")) {
                newline();
            } else if (isBlockTag(name)) {
                if (!out.isEmpty() && !out.endsWith(QLatin1Char('\n')))
                    newline();
                if (name == QLatin1String("pre"))
                    pre += closing ? -1 : 1;
                if (name == QLatin1String("p") && closing)
                    newline();
            } else if (name == QLatin1String("td") || name == QLatin1String("th")) {
                if (!closing && !out.isEmpty() && !out.endsWith(QLatin1Char('\n')))
                    pendingSpace = true;
            }
            continue;
        }
        if (c == QLatin1Char('&')) {
            qsizetype semi = i + 1;
            while (semi < n && semi - i <= 10 && (html[semi].isLetterOrNumber() || html[semi] == QLatin1Char('#')))
                ++semi;
            const QString rep = (semi < n && html[semi] == QLatin1Char(';')) ? entity(html.mid(i + 1, semi - i - 1))
                                                                              : QString();
            if (!rep.isEmpty()) {
                if (pendingSpace && !out.isEmpty() && !out.endsWith(QLatin1Char('\n')))
                    out += QLatin1Char(' ');
                pendingSpace = false;
                out += rep;
                i = semi + 1;
                continue;
            }
        }
        if (pre == 0 && (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r')
                         || c == QLatin1Char('\n'))) {
            pendingSpace = true;
            ++i;
            continue;
        }
        if (pendingSpace && !out.isEmpty() && !out.endsWith(QLatin1Char('\n')))
            out += QLatin1Char(' ');
        pendingSpace = false;
        if (c != QLatin1Char('\r'))
            out += c;
        ++i;
    }
    // At most one empty line in a row, none at the ends.
    QStringList lines = out.split(QLatin1Char('\n'));
    QStringList kept;
    int empty = 0;
    for (QString l : lines) {
        while (l.endsWith(QLatin1Char(' ')))
            l.chop(1);
        if (l.isEmpty()) {
            if (++empty > 1)
                continue;
        } else {
            empty = 0;
        }
        kept << l;
    }
    while (!kept.isEmpty() && kept.first().isEmpty())
        kept.removeFirst();
    while (!kept.isEmpty() && kept.last().isEmpty())
        kept.removeLast();
    return kept.join(QLatin1Char('\n'));
}

}  // namespace korvane::mime
