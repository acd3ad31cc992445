#include "mailto.h"

#include "common/text.h"

#include <QByteArray>
#include <QStringDecoder>

namespace korvane::compose {
namespace {

const QString Scheme = QStringLiteral("mailto:");

// Percent-decoding to bytes; a "%" not followed by two hex digits is kept as
// written.
QString decodeValue(QStringView raw)
{
    const QByteArray in = raw.toUtf8();
    QByteArray bytes;
    bytes.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const int high = in[i] == '%' && i + 2 < in.size() ? hexValue(in[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(in[i + 2]) : -1;
        if (low >= 0) {
            bytes += char(high << 4 | low);
            i += 2;
        } else {
            bytes += in[i];
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    return utf8.decode(bytes);
}

// A subject or an address: one line, no control characters.
QString oneLine(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool control = u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029;
        out += control ? QChar(u' ') : c;
    }
    return out.simplified();
}

// The body: line breaks (CR LF, CR or LF) as "\n", tabs kept, every other
// control character dropped.
QString bodyText(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u == u'\r') {
            out += u'\n';
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else if (u == u'\n' || u == u'\t' || (u >= 0x20 && u != 0x7F && !(u >= 0x80 && u < 0xA0))) {
            out += QChar(u);
        }
    }
    return out;
}

// Addresses separated by "," (split before decoding, so an encoded comma
// inside a quoted name stays in its address).
void addAddresses(QStringView raw, QStringList *into)
{
    for (QStringView part : raw.split(u',')) {
        const QString address = oneLine(decodeValue(part));
        if (!address.isEmpty())
            into->append(address);
    }
}

}  // namespace

bool isMailtoLink(const QString &text)
{
    return text.startsWith(Scheme, Qt::CaseInsensitive);
}

std::optional<MailtoLink> parseMailto(const QString &link)
{
    if (!isMailtoLink(link) || link.size() > MaxMailtoLength)
        return std::nullopt;
    QStringView rest = QStringView(link).mid(Scheme.size());
    // A fragment is no part of a mail.
    if (const qsizetype hash = rest.indexOf(u'#'); hash >= 0)
        rest = rest.left(hash);

    MailtoLink out;
    const qsizetype question = rest.indexOf(u'?');
    addAddresses(question < 0 ? rest : rest.left(question), &out.to);
    if (question < 0)
        return out;

    bool subjectSeen = false, bodySeen = false;
    for (QStringView field : rest.mid(question + 1).split(u'&', Qt::SkipEmptyParts)) {
        const qsizetype eq = field.indexOf(u'=');
        const QString name = decodeValue(eq < 0 ? field : field.left(eq)).trimmed().toLower();
        const QStringView value = eq < 0 ? QStringView() : field.mid(eq + 1);
        if (name == u"to") {
            addAddresses(value, &out.to);
        } else if (name == u"cc") {
            addAddresses(value, &out.cc);
        } else if (name == u"subject" && !subjectSeen) {
            out.subject = oneLine(decodeValue(value));
            subjectSeen = true;
        } else if (name == u"body" && !bodySeen) {
            out.body = bodyText(decodeValue(value));
            bodySeen = true;
        }
    }
    return out;
}

QString recipientLine(const MailtoLink &link)
{
    return (link.to + link.cc).join(QStringLiteral(", "));
}

}  // namespace korvane::compose
