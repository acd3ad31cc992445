#include "mime_charset.h"

#include <QStringDecoder>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>
#include <iconv.h>

namespace korvane::mime {

namespace {

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr const char *Utf16Native = "UTF-16LE";
#else
constexpr const char *Utf16Native = "UTF-16BE";
#endif

// iconv descriptors are kept in a process-wide pool: opening and closing
// them for every text made glibc load and unload its conversion modules
// again and again, which cost more than the conversions.
class IconvPool {
public:
    static IconvPool &instance()
    {
        static IconvPool pool;
        return pool;
    }
    iconv_t acquire(const char *to, const char *from)
    {
        const std::string key = std::string(to) + '\n' + from;
        {
            std::lock_guard lock(mutex_);
            auto it = free_.find(key);
            if (it != free_.end() && !it->second.empty()) {
                iconv_t cd = it->second.back();
                it->second.pop_back();
                return cd;
            }
        }
        return iconv_open(to, from);
    }
    void release(const char *to, const char *from, iconv_t cd)
    {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
        const std::string key = std::string(to) + '\n' + from;
        std::lock_guard lock(mutex_);
        std::vector<iconv_t> &list = free_[key];
        if (list.size() < 8)
            list.push_back(cd);
        else
            iconv_close(cd);
    }

private:
    std::mutex mutex_;
    std::map<std::string, std::vector<iconv_t>> free_;
};

class Iconv {
public:
    Iconv(const char *to, const char *from) : to_(to), from_(from), cd_(IconvPool::instance().acquire(to, from)) {}
    ~Iconv()
    {
        if (ok())
            IconvPool::instance().release(to_.c_str(), from_.c_str(), cd_);
    }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    std::string to_;
    std::string from_;
    iconv_t cd_;
};

// How a charset pairs its bytes, so that a character that does not convert
// is skipped whole: one mark for a double-byte character, not a mark and a
// stray second byte read as a character of its own.
enum class Pairs { None, Sjis, Euc };

Pairs pairsOf(const char *charset)
{
    if (std::strcmp(charset, "CP932") == 0)
        return Pairs::Sjis;
    if (std::strncmp(charset, "EUC-J", 5) == 0)
        return Pairs::Euc;
    return Pairs::None;
}

// The length of the double-byte (or EUC three-byte) character at `p` that
// the converter refused, 0 when the byte is not the start of one.
int pairLength(Pairs pairs, const unsigned char *p, size_t left)
{
    auto euc = [](unsigned char b) { return b >= 0xA1 && b <= 0xFE; };
    switch (pairs) {
    case Pairs::Sjis:
        if (left >= 2 && ((p[0] >= 0x81 && p[0] <= 0x9F) || (p[0] >= 0xE0 && p[0] <= 0xFC))
            && p[1] >= 0x40 && p[1] <= 0xFC && p[1] != 0x7F)
            return 2;
        return 0;
    case Pairs::Euc:
        if (left >= 3 && p[0] == 0x8F && euc(p[1]) && euc(p[2]))
            return 3;
        if (left >= 2 && euc(p[0]) && euc(p[1]))
            return 2;
        return 0;
    case Pairs::None:
        break;
    }
    return 0;
}

// Appends `size` bytes from the descriptor's charset to `out` as UTF-16 and
// returns the descriptor to its initial state. Strict: false on the first
// invalid or incomplete sequence. Lenient: a well-formed double-byte
// character the charset does not assign (a carrier's pictogram in an
// unassigned row) becomes one "〓", any other bad byte U+FFFD.
bool iconvAppend(iconv_t cd, const char *data, qsizetype size, bool strict, QString &out, Pairs pairs = Pairs::None)
{
    qsizetype used = out.size();  // in UTF-16 units
    out.resize(used + size + 16);
    char *in = const_cast<char *>(data);
    size_t inLeft = size_t(size);
    bool ok = true;
    while (inLeft > 0) {
        char *dst = reinterpret_cast<char *>(out.data() + used);
        size_t outLeft = size_t(out.size() - used) * 2;
        const size_t outStart = outLeft;
        const size_t r = iconv(cd, &in, &inLeft, &dst, &outLeft);
        used += qsizetype(outStart - outLeft) / 2;
        if (r != size_t(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() + qMax<qsizetype>(64, qsizetype(inLeft) + 16));
            continue;
        }
        if (strict) {
            ok = false;
            break;
        }
        // EILSEQ or EINVAL: one replacement character for the character or
        // the byte.
        if (used >= out.size())
            out.resize(out.size() + 64);
        const int pair = errno == EILSEQ ? pairLength(pairs, reinterpret_cast<unsigned char *>(in), inLeft) : 0;
        out[used++] = pair ? QChar(0x3013) : QChar::ReplacementCharacter;
        const size_t skip = pair ? size_t(pair) : 1;
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    if (ok) {
        // Flush any shift state.
        out.resize(used + 16);
        char *dst = reinterpret_cast<char *>(out.data() + used);
        size_t outLeft = 32;
        iconv(cd, nullptr, nullptr, &dst, &outLeft);
        used += qsizetype(32 - outLeft) / 2;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    out.resize(used);
    return ok;
}

// Decodes `bytes` from an iconv charset into UTF-16 (see iconvAppend).
std::optional<QString> iconvDecode(const QByteArray &bytes, const char *charset, bool strict)
{
    Iconv cv(Utf16Native, charset);
    if (!cv.ok())
        return std::nullopt;
    QString out;
    if (!iconvAppend(cv.get(), bytes.constData(), bytes.size(), strict, out, pairsOf(charset)))
        return std::nullopt;
    return out;
}

std::optional<QString> utf8Strict(const QByteArray &bytes)
{
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = dec.decode(bytes);
    if (dec.hasError())
        return std::nullopt;
    return s;
}

bool isAscii(const QByteArray &bytes)
{
    return QtPrivate::isAscii(QLatin1StringView(bytes));
}

enum class Kind { Utf8, Ascii, Latin1, Iso2022Jp, Iconv, Unknown };

struct Charset {
    Kind kind = Kind::Unknown;
    QByteArray iconvName;
};

// The other charsets a Japanese mail reader meets, by their usual names: the
// ISO-8859 family, Windows-125x, UTF-16/32, Chinese, KOI8 and the ISO-2022-JP
// and EUC/Shift_JIS forms of JIS X 0213. Null for any other name.
const char *acceptedIconvName(const QByteArray &name)
{
    static const std::map<QByteArray, const char *> names = [] {
        std::map<QByteArray, const char *> m;
        static const char *const iso8859[] = {nullptr,        nullptr,       "ISO-8859-2",  "ISO-8859-3",
                                              "ISO-8859-4",   "ISO-8859-5",  "ISO-8859-6",  "ISO-8859-7",
                                              "ISO-8859-8",   "ISO-8859-9",  "ISO-8859-10", "ISO-8859-11",
                                              nullptr,        "ISO-8859-13", "ISO-8859-14", "ISO-8859-15",
                                              "ISO-8859-16"};
        for (int n = 2; n <= 16; ++n) {
            if (!iso8859[n])
                continue;
            const QByteArray num = QByteArray::number(n);
            for (const char *prefix : {"iso-8859-", "iso8859-", "iso_8859-", "iso8859_", "iso-8859_"})
                m[QByteArray(prefix) + num] = iso8859[n];
        }
        m["iso-8859-8-i"] = "ISO-8859-8";
        m["iso-8859-6-i"] = "ISO-8859-6";
        m["latin2"] = "ISO-8859-2";
        m["latin-9"] = "ISO-8859-15";
        m["latin9"] = "ISO-8859-15";
        static const char *const windows[] = {"CP1250", "CP1251", nullptr, "CP1253", "CP1254",
                                              "CP1255", "CP1256", "CP1257", "CP1258"};
        for (int n = 0; n <= 8; ++n) {
            if (!windows[n])
                continue;
            const QByteArray num = QByteArray::number(1250 + n);
            m["windows-" + num] = windows[n];
            m["cp" + num] = windows[n];
            m["x-cp" + num] = windows[n];
        }
        m["utf-16"] = "UTF-16";
        m["utf-16le"] = "UTF-16LE";
        m["utf-16be"] = "UTF-16BE";
        m["utf-32"] = "UTF-32";
        m["utf-32le"] = "UTF-32LE";
        m["utf-32be"] = "UTF-32BE";
        m["utf16"] = "UTF-16";
        m["utf32"] = "UTF-32";
        // Microsoft's names: "unicode" is its little-endian UTF-16 (code page
        // 1200), "unicodeFFFE" and "unicodebig" the big-endian one (1201).
        m["unicode"] = "UTF-16LE";
        m["unicodefffe"] = "UTF-16BE";
        m["unicodebig"] = "UTF-16BE";
        m["unicodebigunmarked"] = "UTF-16BE";
        m["unicodelittleunmarked"] = "UTF-16LE";
        // UTF-7 (RFC 2152) is read as text; HTML in it is never taken as
        // markup (see isUtf7).
        m["utf-7"] = "UTF-7";
        m["utf7"] = "UTF-7";
        m["unicode-1-1-utf-7"] = "UTF-7";
        m["csunicode11utf7"] = "UTF-7";
        m["x-unicode-2-0-utf-7"] = "UTF-7";
        m["gb18030"] = "GB18030";
        m["big5"] = "BIG5";
        m["x-big5"] = "BIG5";
        m["cp950"] = "BIG5";
        m["big5-hkscs"] = "BIG5-HKSCS";
        m["big5hkscs"] = "BIG5-HKSCS";
        m["koi8-r"] = "KOI8-R";
        m["koi8r"] = "KOI8-R";
        m["cskoi8r"] = "KOI8-R";
        m["koi8-u"] = "KOI8-U";
        m["koi8u"] = "KOI8-U";
        m["koi8-ru"] = "KOI8-RU";
        m["euc-jisx0213"] = "EUC-JISX0213";
        m["euc-jis-2004"] = "EUC-JISX0213";
        return m;
    }();
    const auto it = names.find(name);
    return it == names.end() ? nullptr : it->second;
}

Charset lookup(const QByteArray &declared)
{
    QByteArray name = declared.trimmed().toLower();
    if (name.size() >= 2 && (name.startsWith('"') || name.startsWith('\'')))
        name = name.mid(1, name.size() - 2).trimmed();
    const int star = name.indexOf('*');  // RFC 2231 language suffix: "utf-8*ja"
    if (star >= 0)
        name.truncate(star);
    if (name.isEmpty())
        return {};
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.'
                        || c == ':' || c == '+';
        if (!ok)
            return {};
    }
    if (name == "utf-8" || name == "utf8" || name == "unicode-1-1-utf-8")
        return {Kind::Utf8, {}};
    if (name == "us-ascii" || name == "ascii" || name == "ansi_x3.4-1968" || name == "us")
        return {Kind::Ascii, {}};
    if (name == "iso-8859-1" || name == "iso8859-1" || name == "iso_8859-1" || name == "latin1" || name == "l1"
        || name == "windows-1252" || name == "cp1252")
        return {Kind::Latin1, {}};
    if (name == "iso-2022-jp" || name == "csiso2022jp" || name == "iso-2022-jp-1" || name == "iso-2022-jp-ms"
        || name == "iso-2022-jp-2" || name == "csiso2022jp2" || name == "iso-2022-jp-3" || name == "iso-2022-jp-2004"
        || name == "cp50220" || name == "cp50221" || name == "cp50222" || name == "jis" || name == "x-jis")
        return {Kind::Iso2022Jp, {}};
    if (name == "shift_jis" || name == "shift-jis" || name == "sjis" || name == "x-sjis" || name == "ms_kanji"
        || name == "csshiftjis" || name == "cp932" || name == "windows-31j" || name == "ms932" || name == "x-ms-cp932"
        || name == "shift_jisx0213" || name == "x-sjis-open")
        return {Kind::Iconv, "CP932"};
    if (name == "euc-jp" || name == "eucjp" || name == "x-euc-jp" || name == "cseucpkdfmtjapanese" || name == "ujis"
        || name == "euc-jp-ms" || name == "eucjp-ms")
        return {Kind::Iconv, "EUC-JP-MS"};
    if (name == "gb2312" || name == "gbk" || name == "x-gbk" || name == "euc-cn" || name == "cp936")
        return {Kind::Iconv, "GB18030"};
    if (name == "ks_c_5601-1987" || name == "ks_c_5601" || name == "euc-kr" || name == "cp949")
        return {Kind::Iconv, "CP949"};
    if (const char *iconvName = acceptedIconvName(name))
        return {Kind::Iconv, iconvName};
    // Anything else (EBCDIC, ...) is not decoded as declared: glibc
    // would load whatever converter a sender names.
    return {};
}

// How unlikely a decoding is as ordinary text: half-width kana, private-use
// and replacement characters are rare in real Japanese mail.
int oddness(QStringView s)
{
    int n = 0;
    for (QChar c : s) {
        const ushort u = c.unicode();
        if ((u >= 0xFF61 && u <= 0xFF9F) || (u >= 0xE000 && u <= 0xF8FF) || u == 0xFFFD)
            ++n;
    }
    return n;
}

struct Probe {
    bool valid = false;
    int oddness = 0;
};

// Whether the bytes decode in `charset` without error, and how odd the text
// reads; the output goes through a small buffer and is not kept.
Probe probe(const QByteArray &bytes, const char *charset)
{
    Probe result;
    Iconv cv(Utf16Native, charset);
    if (!cv.ok())
        return result;
    char16_t buffer[4096];
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    for (;;) {
        char *dst = reinterpret_cast<char *>(buffer);
        size_t outLeft = sizeof buffer;
        const size_t r = iconv(cv.get(), inLeft ? &in : nullptr, inLeft ? &inLeft : nullptr, &dst, &outLeft);
        const qsizetype units = qsizetype(sizeof buffer - outLeft) / 2;
        result.oddness += oddness(QStringView(buffer, units));
        if (r != size_t(-1)) {
            if (inLeft == 0) {
                result.valid = true;
                return result;
            }
            continue;
        }
        if (errno != E2BIG)
            return result;
    }
}

// The converter for the bytes: UTF-16 with a byte order mark is read in the
// order the mark gives (and the mark dropped), whatever order its name says.
const char *iconvNameFor(const Charset &cs, const QByteArray &bytes)
{
    if (cs.iconvName.startsWith("UTF-16") && bytes.size() >= 2
        && ((uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xFE) || (uchar(bytes[0]) == 0xFE && uchar(bytes[1]) == 0xFF)))
        return "UTF-16";
    return cs.iconvName.constData();
}

void jisToSjis(unsigned char j1, unsigned char j2, QByteArray &out)
{
    int s1 = ((j1 - 0x21) >> 1) + 0x81;
    if (s1 > 0x9F)
        s1 += 0x40;
    int s2;
    if (j1 & 1)
        s2 = j2 + 0x1F + (j2 >= 0x60 ? 1 : 0);
    else
        s2 = j2 + 0x7E;
    out.append(char(s1));
    out.append(char(s2));
}

std::optional<QString> iso2022Jp(const QByteArray &bytes, bool strict)
{
    enum Mode { Ascii, Kanji, Kana, Kanji0212 };
    Mode mode = Ascii;
    bool shiftedOut = false;  // SO ... SI: half-width kana
    QString out;
    out.reserve(bytes.size());
    const char *data = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype asciiStart = -1;  // a run of ASCII bytes not yet copied
    QByteArray sjis;            // code page 932 bytes of the current two-byte run
    // One descriptor of each kind for the whole text: a text may switch
    // modes for every character.
    std::optional<Iconv> sjisCv;
    std::optional<Iconv> eucCv;
    auto flushAscii = [&](qsizetype end) {
        if (asciiStart >= 0 && end > asciiStart)
            out += QLatin1StringView(data + asciiStart, end - asciiStart);
        asciiStart = -1;
    };
    auto flushSjis = [&]() -> bool {
        if (sjis.isEmpty())
            return true;
        if (!sjisCv)
            sjisCv.emplace(Utf16Native, "CP932");
        const bool ok =
            sjisCv->ok() && iconvAppend(sjisCv->get(), sjis.constData(), sjis.size(), strict, out, Pairs::Sjis);
        sjis.clear();
        return ok;
    };
    auto bad = [&](qsizetype at) -> bool {
        flushAscii(at);
        if (strict || !flushSjis())
            return false;
        out += QChar::ReplacementCharacter;
        return true;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        if (c == 0x1B) {
            flushAscii(i);
            if (!flushSjis())
                return std::nullopt;
            const QByteArray seq = bytes.mid(i + 1, 3);
            if (seq.startsWith("(B") || seq.startsWith("(J") || seq.startsWith("(H")) {
                mode = Ascii;
                i += 2;
            } else if (seq.startsWith("(I")) {
                mode = Kana;
                i += 2;
            } else if (seq.startsWith("$@") || seq.startsWith("$B")) {
                mode = Kanji;
                i += 2;
            } else if (seq.startsWith("&@")) {  // JIS X 0208-1990 announcer, followed by ESC $ B
                i += 2;
            } else if (seq == "$(D") {
                mode = Kanji0212;
                i += 3;
            } else if (seq == "$(B" || seq == "$(Q" || seq == "$(O") {
                mode = Kanji;
                i += 3;
            } else if (seq.size() >= 2 && seq[0] == '$' && std::strchr("GEFOPQ", seq[1])) {
                // A mobile carrier's pictograms: ESC $ G, then one byte per
                // picture up to SI. Shown as the mark for a character that
                // cannot be shown.
                i += 2;
                while (i + 1 < n && data[i + 1] > 0x20 && data[i + 1] < 0x7F) {
                    ++i;
                    out += QChar(0x3013);
                }
                if (i + 1 < n && data[i + 1] == 0x0F)
                    ++i;
            } else {
                // Any other escape sequence (ESC, intermediate bytes 0x20 to
                // 0x2F, a final byte) is taken whole, never shown as bytes.
                if (!bad(i))
                    return std::nullopt;
                qsizetype end = i + 1;
                while (end < n && data[end] >= 0x20 && data[end] <= 0x2F)
                    ++end;
                if (end < n && data[end] >= 0x30 && data[end] <= 0x7E)
                    ++end;
                i = end - 1;
            }
            continue;
        }
        if (c == 0x0E || c == 0x0F) {
            flushAscii(i);
            shiftedOut = c == 0x0E;
            continue;
        }
        if (c >= 0x80) {
            if (!bad(i))
                return std::nullopt;
            continue;
        }
        if (c == '\r' || c == '\n') {
            // A line ends in ASCII; senders that forget the escape are common.
            if (!flushSjis())
                return std::nullopt;
            mode = Ascii;
            shiftedOut = false;
        }
        if (!shiftedOut && (mode == Ascii || c < 0x21 || c > 0x7E)) {
            if (asciiStart < 0) {
                if (!flushSjis())
                    return std::nullopt;
                asciiStart = i;
            }
            continue;
        }
        flushAscii(i);
        if (shiftedOut || mode == Kana) {
            sjis.append(char(c >= 0x21 && c <= 0x5F ? c + 0x80 : c));
            continue;
        }
        if (i + 1 >= n || static_cast<unsigned char>(data[i + 1]) < 0x21 || static_cast<unsigned char>(data[i + 1]) > 0x7E) {
            if (!bad(i))
                return std::nullopt;
            continue;
        }
        const unsigned char c2 = static_cast<unsigned char>(data[++i]);
        if (mode == Kanji0212) {
            if (!flushSjis())
                return std::nullopt;
            const char euc[3] = {char(0x8F), char(c | 0x80), char(c2 | 0x80)};
            if (!eucCv)
                eucCv.emplace(Utf16Native, "EUC-JP-MS");
            if (!eucCv->ok() || !iconvAppend(eucCv->get(), euc, 3, strict, out, Pairs::Euc))
                return std::nullopt;
            continue;
        }
        jisToSjis(c, c2, sjis);
    }
    flushAscii(n);
    if (!flushSjis())
        return std::nullopt;
    return out;
}

}  // namespace

bool isKnownCharset(const QByteArray &charset)
{
    return lookup(charset).kind != Kind::Unknown;
}

bool isUtf7(const QByteArray &charset)
{
    const Charset cs = lookup(charset);
    return cs.kind == Kind::Iconv && cs.iconvName == "UTF-7";
}

std::optional<QString> decodeIso2022Jp(const QByteArray &bytes)
{
    return iso2022Jp(bytes, true);
}

std::optional<QString> decodeStrict(const QByteArray &bytes, const QByteArray &charset)
{
    const Charset cs = lookup(charset);
    switch (cs.kind) {
    case Kind::Utf8:
        return utf8Strict(bytes);
    case Kind::Ascii:
        if (!isAscii(bytes))
            return std::nullopt;
        return QString::fromLatin1(bytes);
    case Kind::Latin1:
        if (auto s = iconvDecode(bytes, "CP1252", true))
            return s;
        return QString::fromLatin1(bytes);
    case Kind::Iso2022Jp:
        if (auto s = iso2022Jp(bytes, true))
            return s;
        return iconvDecode(bytes, "ISO-2022-JP-2", true);
    case Kind::Iconv:
        return iconvDecode(bytes, iconvNameFor(cs, bytes), true);
    case Kind::Unknown:
        break;
    }
    return std::nullopt;
}

namespace {

bool isAsciiLetter(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// True when the 8-bit bytes read as Latin-1 letters inside words: each is
// an accented letter (0xC0 to 0xFF, × and ÷ aside), at most two in a row,
// beside an ASCII letter ("R\xe9sum\xe9", "Z\xfcrich"). Code page 932 would
// pair such a byte with the letter behind it into a rare kanji, EUC-JP two
// of them; Japanese text has longer runs and bytes below 0xC0.
bool readsAsLatinWords(const QByteArray &bytes)
{
    const auto *d = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    bool any = false;
    for (qsizetype i = 0; i < n;) {
        if (d[i] < 0x80) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < n && d[end] >= 0x80) {
            if (d[end] < 0xC0 || d[end] == 0xD7 || d[end] == 0xF7)
                return false;
            ++end;
        }
        if (end - i > 2 || !((i > 0 && isAsciiLetter(d[i - 1])) || (end < n && isAsciiLetter(d[end]))))
            return false;
        any = true;
        i = end;
    }
    return any;
}

// The charset undeclared 8-bit bytes are read in (see decodeUndeclared);
// null when none decodes (read as ISO-8859-1 then).
const char *undeclaredPick(const QByteArray &bytes)
{
    // Probe without keeping the output, so a large text is decoded only once.
    if (probe(bytes, "UTF-8").valid)
        return "UTF-8";
    if (readsAsLatinWords(bytes))
        return "CP1252";
    const Probe sjis = probe(bytes, "CP932");
    const Probe euc = probe(bytes, "EUC-JP-MS");
    if (sjis.valid && euc.valid)
        return euc.oddness < sjis.oddness ? "EUC-JP-MS" : "CP932";
    if (sjis.valid)
        return "CP932";
    if (euc.valid)
        return "EUC-JP-MS";
    return nullptr;
}

}  // namespace

QString decodeUndeclared(const QByteArray &bytes)
{
    if (bytes.contains('\x1b')) {
        if (auto s = iso2022Jp(bytes, true))
            return *s;
        // Escape sequences never reach the reader as bytes.
        if (isAscii(bytes))
            return *iso2022Jp(bytes, false);
    }
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    const char *pick = undeclaredPick(bytes);
    if (pick && std::strcmp(pick, "UTF-8") == 0)
        return QString::fromUtf8(bytes);
    if (pick) {
        if (auto s = iconvDecode(bytes, pick, false))
            return *s;
    }
    return QString::fromLatin1(bytes);
}

QByteArray headerCharset(const QByteArray &header, const QByteArray &bodyCharset)
{
    if (isAscii(header))
        return {};
    if (probe(header, "UTF-8").valid)
        return "utf-8";
    // The body's charset, when the whole header reads in it; ASCII and
    // ISO-2022-JP say nothing about 8-bit bytes. A Japanese one gives way
    // to Latin words, which it would read as rare kanji.
    const Charset declared = lookup(bodyCharset);
    const bool japanese = declared.iconvName == "CP932" || declared.iconvName.startsWith("EUC-J");
    if (japanese && readsAsLatinWords(header))
        return "windows-1252";
    if ((declared.kind == Kind::Latin1 || declared.kind == Kind::Iconv) && decodeStrict(header, bodyCharset))
        return bodyCharset;
    const char *pick = undeclaredPick(header);
    if (!pick)
        return {};
    if (std::strcmp(pick, "CP1252") == 0)
        return "windows-1252";
    if (std::strcmp(pick, "CP932") == 0)
        return "cp932";
    return "euc-jp";
}

QString decodeCharset(const QByteArray &bytes, const QByteArray &charset)
{
    const Charset cs = lookup(charset);
    if (cs.kind == Kind::Unknown || cs.kind == Kind::Ascii)
        return decodeUndeclared(bytes);
    if (auto s = decodeStrict(bytes, charset))
        return *s;
    // Mislabelled: undeclared text that happens to decode is more likely
    // right than a declared charset full of errors.
    if (cs.kind == Kind::Utf8 || cs.kind == Kind::Iso2022Jp) {
        const QString guess = decodeUndeclared(bytes);
        if (!guess.contains(QChar::ReplacementCharacter) && oddness(guess) == 0)
            return guess;
    }
    switch (cs.kind) {
    case Kind::Utf8:
        return QString::fromUtf8(bytes);
    case Kind::Iso2022Jp:
        return *iso2022Jp(bytes, false);
    case Kind::Iconv:
        return iconvDecode(bytes, iconvNameFor(cs, bytes), false).value_or(QString::fromLatin1(bytes));
    default:
        return QString::fromLatin1(bytes);
    }
}

std::optional<QByteArray> encodeIso2022Jp(const QString &text)
{
    // Code page 932 bytes of the whole text (strict: anything it cannot hold
    // does not fit), then walk text and bytes side by side.
    QString mapped = text;
    for (QChar &c : mapped) {
        const ushort u = c.unicode();
        if (u == 0x1B || u == 0x0E || u == 0x0F)
            return std::nullopt;
    }
    QByteArray sjis;
    {
        Iconv cv("CP932", Utf16Native);
        if (!cv.ok())
            return std::nullopt;
        sjis.resize(mapped.size() * 2 + 8);
        char *in = reinterpret_cast<char *>(mapped.data());
        size_t inLeft = size_t(mapped.size()) * 2;
        char *dst = sjis.data();
        size_t outLeft = size_t(sjis.size());
        if (iconv(cv.get(), &in, &inLeft, &dst, &outLeft) == size_t(-1))
            return std::nullopt;
        sjis.resize(sjis.size() - qsizetype(outLeft));
    }
    QByteArray out;
    out.reserve(sjis.size() + sjis.size() / 4 + 8);
    bool kanji = false;
    qsizetype b = 0;
    for (QChar c : mapped) {
        const ushort u = c.unicode();
        if (u < 0x80) {
            if (b >= sjis.size() || static_cast<unsigned char>(sjis[b]) != u)
                return std::nullopt;
            if (kanji) {
                out.append("\x1b(B", 3);
                kanji = false;
            }
            out.append(char(u));
            ++b;
            continue;
        }
        if (b + 1 >= sjis.size())
            return std::nullopt;
        const unsigned char s1 = static_cast<unsigned char>(sjis[b]);
        const unsigned char s2 = static_cast<unsigned char>(sjis[b + 1]);
        if (!((s1 >= 0x81 && s1 <= 0x9F) || (s1 >= 0xE0 && s1 <= 0xEA)))
            return std::nullopt;  // single byte (kana, yen) or an extension area
        int j1 = (s1 - (s1 <= 0x9F ? 0x81 : 0xC1)) * 2 + 0x21;
        int j2;
        if (s2 >= 0x9F) {
            j1 += 1;
            j2 = s2 - 0x7E;
        } else {
            j2 = s2 - (s2 >= 0x80 ? 0x20 : 0x1F);
        }
        // JIS X 0208: rows 1-8 and 16-84 (row 13 is the NEC extension).
        if (!((j1 >= 0x21 && j1 <= 0x28) || (j1 >= 0x30 && j1 <= 0x74)))
            return std::nullopt;
        if (!kanji) {
            out.append("\x1b$B", 3);
            kanji = true;
        }
        out.append(char(j1));
        out.append(char(j2));
        b += 2;
    }
    if (b != sjis.size())
        return std::nullopt;
    if (kanji)
        out.append("\x1b(B", 3);
    // Cells JIS X 0208 leaves empty would be refused by a strict decoder.
    if (!iconvDecode(out, "ISO-2022-JP", true))
        return std::nullopt;
    return out;
}

}  // namespace korvane::mime
