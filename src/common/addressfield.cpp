#include "addressfield.h"

#include "cp932.h"

namespace korvane {
namespace {

struct Mailbox {
    QString name;     // display name, quotes removed
    QString address;  // between the angle brackets
    bool quoted = false;
};

// "Name <address>" split in two; false for a bare address or a text that is
// not a single mailbox. A name may hold "," unquoted, as decoded senders do.
bool splitMailbox(const QString &text, Mailbox &m)
{
    if (!text.endsWith(u'>'))
        return false;
    const qsizetype open = text.lastIndexOf(u'<');
    if (open < 0 || text.indexOf(u'>') != text.size() - 1)
        return false;
    const QString name = text.left(open).trimmed();
    // An "@" before the brackets belongs to another address: a list, not one mailbox.
    if (name.contains(u'<') || name.contains(u'>') || (name.contains(u'@') && !name.startsWith(u'"')))
        return false;
    m.address = text.mid(open + 1, text.size() - open - 2).trimmed();
    if (m.address.isEmpty() || m.address.contains(u'<'))
        return false;
    m.quoted = name.size() >= 2 && name.startsWith(u'"') && name.endsWith(u'"');
    m.name = m.quoted ? name.mid(1, name.size() - 2) : name;
    return true;
}

qsizetype bytesOf(const QString &text)
{
    return cp932::encode(text).size();
}

// The text without its last character (a surrogate pair counts as one).
QString withoutLastCharacter(const QString &text)
{
    qsizetype cut = text.size() - 1;
    if (cut > 0 && text[cut].isLowSurrogate() && text[cut - 1].isHighSurrogate())
        --cut;
    return text.left(cut);
}

QString trimmedMailbox(const QString &text)
{
    return text.trimmed();
}

}  // namespace

FittedAddress fitAddressField(const QString &mailbox, qsizetype widthBytes)
{
    const QString text = trimmedMailbox(mailbox);
    Mailbox m;
    const bool named = splitMailbox(text, m);
    const QString address = named ? m.address : text;
    if (address.isEmpty() || !cp932::canEncode(address))
        return {};
    if (bytesOf(text) <= widthBytes && (!named || cp932::canEncode(text)))
        return {AddressFit::Whole, text};
    if (!named) {
        // A bare address or a list: only whole.
        return {};
    }
    const QString tail = QStringLiteral(" <") + m.address + u'>';
    QString name = m.name;
    while (!name.isEmpty()) {
        name = withoutLastCharacter(name).trimmed();
        if (name.isEmpty())
            break;
        const QString candidate = (m.quoted ? u'"' + name + u'"' : name) + tail;
        if (bytesOf(candidate) <= widthBytes)
            return {AddressFit::NameShortened, candidate};
    }
    if (bytesOf(m.address) <= widthBytes)
        return {AddressFit::BareAddress, m.address};
    return {};
}

QString addressTooLongMessage(const QString &mailbox, qsizetype widthBytes)
{
    return QStringLiteral("メールアドレス「%1」は長すぎるため保存できません（半角%2文字まで）。")
        .arg(trimmedMailbox(mailbox))
        .arg(widthBytes);
}

QString replyAddress(const QString &recordAddress)
{
    const QString text = recordAddress.trimmed();
    Mailbox m;
    if (!splitMailbox(text, m) || m.quoted || m.name.isEmpty())
        return text;
    static const QString specials = QStringLiteral(",;\"");
    bool needsQuotes = false;
    for (QChar c : m.name)
        needsQuotes = needsQuotes || specials.contains(c);
    if (!needsQuotes)
        return text;
    QString name = m.name;
    name.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return u'"' + name + QStringLiteral("\" <") + m.address + u'>';
}

}  // namespace korvane
