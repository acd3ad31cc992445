#include "text.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvane {

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

QString toCrLf(const QString &text)
{
    const QStringView view(text);
    const char16_t *p = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype size = text.size();
    // Line and paragraph separators are rare: the runs between CR and LF
    // are found with the library's vector search.
    const bool separators = std::any_of(p, p + size, [](char16_t c) { return (c & 0xfffe) == 0x2028; });
    qsizetype nextCr = -1;
    qsizetype nextLf = -1;
    auto nextBreak = [&](qsizetype from) {
        if (separators) {
            for (qsizetype i = from; i < size; ++i)
                if (p[i] == u'\r' || p[i] == u'\n' || (p[i] & 0xfffe) == 0x2028)
                    return i;
            return size;
        }
        // Each kind is searched again only once passed: a text with no CR
        // at all is not scanned to its end for every line.
        if (nextCr < from) {
            nextCr = view.indexOf(u'\r', from);
            if (nextCr < 0)
                nextCr = size;
        }
        if (nextLf < from) {
            nextLf = view.indexOf(u'\n', from);
            if (nextLf < 0)
                nextLf = size;
        }
        return qMin(nextCr, nextLf);
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
