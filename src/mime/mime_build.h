#pragma once
// Building an outgoing mail: headers in RFC 2047 B encoding, the text as
// ISO-2022-JP when every character fits, else UTF-8, attachments in base64
// with RFC 2231 names, CR LF throughout and no line over 998 bytes.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace korvane::mime {

struct OutgoingMail {
    QString from;             // "addr" or "Name <addr>"
    QString to;               // one or more, separated by "," or ";" (or "、" "，" "；")
    QString subject;
    QString body;
    QStringList attachments;  // file paths
    QDateTime date;           // now when invalid
    // For a reply: the answered mail's Message-ID and References fields as
    // they stand; the reply names them in In-Reply-To and References.
    QByteArray answeredMessageId;
    QByteArray answeredReferences;
};

// The message bytes, or false with a message for the user (a missing or
// unreadable attachment, no recipient).
bool buildMessage(const OutgoingMail &mail, QByteArray &out, QString &error);

// The bare addresses of an address list ("a@b, Name <c@d>" -> a@b, c@d),
// internationalised domains in their ASCII form; empty entries are skipped.
// False when an entry is not a usable address.
bool envelopeAddresses(const QString &list, QStringList &addresses, QString &error);

// A header text as RFC 2047 B-encoded words (ISO-2022-JP when it fits, else
// UTF-8), folded with CR LF + space so that no line passes 76 characters;
// ASCII text stays as it is unless it holds a run too long for one line.
QByteArray encodeHeaderText(const QString &text);

// "Mon, 08 Dec 2025 13:05:09 +0900".
QByteArray rfc5322Date(const QDateTime &when);

}  // namespace korvane::mime
