#pragma once
// Small text helpers shared by every subsystem.
#include <QString>

namespace korvane {

// The value of one hexadecimal digit (either case), or -1 for any other
// character.
constexpr int hexValue(char c)
{
    return c >= '0' && c <= '9' ? c - '0'
         : c >= 'a' && c <= 'f' ? c - 'a' + 10
         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                : -1;
}

// The text before the first NUL character, or the whole text when it has none.
QString trimAtNul(const QString &text);

// Replaces every occurrence of the two-character separator `sep` by
// `replacement`, scanning from the left. After a replacement the scan goes on
// behind the start of the inserted text; it ends when the scan position
// reaches the last character of the (current) text.
QString replaceSeparator(QString text, const QString &sep, const QString &replacement);

// Line breaks as the program's files hold them: every CR LF, lone CR, lone LF
// and Unicode line or paragraph separator becomes CR LF.
QString toCrLf(const QString &text);

// The first character at or after `from` that is CR, LF, a line or paragraph
// separator, a no-break space or one of the marks U+FDD0 and U+FDD1 (what a
// text box holds differently from the text it is given); `size` when there is
// none. Ordinary text is passed over eight characters at a time.
qsizetype findBreakOrSpecial(const char16_t *text, qsizetype from, qsizetype size);

// Removes leading and trailing ASCII spaces (0x20) only.
QString trimAsciiSpaces(const QString &text);

// The numeric value of the leading numeric part of a text, the way the
// original program read numbers out of text boxes: blanks are skipped, reading
// stops at the first character that cannot belong to a number, no number
// gives 0. "12abc" is 12, " -3.5" is -3.5, "abc" and "" are 0.
double leadingNumber(const QString &text);

// Rounds half to even, as the original program's integer conversions did.
long long roundHalfEven(double value);

// leadingNumber converted to a 16-bit whole number, clamped to its range.
qint16 leadingInt16(const QString &text);

}  // namespace korvane
