#include "cp932.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace korvane::cp932 {
namespace {

// One iconv descriptor per direction and thread; iconv_open is not cheap and
// a descriptor must not be shared between threads.
class Converter {
public:
    Converter(const char *to, const char *from) : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv cannot convert between CP932 and UTF-8");
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    iconv_t handle()
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
        return cd_;
    }

private:
    iconv_t cd_;
};

Converter &encoder()
{
    thread_local Converter c("CP932", "UTF-8");
    return c;
}

Converter &decoder()
{
    thread_local Converter c("UTF-8", "CP932");
    return c;
}

// Length of the UTF-8 sequence that starts with byte b (1 for a stray byte).
int utf8SequenceLength(unsigned char b)
{
    if (b < 0xC0) return 1;
    if (b < 0xE0) return 2;
    if (b < 0xF0) return 3;
    return 4;
}

// Makes room for at least `needed` more bytes behind `dst` in `out`.
void reserveBehind(QByteArray &out, char *&dst, size_t &dstLeft, size_t needed)
{
    if (dstLeft >= needed)
        return;
    const qsizetype used = dst - out.data();
    out.resize(std::max<qsizetype>(out.size() * 2, used + qsizetype(needed)));
    dst = out.data() + used;
    dstLeft = size_t(out.size() - used);
}

// Code page 932 holds the ASCII range as it is (0x5C and 0x7E included),
// so text within it needs no conversion.
bool isAscii(const QString &text)
{
    return QtPrivate::isAscii(QStringView(text));
}

bool isAscii(const char *data, qsizetype size)
{
    return QtPrivate::isAscii(QLatin1StringView(data, size));
}

}  // namespace

QByteArray encode(const QString &text)
{
    return encode(text, nullptr);
}

namespace {

void appendMark(QByteArray &out, qsizetype *replaced)
{
    out.append("\x81\xAC", 2);  // 〓
    if (replaced)
        ++*replaced;
}

// A run of characters through iconv, each one it refuses written as "〓".
void encodeRun(QStringView run, QByteArray &out, qsizetype *replaced)
{
    if (run.isEmpty())
        return;
    QByteArray in = run.toUtf8();
    const qsizetype start = out.size();
    out.resize(start + in.size() * 2 + 16);
    iconv_t cd = encoder().handle();
    char *src = in.data();
    size_t srcLeft = size_t(in.size());
    char *dst = out.data() + start;
    size_t dstLeft = size_t(out.size() - start);
    while (srcLeft > 0) {
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        if (r != size_t(-1))
            break;
        if (errno == E2BIG) {
            // Cannot happen with twice the input size, but stay safe.
            reserveBehind(out, dst, dstLeft, dstLeft + 16);
            continue;
        }
        // EILSEQ or EINVAL: one character code page 932 cannot hold.
        reserveBehind(out, dst, dstLeft, 2);
        *dst++ = '\x81';  // 〓
        *dst++ = '\xAC';
        dstLeft -= 2;
        if (replaced)
            ++*replaced;
        size_t skip = std::min<size_t>(srcLeft, utf8SequenceLength(static_cast<unsigned char>(*src)));
        src += skip;
        srcLeft -= skip;
    }
    out.truncate(dst - out.data());
}

// Whether code page 932 holds a character of the basic plane, asked of
// iconv once per character and kept: a character it refuses costs iconv a
// failed call and a new start, so text full of them (Hangul, emoji) would
// cost a call per character.
bool holds(char16_t c)
{
    enum : unsigned char { Unknown, Yes, No };
    static std::atomic<unsigned char> known[0x10000] = {};
    unsigned char v = known[c].load(std::memory_order_relaxed);
    if (v == Unknown) {
        if (QChar::isSurrogate(c)) {
            v = No;
        } else {
            const QByteArray in = QStringView(&c, 1).toUtf8();
            char buffer[8];
            char *src = const_cast<char *>(in.constData());
            size_t srcLeft = size_t(in.size());
            char *dst = buffer;
            size_t dstLeft = sizeof buffer;
            const size_t r = iconv(encoder().handle(), &src, &srcLeft, &dst, &dstLeft);
            v = r != size_t(-1) && srcLeft == 0 && dst > buffer ? Yes : No;
        }
        known[c].store(v, std::memory_order_relaxed);
    }
    return v == Yes;
}

}  // namespace

QByteArray encode(const QString &text, qsizetype *replaced)
{
    if (replaced)
        *replaced = 0;
    if (isAscii(text))
        return text.toLatin1();
    // The runs of characters code page 932 holds go through iconv whole;
    // the others become "〓" here (a surrogate pair is one character).
    QByteArray out;
    out.reserve(text.size() * 2 + 16);
    const char16_t *p = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype size = text.size();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = p[i];
        if (c < 0x80 || holds(c))
            continue;
        encodeRun(QStringView(p + runStart, i - runStart), out, replaced);
        appendMark(out, replaced);
        if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(p[i + 1]))
            ++i;
        runStart = i + 1;
    }
    encodeRun(QStringView(p + runStart, size - runStart), out, replaced);
    return out;
}

QString decode(const char *data, qsizetype size)
{
    if (size <= 0)
        return QString();
    if (isAscii(data, size))
        return QString::fromLatin1(data, size);
    QByteArray out;
    out.resize(size * 3 + 16);
    iconv_t cd = decoder().handle();
    char *src = const_cast<char *>(data);
    size_t srcLeft = size_t(size);
    char *dst = out.data();
    size_t dstLeft = size_t(out.size());
    static const char replacement[] = "\xEF\xBF\xBD";  // U+FFFD
    static const char geta[] = "\xE3\x80\x93";         // U+3013 〓
    while (srcLeft > 0) {
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        if (r != size_t(-1))
            break;
        if (errno == EINVAL)  // a lead byte cut off at the end: dropped
            break;
        if (errno == E2BIG) {
            reserveBehind(out, dst, dstLeft, dstLeft + 16);
            continue;
        }
        // EILSEQ: a double-byte character code page 932 does not assign
        // (a lead byte and a valid second byte) is one "〓"; any other byte
        // that does not decode is U+FFFD. The second byte is never read as a
        // character of its own.
        const auto *b = reinterpret_cast<const unsigned char *>(src);
        const bool pair = srcLeft >= 2 && isLeadByte(b[0]) && b[1] >= 0x40 && b[1] <= 0xFC && b[1] != 0x7F;
        reserveBehind(out, dst, dstLeft, 3);
        memcpy(dst, pair ? geta : replacement, 3);
        dst += 3;
        dstLeft -= 3;
        src += pair ? 2 : 1;
        srcLeft -= pair ? 2 : 1;
    }
    return QString::fromUtf8(out.constData(), dst - out.data());
}

QString decode(const QByteArray &bytes)
{
    return decode(bytes.constData(), bytes.size());
}

bool canEncode(const QString &text)
{
    return decode(encode(text)) == text;
}

QByteArray cutAt(const QByteArray &bytes, qsizetype width)
{
    if (bytes.size() <= width)
        return bytes;
    // Walk the characters from the start: a double-byte character whose
    // trail byte would fall past the end is dropped.
    qsizetype i = 0;
    while (i < width) {
        qsizetype len = isLeadByte(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
        if (i + len > width)
            break;
        i += len;
    }
    return bytes.left(i);
}

QByteArray field(const QString &text, qsizetype width)
{
    QByteArray out = cutAt(encode(text), width);
    if (out.size() < width)
        out.append(width - out.size(), ' ');
    return out;
}

}  // namespace korvane::cp932
