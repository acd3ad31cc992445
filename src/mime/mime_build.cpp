#include "mime_build.h"
#include "common/reasons.h"

#include "mime_charset.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimeZone>
#include <QUrl>

namespace korvane::mime {

namespace {

// Header lines that hold encoded words end within 76 characters, the field
// name included; plain text is folded near 78.
constexpr qsizetype MaxEncodedLine = 76;
constexpr qsizetype MaxPlainLine = 78;

// Code page 932 forms that ISO-2022-JP writes as their JIS neighbours, so
// that readers show another character than the one typed (～ as 〜, － as
// −, ∥ as ‖, ￠￡￢ as ¢£¬, the dashes as each other). A text holding one of
// them goes out as UTF-8.
bool hasWindowsOnlyForm(const QString &text)
{
    for (QChar c : text) {
        switch (c.unicode()) {
        case 0xFF5E: case 0xFF0D: case 0x2225: case 0xFFE0: case 0xFFE1: case 0xFFE2: case 0x2014: case 0x2015:
            return true;
        default:
            break;
        }
    }
    return false;
}

// The text in ISO-2022-JP, when it goes out in that charset at all.
std::optional<QByteArray> jisText(const QString &text)
{
    if (hasWindowsOnlyForm(text))
        return std::nullopt;
    return encodeIso2022Jp(text);
}

bool isPlainAscii(const QString &s)
{
    for (QChar c : s) {
        const ushort u = c.unicode();
        if (u >= 0x7F || (u < 0x20 && u != '\t'))
            return false;
    }
    return !s.contains(QLatin1String("=?"));
}

QString oneLine(QString s)
{
    s.replace(QLatin1String("\r\n"), QLatin1String(" "));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return s;
}

QByteArray randomHex(int bytes)
{
    QByteArray raw(bytes, Qt::Uninitialized);
    for (char &c : raw)
        c = char(QRandomGenerator::global()->bounded(256));
    return raw.toHex();
}

QByteArray foldBase64(const QByteArray &data)
{
    const QByteArray b64 = data.toBase64();
    QByteArray out;
    out.reserve(b64.size() + b64.size() / 76 * 2 + 2);
    for (qsizetype i = 0; i < b64.size(); i += 76) {
        out += b64.mid(i, 76);
        out += "\r\n";
    }
    return out;
}

// Folds plain ASCII header text at blanks so lines stay near 78 characters.
QByteArray foldAscii(const QByteArray &text, qsizetype firstLineUsed)
{
    QByteArray out;
    qsizetype lineLength = firstLineUsed;
    const QList<QByteArray> words = text.split(' ');
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (i > 0) {
            if (lineLength + 1 + words[i].size() > MaxPlainLine && lineLength > 0) {
                out += "\r\n ";
                lineLength = 1;
            } else {
                out += ' ';
                ++lineLength;
            }
        }
        out += words[i];
        lineLength += words[i].size();
    }
    return out;
}

// Code points of a text, so no surrogate pair is split between words.
QStringList codePoints(const QString &text)
{
    QStringList points;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            points << text.mid(i, 2);
            ++i;
        } else {
            points << text.mid(i, 1);
        }
    }
    return points;
}

// The text as B-encoded words, each line (the first one after
// `firstLineUsed` characters, the others after the folding space) within
// MaxEncodedLine characters. Words are cut between characters only.
QByteArray encodedWords(const QString &text, qsizetype firstLineUsed)
{
    const bool jis = jisText(text).has_value();
    const QByteArray prefix = jis ? "=?ISO-2022-JP?B?" : "=?UTF-8?B?";
    auto encode = [&](const QString &s) { return jis ? *encodeIso2022Jp(s) : s.toUtf8(); };
    // The raw bytes a word may carry on a line that has `used` characters.
    auto room = [&](qsizetype used) {
        return qMax<qsizetype>(4, MaxEncodedLine - used - prefix.size() - 2) / 4 * 3;
    };

    QByteArray out;
    auto put = [&](const QString &chunk) {
        if (!out.isEmpty())
            out += "\r\n ";
        out += prefix + encode(chunk).toBase64() + "?=";
    };
    QString chunk;
    qsizetype maxRaw = room(firstLineUsed);
    for (const QString &point : codePoints(text)) {
        const QString next = chunk + point;
        if (!chunk.isEmpty() && encode(next).size() > maxRaw) {
            put(chunk);
            chunk = point;
            maxRaw = room(1);
        } else {
            chunk = next;
        }
    }
    if (!chunk.isEmpty())
        put(chunk);
    return out;
}

// Characters on the last line of a folded header text whose first line had
// `firstLineUsed` characters before it.
qsizetype lastLineLength(const QByteArray &folded, qsizetype firstLineUsed)
{
    const qsizetype fold = folded.lastIndexOf("\r\n");
    return fold < 0 ? firstLineUsed + folded.size() : folded.size() - fold - 2;
}

// True when plain text holds a run without blanks that no folding can bring
// within a line (a long address in a subject, say).
bool hasOverlongWord(const QString &text, qsizetype firstLineUsed)
{
    qsizetype used = firstLineUsed;
    for (const QString &word : text.split(QLatin1Char(' '))) {
        if (used + word.size() > MaxPlainLine)
            return true;
        used = 1;
    }
    return false;
}

QByteArray headerText(const QString &text, qsizetype firstLineUsed)
{
    const QString s = oneLine(text);
    if (isPlainAscii(s) && !hasOverlongWord(s, firstLineUsed))
        return foldAscii(s.toLatin1(), firstLineUsed);
    // Encoded words may be cut anywhere: that folds a long run without blanks too.
    return encodedWords(s, firstLineUsed);
}

struct Address {
    QString name;
    QString address;
};

bool isListSeparator(QChar c)
{
    // Besides "," and ";", the ways Japanese text parts items: "、" "，" "；".
    return c == QLatin1Char(',') || c == QLatin1Char(';') || c == QChar(0x3001) || c == QChar(0xFF0C)
           || c == QChar(0xFF1B);
}

QStringList splitList(const QString &list)
{
    QStringList parts;
    QString cur;
    bool quoted = false;
    int angle = 0;
    for (QChar c : list) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('<'))
            ++angle;
        else if (!quoted && c == QLatin1Char('>') && angle > 0)
            --angle;
        if (!quoted && angle == 0 && isListSeparator(c)) {
            // A part without an address is the start of a display name
            // ("山田、太郎 <t@example.jp>"): it goes on.
            if (!cur.contains(QLatin1Char('@')) && !cur.trimmed().isEmpty()) {
                cur += c;
                continue;
            }
            parts << cur;
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts << cur;
    return parts;
}

// The address with its domain in the ASCII form (IDNA) that every server
// and reader takes; the local part stays as written.
QString asciiDomain(const QString &address)
{
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    if (at < 0)
        return address;
    const QString domain = address.mid(at + 1);
    bool ascii = true;
    for (QChar c : domain)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        return address;
    const QByteArray ace = QUrl::toAce(domain);
    return ace.isEmpty() ? address : address.left(at + 1) + QString::fromLatin1(ace);
}

bool parseAddress(const QString &entry, Address &a)
{
    const QString e = oneLine(entry).trimmed();
    const qsizetype open = e.lastIndexOf(QLatin1Char('<'));
    if (open >= 0) {
        const qsizetype close = e.indexOf(QLatin1Char('>'), open);
        if (close < 0)
            return false;
        a.address = e.mid(open + 1, close - open - 1).trimmed();
        a.name = e.left(open).trimmed();
        if (a.name.size() >= 2 && a.name.startsWith(QLatin1Char('"')) && a.name.endsWith(QLatin1Char('"')))
            a.name = a.name.mid(1, a.name.size() - 2).replace(QLatin1String("\\\""), QLatin1String("\""));
    } else {
        a.address = e;
        a.name.clear();
    }
    if (a.address.isEmpty())
        return false;
    for (QChar c : a.address) {
        const ushort u = c.unicode();
        if (u <= 0x20 || u == 0x7F || c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char(',')
            || c == QLatin1Char(';') || c == QLatin1Char('"') || isListSeparator(c))
            return false;
    }
    a.address = asciiDomain(a.address);
    return true;
}

QByteArray formatAddress(const Address &a, qsizetype firstLineUsed)
{
    const QByteArray addr = a.address.toUtf8();
    if (a.name.isEmpty())
        return addr;
    QByteArray name;
    if (isPlainAscii(a.name) && firstLineUsed + a.name.size() + 2 <= MaxPlainLine) {
        QString quoted = a.name;
        quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
        name = '"' + quoted.toLatin1() + '"';
    } else {
        name = encodedWords(a.name, firstLineUsed);
    }
    // The address goes on a line of its own when the name's last line has no room for it.
    const bool fold = lastLineLength(name, firstLineUsed) + 3 + addr.size() + 1 > MaxEncodedLine;
    return name + (fold ? "\r\n <" : " <") + addr + '>';
}

QByteArray addressList(const QString &list, qsizetype firstLineUsed)
{
    QByteArray out;
    for (const QString &entry : splitList(list)) {
        if (entry.trimmed().isEmpty())
            continue;
        Address a;
        if (!parseAddress(entry, a))
            continue;
        if (!out.isEmpty())
            out += ",\r\n ";
        out += formatAddress(a, out.isEmpty() ? firstLineUsed : 1);
    }
    return out;
}

// RFC 2231: name*0*=UTF-8''%E3%81%82; name*1*=... in lines of a sane length.
QByteArray rfc2231Parameter(const QByteArray &name, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    QByteArray encoded;
    for (char ch : utf8) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.'
                          || c == '-' || c == '_' || c == '!' || c == '~' || c == '+' || c == '&' || c == '#'
                          || c == '$' || c == '^' || c == '`' || c == '|';
        if (keep)
            encoded += char(c);
        else
            encoded += '%' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
    }
    QList<QByteArray> sections;
    qsizetype i = 0;
    while (i < encoded.size()) {
        qsizetype len = qMin<qsizetype>(60, encoded.size() - i);
        // Do not cut a %XX escape.
        if (i + len < encoded.size()) {
            if (encoded[i + len - 1] == '%')
                len -= 1;
            else if (len >= 2 && encoded[i + len - 2] == '%')
                len -= 2;
        }
        sections << encoded.mid(i, len);
        i += len;
    }
    if (sections.size() == 1)
        return name + "*=UTF-8''" + sections[0];
    QByteArray out;
    for (qsizetype k = 0; k < sections.size(); ++k) {
        if (k > 0)
            out += ";\r\n ";
        out += name + '*' + QByteArray::number(k) + '*' + '=' + (k == 0 ? "UTF-8''" : "") + sections[k];
    }
    return out;
}

QByteArray quotedAscii(const QString &s)
{
    QString q = s;
    q.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    return '"' + q.toLatin1() + '"';
}

// The charset a text attachment's bytes are in, for its Content-Type label:
// ISO-2022-JP, US-ASCII, UTF-8, Shift_JIS (code page 932) or EUC-JP; where
// both of the last two decode, the reading the decoder of undeclared text
// takes. Empty when the bytes are none of these.
QByteArray textAttachmentCharset(const QByteArray &data)
{
    if (data.contains('\x1b') && decodeIso2022Jp(data))
        return "ISO-2022-JP";
    bool ascii = true;
    for (char c : data)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        return "US-ASCII";
    if (decodeStrict(data, "UTF-8"))
        return "UTF-8";
    const std::optional<QString> sjis = decodeStrict(data, "Shift_JIS");
    const std::optional<QString> euc = decodeStrict(data, "EUC-JP");
    if (sjis && euc)
        return decodeUndeclared(data) == *euc ? "EUC-JP" : "Shift_JIS";
    if (sjis)
        return "Shift_JIS";
    if (euc)
        return "EUC-JP";
    return QByteArray();
}

// The message identifiers ("<left@right>") a header field holds, in order.
QList<QByteArray> messageIds(const QByteArray &field)
{
    static const QRegularExpression id(QStringLiteral("<[\\x21-\\x3B\\x3D\\x3F-\\x7E]+@[\\x21-\\x3B\\x3D\\x3F-\\x7E]+>"));
    QList<QByteArray> ids;
    for (auto it = id.globalMatch(QString::fromLatin1(field)); it.hasNext();)
        ids << it.next().captured().toLatin1();
    return ids;
}

struct BodyPart {
    QByteArray headers;  // Content-Type and Content-Transfer-Encoding lines
    QByteArray content;
};

BodyPart textPart(const QString &text)
{
    // CR LF line ends and a final line break.
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (!t.isEmpty() && !t.endsWith(QLatin1Char('\n')))
        t += QLatin1Char('\n');
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));

    BodyPart part;
    bool ascii = true;
    for (QChar c : t)
        ascii = ascii && c.unicode() < 0x80;
    QByteArray charset;
    QByteArray bytes;
    if (const std::optional<QByteArray> jis = jisText(t)) {
        bytes = *jis;
        charset = ascii ? "US-ASCII" : "ISO-2022-JP";
    } else {
        bytes = t.toUtf8();
        charset = "UTF-8";
    }
    bool shortLines = charset != "UTF-8";
    if (shortLines) {
        qsizetype start = 0;
        while (start < bytes.size()) {
            qsizetype nl = bytes.indexOf("\r\n", start);
            if (nl < 0)
                nl = bytes.size();
            if (nl - start > 998) {
                shortLines = false;
                break;
            }
            start = nl + 2;
        }
    }
    part.headers = "Content-Type: text/plain; charset=" + charset + "\r\n";
    if (shortLines) {
        part.headers += "Content-Transfer-Encoding: 7bit\r\n";
        part.content = bytes;
    } else {
        part.headers += "Content-Transfer-Encoding: base64\r\n";
        part.content = foldBase64(bytes);
    }
    return part;
}

}  // namespace

QByteArray encodeHeaderText(const QString &text)
{
    return headerText(text, 0);
}

QByteArray rfc5322Date(const QDateTime &when)
{
    static const char *days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = when.date();
    const QTime t = when.time();
    const int offset = when.offsetFromUtc() / 60;
    const int a = qAbs(offset);
    return QByteArray(days[d.dayOfWeek() - 1]) + ", " + QByteArray::number(d.day()).rightJustified(2, '0') + ' '
           + months[d.month() - 1] + ' ' + QByteArray::number(d.year()) + ' '
           + QByteArray::number(t.hour()).rightJustified(2, '0') + ':'
           + QByteArray::number(t.minute()).rightJustified(2, '0') + ':'
           + QByteArray::number(t.second()).rightJustified(2, '0') + ' ' + (offset < 0 ? '-' : '+')
           + QByteArray::number(a / 60).rightJustified(2, '0') + QByteArray::number(a % 60).rightJustified(2, '0');
}

bool envelopeAddresses(const QString &list, QStringList &addresses, QString &error)
{
    addresses.clear();
    for (const QString &entry : splitList(list)) {
        if (entry.trimmed().isEmpty())
            continue;
        Address a;
        if (!parseAddress(entry, a)) {
            error = QStringLiteral("メールアドレス「%1」が正しくありません。").arg(entry.trimmed());
            return false;
        }
        addresses << a.address;
    }
    return true;
}

bool buildMessage(const OutgoingMail &mail, QByteArray &out, QString &error)
{
    struct Attachment {
        QString name;
        QByteArray type;
        QByteArray data;
    };
    QList<Attachment> attachments;
    for (const QString &path : mail.attachments) {
        QFile f(path);
        if (!QFileInfo(path).isFile()) {
            error = QStringLiteral("添付ファイル「%1」が見つかりません。").arg(path);
            return false;
        }
        if (!f.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("添付ファイル「%1」を読めません: %2").arg(path, deviceReason(f));
            return false;
        }
        Attachment a;
        a.name = QFileInfo(path).fileName();
        a.type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).name().toLatin1();
        if (a.type.isEmpty())
            a.type = "application/octet-stream";
        a.data = f.readAll();
        if (f.error() != QFileDevice::NoError) {
            error = QStringLiteral("添付ファイル「%1」を読めません: %2").arg(path, deviceReason(f));
            return false;
        }
        // A text file goes out as it is, labelled with its charset so that it can be read.
        if (a.type.startsWith("text/")) {
            if (const QByteArray charset = textAttachmentCharset(a.data); !charset.isEmpty())
                a.type += "; charset=" + charset;
        }
        attachments << a;
    }

    Address from;
    const bool fromOk = parseAddress(mail.from, from);
    const QDateTime when = mail.date.isValid() ? mail.date : QDateTime::currentDateTime();
    QByteArray domain = fromOk ? from.address.section(QLatin1Char('@'), 1).toUtf8() : QByteArray();
    if (domain.isEmpty())
        domain = "korvane.invalid";

    QByteArray m;
    m += "From: " + (fromOk ? formatAddress(from, 6) : QByteArray()) + "\r\n";
    m += "To: " + addressList(mail.to, 4) + "\r\n";
    m += "Subject: " + headerText(mail.subject, 9) + "\r\n";
    m += "Date: " + rfc5322Date(when) + "\r\n";
    m += "Message-ID: <" + when.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + '.' + randomHex(8)
         + "@" + domain + ">\r\n";
    // A reply names the mail it answers, so that readers thread them.
    const QList<QByteArray> answered = messageIds(mail.answeredMessageId);
    if (!answered.isEmpty()) {
        m += "In-Reply-To: " + answered.first() + "\r\n";
        QList<QByteArray> references = messageIds(mail.answeredReferences);
        references.removeAll(answered.first());
        references << answered.first();
        m += "References: " + foldAscii(references.join(' '), 12) + "\r\n";
    }
    m += "MIME-Version: 1.0\r\n";
    m += "X-Mailer: Korvane\r\n";
    const BodyPart text = textPart(mail.body);
    if (attachments.isEmpty()) {
        m += text.headers + "\r\n" + text.content;
    } else {
        const QByteArray boundary = "=_Korvane_" + randomHex(12);
        m += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
        m += "This is a multi-part message in MIME format.\r\n";
        m += "--" + boundary + "\r\n" + text.headers + "\r\n" + text.content;
        for (const Attachment &a : attachments) {
            m += "--" + boundary + "\r\n";
            const bool ascii = isPlainAscii(a.name);
            m += "Content-Type: " + a.type + ";\r\n name=" + (ascii ? quotedAscii(a.name) : '"' + encodedWords(a.name, 6) + '"')
                 + "\r\n";
            m += "Content-Disposition: attachment;\r\n "
                 + (ascii ? "filename=" + quotedAscii(a.name) : rfc2231Parameter("filename", a.name)) + "\r\n";
            m += "Content-Transfer-Encoding: base64\r\n\r\n";
            m += foldBase64(a.data);
        }
        m += "--" + boundary + "--\r\n";
    }
    out = m;
    return true;
}

}  // namespace korvane::mime
