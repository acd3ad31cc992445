#pragma once
// Code page 932 (Windows Shift-JIS) text as the program's files hold it.
//
// Policy, the same everywhere:
//  - characters code page 932 cannot hold are written as "〓" (U+3013, the
//    mark Japanese mail uses for a character that cannot be shown);
//  - a double-byte character code page 932 does not assign (a lead byte
//    and a second byte in range) becomes one "〓"; other bytes that do not
//    decode become U+FFFD;
//  - a lead byte cut off at the end of the bytes is dropped.
#include <QByteArray>
#include <QString>

namespace korvane::cp932 {

QByteArray encode(const QString &text);
// encode(), counting the characters that became "〓" in *replaced.
QByteArray encode(const QString &text, qsizetype *replaced);
QString decode(const QByteArray &bytes);
QString decode(const char *data, qsizetype size);

// True when every character of text survives a round trip through code page 932.
bool canEncode(const QString &text);

// The text encoded and fitted to a field of exactly `width` bytes: cut at the
// field's end (a double-byte character that would straddle the end is dropped),
// the rest filled with ASCII spaces.
QByteArray field(const QString &text, qsizetype width);

// Cuts already-encoded bytes to at most `width` bytes without splitting a
// double-byte character.
QByteArray cutAt(const QByteArray &bytes, qsizetype width);

// True when `b` is a lead byte of a double-byte character.
inline bool isLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

}  // namespace korvane::cp932
