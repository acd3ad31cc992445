#include "text.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace korvane {
namespace {

bool isBreakOrSpecial(char16_t c)
{
    return c == u'\r' || c == u'\n' || (c & 0xfffe) == 0x2028 || (c & 0xfffe) == 0xfdd0 || c == 0x00a0;
}

}  // namespace

QString trimAtNul(const QString &text)
{
    qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

QString replaceSeparator(QString text, const QString &sep, const QString &replacement)
{
    if (sep.size() != 2)
        return text;
    qsizetype pos = 0;
    while (pos < text.size() - 1) {
        if (text[pos] == sep[0] && text[pos + 1] == sep[1]) {
            text.replace(pos, 2, replacement);
            // The scan resumes at the start of the inserted text; that
            // position has just been examined, so step past it. An empty
            // replacement leaves the next character at pos itself.
            if (replacement.isEmpty())
                continue;
        }
        ++pos;
    }
    return text;
}

qsizetype findBreakOrSpecial(const char16_t *p, qsizetype from, qsizetype size)
{
    qsizetype i = from;
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i cr = _mm_set1_epi16(u'\r');
    const __m128i lf = _mm_set1_epi16(u'\n');
    const __m128i evenMask = _mm_set1_epi16(short(0xfffe));
    const __m128i separators = _mm_set1_epi16(0x2028);
    const __m128i marks = _mm_set1_epi16(short(0xfdd0));
    const __m128i nbsp = _mm_set1_epi16(0x00a0);
    for (; i + 8 <= size; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        const __m128i even = _mm_and_si128(v, evenMask);
        __m128i hit = _mm_or_si128(_mm_cmpeq_epi16(v, cr), _mm_cmpeq_epi16(v, lf));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi16(even, separators));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi16(even, marks));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi16(v, nbsp));
        if (const unsigned bits = unsigned(_mm_movemask_epi8(hit)))
            return i + std::countr_zero(bits) / 2;
    }
#endif
    for (; i < size; ++i)
        if (isBreakOrSpecial(p[i]))
            return i;
    return size;
}

QString toCrLf(const QString &text)
{
    const char16_t *p = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype size = text.size();
    auto nextBreak = [&](qsizetype from) {
        for (;;) {
            from = findBreakOrSpecial(p, from, size);
            if (from == size || p[from] == u'\r' || p[from] == u'\n' || (p[from] & 0xfffe) == 0x2028)
                return from;
            ++from;  // a space or mark: no break
        }
    };
    // Most text handed here is CR LF already: it is returned as it is.
    qsizetype i = nextBreak(0);
    while (i < size && p[i] == u'\r' && i + 1 < size && p[i + 1] == u'\n')
        i = nextBreak(i + 2);
    if (i == size)
        return text;
    // From the first break that is not CR LF on, every break becomes CR LF.
    QString out(size + (size - i) + 1, Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(out.data());
    std::copy(p, p + i, o);
    o += i;
    while (i < size) {
        if (p[i] == u'\r' && i + 1 < size && p[i + 1] == u'\n')
            ++i;
        *o++ = u'\r';
        *o++ = u'\n';
        const qsizetype next = nextBreak(++i);
        o = std::copy(p + i, p + next, o);
        i = next;
    }
    out.truncate(o - reinterpret_cast<char16_t *>(out.data()));
    return out;
}

QString trimAsciiSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

double leadingNumber(const QString &text)
{
    QString digits;
    bool seenDigit = false, seenPoint = false, seenExp = false, seenSign = false;
    for (QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n')
            continue;  // blanks are ignored anywhere in the number
        if (c.isDigit() && c.unicode() < 128) {
            digits.append(c);
            seenDigit = true;
            seenSign = true;
        } else if ((c == u'-' || c == u'+') && !seenSign) {
            digits.append(c);
            seenSign = true;
        } else if (c == u'.' && !seenPoint && !seenExp) {
            digits.append(c);
            seenPoint = true;
            seenSign = true;
        } else if ((c == u'e' || c == u'E') && seenDigit && !seenExp) {
            digits.append(c);
            seenExp = true;
            seenSign = false;  // the exponent may carry its own sign
        } else {
            break;
        }
    }
    // Strip a dangling exponent or sign before converting.
    while (!digits.isEmpty()) {
        QChar last = digits.back();
        if (last == u'e' || last == u'E' || last == u'+' || last == u'-')
            digits.chop(1);
        else
            break;
    }
    bool ok = false;
    double value = digits.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

long long roundHalfEven(double value)
{
    return static_cast<long long>(std::nearbyint(value));  // default mode: to nearest, ties to even
}

qint16 leadingInt16(const QString &text)
{
    double v = leadingNumber(text);
    if (v >= 32767.0)
        return std::numeric_limits<qint16>::max();
    if (v <= -32768.0)
        return std::numeric_limits<qint16>::min();
    return static_cast<qint16>(roundHalfEven(v));
}

}  // namespace korvane
