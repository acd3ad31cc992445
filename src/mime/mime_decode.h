#pragma once
// Decoding of received mail: header fields, RFC 2047 encoded words (our own
// decoder: adjacent words of one charset are joined before conversion, so an
// ISO-2022-JP or UTF-8 text split over several words comes out whole),
// RFC 2231 parameters, transfer encodings and the texts of one mail.
#include <QByteArray>
#include <QList>
#include <QString>

namespace korvane::mime {

// Base64 that tolerates what real mail holds: line breaks and stray
// characters are skipped, and "=" padding in the middle (separately encoded
// chunks glued together) ends a group without ending the data.
class Base64Decoder {
public:
    void feed(const char *data, qsizetype size, QByteArray &out);
    void finish(QByteArray &out);

private:
    // The bytes of a group cut short by "=", written at o; returns the end.
    char *flush(char *o);
    quint32 bits_ = 0;
    int count_ = 0;
};
QByteArray decodeBase64(const QByteArray &encoded);

// Quoted-printable (RFC 2045): soft line breaks, =XX, trailing blanks of a
// line dropped; a malformed "=" stays as it is.
class QuotedPrintableDecoder {
public:
    void feed(const char *data, qsizetype size, QByteArray &out);
    void finish(QByteArray &out);

private:
    QByteArray pending_;  // an unfinished "=", "=X" or trailing blanks
};
QByteArray decodeQuotedPrintable(const QByteArray &encoded);

// One field of a header block: name as written, value unfolded (line breaks
// of folding removed), raw bytes.
struct HeaderField {
    QByteArray name;
    QByteArray value;
};

// Where the header block of a raw message ends: `headerEnd` is the length of
// the header lines (without the empty line), `bodyStart` the offset of the
// body (after the empty line; the message's size when there is none).
struct MessageSplit {
    qsizetype headerEnd = 0;
    qsizetype bodyStart = 0;
};
MessageSplit splitMessage(const char *data, qsizetype size);
inline MessageSplit splitMessage(const QByteArray &raw) { return splitMessage(raw.constData(), raw.size()); }

QList<HeaderField> parseHeaderBlock(const char *data, qsizetype size);
// The unfolded raw value of the first field of that name (any letter case).
QByteArray headerValue(const QList<HeaderField> &fields, const QByteArray &name, bool *found = nullptr);

// An unstructured header text (Subject, From, a display name) to Unicode:
// RFC 2047 words decoded, undeclared 8-bit bytes through the Japanese
// fallbacks, white space between adjacent encoded words dropped. Words
// broken by their senders are read too: blanks inside a word's base64 text,
// a character split between words, one charset spelled two ways.
// `rawCharset`: the charset raw 8-bit bytes are read in when they decode in
// it (headerCharset's guess for the whole header), else they are guessed alone.
QString decodeHeaderText(const QByteArray &raw, const QByteArray &rawCharset = {});

// A structured value "type/subtype; a=b; c*=utf-8''%E3..." split into its
// main value (lower-cased) and its parameters (names in any letter case;
// RFC 2231 continuations and charsets, and RFC 2047 words inside quoted
// values, which Japanese mail programs write). A parameter is decoded when
// asked for, so a value with any number of parameters costs one pass per
// question.
class ParameterValue {
public:
    QByteArray value;
    QByteArray rawCharset;  // the "charset" parameter as written, for text parts
    QString parameter(const QByteArray &name) const;
    bool has(const QByteArray &name) const;
    // Names (lower case) in the order of their first appearance.
    QList<QByteArray> names() const;

private:
    friend ParameterValue parseParameterValue(const QByteArray &raw);
    QByteArray raw_;
    bool sjis_ = false;  // raw Shift-JIS: its second bytes are never separators
};
ParameterValue parseParameterValue(const QByteArray &raw);

// HTML reduced to readable text through Qt's HTML reader: entities
// decoded, paragraphs and <br> as line breaks, list items with their mark
// ("・", "1."), a table row on one line, head, script and style dropped,
// nothing loaded from the network or the disk. Safe on any thread; without
// a graphical application (and for HTML nested far beyond any mail's) the
// tags are dropped first and only entities and line breaks are read.
QString htmlToText(const QString &html);

// Line breaks of any kind (CR LF, LF, CR) as CR LF.

// Transfer-decodes a part's content (base64, quoted-printable, else as is).
QByteArray transferDecode(const QByteArray &content, const QByteArray &transferEncoding);

}  // namespace korvane::mime

Q_DECLARE_TYPEINFO(korvane::mime::HeaderField, Q_RELOCATABLE_TYPE);
