#pragma once
// Character sets of received and sent mail: declared charsets with the
// aliases real mail uses, the Japanese fallbacks for undeclared 8-bit text,
// and ISO-2022-JP in both directions over code page 932.
#include <QByteArray>
#include <QString>

#include <optional>

namespace korvane::mime {

// Decodes bytes in a declared charset. Mislabelled or unknown charsets fall
// back to decodeUndeclared; bytes that do not decode become U+FFFD.
QString decodeCharset(const QByteArray &bytes, const QByteArray &charset);

// Strict decoding: nothing when the bytes are not valid in that charset or
// the charset is unknown.
std::optional<QString> decodeStrict(const QByteArray &bytes, const QByteArray &charset);

// Text whose charset nobody declared: ISO-2022-JP when it holds its escape
// sequences, else UTF-8, Latin-1 when its 8-bit bytes are accented letters
// inside Latin words (the reading that keeps the ASCII letters), else code
// page 932 or EUC-JP (whichever decodes, the one that reads as ordinary
// Japanese when both do), else ISO-8859-1.
QString decodeUndeclared(const QByteArray &bytes);

// The charset for the raw 8-bit bytes of a whole header block, judged on
// all of them at once (one field alone is often too short to tell): UTF-8
// when they are, else the body's declared charset when the header reads in
// it, else the guess of decodeUndeclared. Empty for an ASCII header.
QByteArray headerCharset(const QByteArray &header, const QByteArray &bodyCharset);

// True when the charset name, after aliases, is one a Japanese mail reader
// decodes as declared (UTF-8, ISO-2022-JP, Shift_JIS, EUC-JP, US-ASCII,
// ISO-8859-n, Windows-125x, UTF-7, UTF-16/32 with Microsoft's names for
// them, Chinese, Korean, KOI8); any other name is read as undeclared text.
bool isKnownCharset(const QByteArray &charset);

// True for the names of UTF-7, whose text is read but never taken as HTML:
// its "+ADw-" is a "<" no filter on the raw bytes sees.
bool isUtf7(const QByteArray &charset);

// ISO-2022-JP (JIS X 0208 with code page 932's extensions, as Japanese mail
// programs send it) to Unicode in code page 932's forms (U+FF5E, U+FF0D, ...).
std::optional<QString> decodeIso2022Jp(const QByteArray &bytes);

// The text as ISO-2022-JP, ending in ASCII mode, when every character is
// ASCII or JIS X 0208 (after mapping code page 932's forms to JIS: U+FF5E
// and U+301C are both JIS 0x2141, and so on). Nothing when a character does
// not fit (half-width kana, code page 932's NEC and IBM extensions, emoji).
// Line breaks (CR, LF) pass through, each preceded by a return to ASCII.
std::optional<QByteArray> encodeIso2022Jp(const QString &text);

}  // namespace korvane::mime
