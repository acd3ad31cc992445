// Over a thousand lines on purpose: the decoders of one received mail's
// parts (transfer encodings, header words, parameters, HTML to text) that the
// parser in mime_message.cpp calls, each small, kept together with the helpers
// they share; the HTML reading (from htmlToText down) is the seam to split at
// should it grow.
#include "mime_decode.h"

#include "mime_charset.h"
#include "common/text.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QStringDecoder>
#include <QMap>

#include <algorithm>
#include <mutex>
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

// Two spellings of one charset ("UTF-8", "utf8", "iso_2022-jp"): letter
// case, "-" and "_" aside.
bool sameCharset(QByteArrayView a, QByteArrayView b)
{
    qsizetype i = 0, j = 0;
    for (;;) {
        while (i < a.size() && (a[i] == '-' || a[i] == '_'))
            ++i;
        while (j < b.size() && (b[j] == '-' || b[j] == '_'))
            ++j;
        if (i == a.size() || j == b.size())
            return i == a.size() && j == b.size();
        if (asciiLower(a[i++]) != asciiLower(b[j++]))
            return false;
    }
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
        if (end < 0)
            return false;
        // Mailers that fold a long word insert blanks into its base64 text
        // ("=?ISO-2022-JP?B?GyRC... JWEh...?="); such a word is still one
        // word when nothing but base64 and blanks lies up to its "?=". In Q
        // text a blank is not breakage that can be told apart from prose.
        const bool base64 = enc == 'B' || enc == 'b';
        if (blankAtOrAfter(textStart) < end && !(base64 && notBase64AtOrAfter(textStart) >= end))
            return false;
        word.charset = QByteArrayView(d + p, q1 - p);
        const qsizetype star = word.charset.indexOf('*');
        if (star >= 0)
            word.charset.truncate(star);
        word.text = QByteArrayView(d + textStart, end - textStart);
        word.base64 = base64;
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

    // The first character at or after `from` that is neither base64 nor a
    // blank, or the text's size.
    qsizetype notBase64AtOrAfter(qsizetype from)
    {
        if (odd_ < from) {
            odd_ = from;
            const char *d = s_.constData();
            while (odd_ < s_.size()) {
                const char c = d[odd_];
                if (base64Table.v[static_cast<unsigned char>(c)] < 0 && c != '=' && c != ' ' && c != '\t'
                    && c != '\r' && c != '\n')
                    break;
                ++odd_;
            }
        }
        return odd_;
    }

    const QByteArray &s_;
    qsizetype close_ = -2;  // -2 not searched yet, -1 none left
    qsizetype blank_ = -1;
    qsizetype odd_ = -1;
};

}  // namespace

QString decodeHeaderText(const QByteArray &raw, const QByteArray &rawCharset)
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
    for (const Segment &s : segments) {
        if (s.word) {
            out += decodeCharset(s.bytes, s.charset);
        } else {
            std::optional<QString> text;
            if (!rawCharset.isEmpty())
                text = decodeStrict(s.bytes, rawCharset);
            out += text ? *text : decodeUndeclared(s.bytes);
        }
    }
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

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Walks the tags of an HTML text in one pass: `tag(name, closing)` for each
// tag (name in lower case), `text(from, to)` for the text between them.
// Comments and the contents of script and style are skipped; a ">" inside
// a quoted attribute value does not end its tag.
template <class Tag, class Text> void forEachTag(const QString &html, Tag tag, Text text)
{
    const qsizetype n = html.size();
    qsizetype i = 0;
    qsizetype textStart = 0;
    while (i < n) {
        if (html[i] != QLatin1Char('<') || i + 1 >= n) {
            ++i;
            continue;
        }
        const QChar next = html[i + 1];
        const bool closing = next == QLatin1Char('/');
        if (QStringView(html).sliced(i).startsWith(QLatin1String("<!--"))) {
            text(textStart, i);
            const qsizetype e = html.indexOf(QLatin1String("-->"), i + 4);
            i = textStart = e < 0 ? n : e + 3;
            continue;
        }
        if (!isAsciiLetter(closing ? (i + 2 < n ? html[i + 2] : QChar()) : next) && next != QLatin1Char('!')
            && next != QLatin1Char('?')) {
            ++i;  // a "<" of the text
            continue;
        }
        text(textStart, i);
        qsizetype k = i + (closing ? 2 : 1);
        const qsizetype nameStart = k;
        while (k < n && (isAsciiLetter(html[k]) || isAsciiDigit(html[k]) || html[k] == QLatin1Char('!')
                         || html[k] == QLatin1Char('?')))
            ++k;
        // The name in lower case; a name longer than any HTML element's is
        // no element of interest (left empty).
        char lower[16];
        qsizetype length = k - nameStart;
        if (length >= qsizetype(sizeof lower))
            length = 0;
        for (qsizetype m = 0; m < length; ++m) {
            const char16_t u = html[nameStart + m].unicode();
            lower[m] = u < 0x80 ? char(u >= 'A' && u <= 'Z' ? u + 32 : u) : '?';
        }
        const QLatin1StringView name(lower, length);
        // Up to the ">" outside quotes; a quote opens a value only behind "=".
        QChar quote;
        QChar last;
        while (k < n) {
            const QChar c = html[k];
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
            } else if ((c == QLatin1Char('"') || c == QLatin1Char('\'')) && last == QLatin1Char('=')) {
                quote = c;
            } else if (c == QLatin1Char('>')) {
                break;
            }
            if (!c.isSpace())
                last = c;
            ++k;
        }
        i = textStart = qMin(k + 1, n);
        if (!closing && (name == QLatin1String("script") || name == QLatin1String("style"))) {
            const qsizetype e = html.indexOf(QLatin1String("</") + QString(name), i, Qt::CaseInsensitive);
            const qsizetype g = e < 0 ? -1 : html.indexOf(QLatin1Char('>'), e);
            i = textStart = g < 0 ? n : g + 1;
            continue;
        }
        tag(name, closing);
    }
    text(textStart, n);
}

template <std::size_t N> bool oneOf(QLatin1StringView name, const QLatin1StringView (&names)[N])
{
    for (QLatin1StringView n : names)
        if (name == n)
            return true;
    return false;
}

bool isEmptyElement(QLatin1StringView name)
{
    using L = QLatin1StringView;
    static constexpr L names[] = {
        L("br"), L("img"), L("hr"), L("meta"), L("link"), L("input"), L("area"), L("base"), L("col"), L("wbr"),
        L("param"), L("source"),
        // Usually left open: the next one ends them.
        L("p"), L("li"), L("td"), L("th"), L("tr"), L("dt"), L("dd"), L("option"),
    };
    return oneOf(name, names);
}

bool isLineTag(QLatin1StringView name)
{
    using L = QLatin1StringView;
    static constexpr L names[] = {
        L("br"), L("p"),  L("div"), L("tr"),    L("li"), L("h1"), L("h2"),         L("h3"), L("h4"), L("h5"),
        L("h6"), L("table"), L("ul"), L("ol"), L("blockquote"), L("hr"), L("dt"), L("dd"), L("pre"), L("center"),
    };
    return oneOf(name, names);
}

// How deep the elements of the text nest, about: Qt's HTML reader takes
// time that grows with the square of the depth.
int nestingDepth(const QString &html)
{
    int depth = 0, deepest = 0;
    forEachTag(
        html,
        [&](QLatin1StringView name, bool closing) {
            if (isEmptyElement(name) || name.startsWith(QLatin1Char('!')) || name.startsWith(QLatin1Char('?')))
                return;
            depth = closing ? qMax(0, depth - 1) : depth + 1;
            deepest = qMax(deepest, depth);
        },
        [](qsizetype, qsizetype) {});
    return deepest;
}

// One named entity ("&euro;") as Qt's HTML reader reads it, remembered: a
// text holds few different names. Unknown names stay as written.
QString namedEntity(QStringView name)
{
    static std::mutex mutex;
    static QHash<QString, QString> known;
    const QString key = name.toString();
    {
        std::lock_guard lock(mutex);
        const auto it = known.constFind(key);
        if (it != known.constEnd())
            return *it;
    }
    QTextDocument doc;
    doc.setHtml(QLatin1Char('&') + key + QLatin1Char(';'));
    const QString text = doc.toPlainText();
    std::lock_guard lock(mutex);
    if (known.size() < 4096)
        known.insert(key, text);
    return text;
}

// Appends text of the HTML with its entities decoded and its white space
// runs as one blank.
void appendHtmlText(QStringView text, QString &out)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char(' ') || c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t')
            || c == QLatin1Char('\f')) {
            if (!out.isEmpty() && !out.endsWith(QLatin1Char(' ')) && !out.endsWith(QLatin1Char('\n')))
                out += QLatin1Char(' ');
            continue;
        }
        if (c == QLatin1Char('&')) {
            qsizetype e = i + 1;
            while (e < n && e - i <= 32 && (isAsciiLetter(text[e]) || isAsciiDigit(text[e]) || text[e] == QLatin1Char('#')))
                ++e;
            if (e < n && text[e] == QLatin1Char(';') && e > i + 1) {
                const QStringView name = text.sliced(i + 1, e - i - 1);
                QString decoded;
                if (name.startsWith(QLatin1Char('#'))) {
                    bool ok = false;
                    const bool hex = name.size() > 1 && (name[1] == QLatin1Char('x') || name[1] == QLatin1Char('X'));
                    const uint code = hex ? name.sliced(2).toUInt(&ok, 16) : name.sliced(1).toUInt(&ok, 10);
                    const char32_t c32 = ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)
                                             ? char32_t(code)
                                             : char32_t(QChar::ReplacementCharacter);
                    decoded = QString::fromUcs4(&c32, 1);
                } else {
                    decoded = namedEntity(name);
                }
                out += decoded == QChar(QChar::Nbsp) ? QStringLiteral(" ") : decoded;
                i = e;
                continue;
            }
        }
        // A run of ordinary characters at once.
        qsizetype e = i + 1;
        while (e < n) {
            const char16_t u = text[e].unicode();
            if (u == '&' || u == ' ' || u == '\n' || u == '\r' || u == '\t' || u == '\f')
                break;
            ++e;
        }
        out += text.sliced(i, e - i);
        i = e - 1;
    }
}

// The HTML read without Qt's document: tags dropped, the tags that end a
// line as line breaks, entities decoded (named ones by Qt's reader), white
// space runs as one blank. In one pass, for HTML too large or nested too
// deep for the document (whose time grows with every paragraph, and with
// the square of the depth), and where no graphical application runs (the
// document needs its fonts for <pre> and <code>).
QString plainReading(const QString &html)
{
    QString out;
    out.reserve(html.size() / 2);
    bool inHead = false;
    forEachTag(
        html,
        [&](QLatin1StringView name, bool closing) {
            if (name == QLatin1String("head") || name == QLatin1String("title")) {
                inHead = !closing;
            } else if (isLineTag(name)) {
                while (out.endsWith(QLatin1Char(' ')))
                    out.chop(1);
                out += QLatin1Char('\n');
            }
        },
        [&](qsizetype from, qsizetype to) {
            if (!inHead)
                appendHtmlText(QStringView(html).sliced(from, to - from), out);
        });
    return out;
}

// HTML larger than this is read by plainReading.
constexpr qsizetype MaxDocumentHtml = 512 * 1024;
constexpr int MaxHtmlDepth = 500;

QString tidyLines(const QString &out);

// Qt's document, loading nothing a mail names (images, style sheets).
class MailDocument : public QTextDocument {
protected:
    QVariant loadResource(int, const QUrl &) override { return {}; }
};

}  // namespace

QString htmlToText(const QString &html)
{
    const bool graphical = qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
    QString out;
    if (!graphical || html.size() > MaxDocumentHtml || nestingDepth(html) > MaxHtmlDepth)
        return tidyLines(plainReading(html));
    // Qt's reader runs text behind a closed <div> into the div's last line
    // ("<div>a</div>b" as "ab"); an empty div after each one ends that line,
    // as a browser does.
    QString source = html;
    source.replace(QLatin1String("</div>"), QLatin1String("</div><div></div>"), Qt::CaseInsensitive);
    MailDocument doc;
    doc.setHtml(source);
    // Block by block: paragraphs with a margin apart by an empty line, list
    // items with their mark, the cells of a table row on one line.
    out.reserve(html.size() / 2);
    const QTextTable *lastTable = nullptr;
    int lastRow = -1;
    bool spaced = false;  // the previous block wants an empty line behind it
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const QTextBlockFormat format = b.blockFormat();
        QString line = b.text();
        line.remove(QChar(QChar::ObjectReplacementCharacter));
        line.remove(QChar(0xFDD0));
        line.remove(QChar(0xFDD1));
        line.replace(QChar(QChar::Nbsp), QLatin1Char(' '));
        line.replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));
        if (const QTextList *list = b.textList()) {
            const int style = list->format().style();
            const QString mark = style >= QTextListFormat::ListSquare && style <= QTextListFormat::ListDisc
                                     ? QStringLiteral("・")
                                     : list->itemText(b) + QLatin1Char(' ');
            line = QString(2 * qMax(0, list->format().indent() - 1), QLatin1Char(' ')) + mark + line;
        }
        QTextCursor cursor(b);
        const QTextTable *table = cursor.currentTable();
        const int row = table ? table->cellAt(cursor).row() : -1;
        if (!out.isEmpty() || b != doc.begin()) {
            if (table && table == lastTable && row == lastRow)
                out += line.isEmpty() ? QString() : QStringLiteral(" ");
            else
                out += (spaced || format.topMargin() > 0) ? QStringLiteral("\n\n") : QStringLiteral("\n");
        }
        out += line;
        lastTable = table;
        lastRow = row;
        spaced = format.bottomMargin() > 0 && !line.isEmpty();
    }
    return tidyLines(out);
}

namespace {

// At most one empty line in a row, none at the ends, no blanks at line ends.
QString tidyLines(const QString &out)
{
    QStringList kept;
    int empty = 0;
    for (QString l : out.split(QLatin1Char('\n'))) {
        while (l.endsWith(QLatin1Char(' ')) || l.endsWith(QLatin1Char('\t')))
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

}  // namespace

}  // namespace korvane::mime
