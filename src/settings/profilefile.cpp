#include "profilefile.h"

#include "common/atomicfile.h"
#include "common/cp932.h"
#include "common/recordfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <cerrno>

namespace korvane::settings::profile {
namespace {

const QByteArray CrLf("\r\n");

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f' || c == QChar(0x1A);
}

QString trimBlanks(const QString &text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    return text.mid(b, e - b);
}

bool isQuote(QChar c)
{
    return c == u'"' || c == u'\'';
}

// One line of the file: its bytes without the line end, and the line end
// itself ("\r\n", "\n" or nothing on an unterminated last line).
struct Line {
    QByteArray text;
    QByteArray end;
};

QList<Line> splitLines(const QByteArray &data)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype nl = data.indexOf('\n', start);
        if (nl < 0) {
            lines.append({data.mid(start), QByteArray()});
            break;
        }
        qsizetype textEnd = (nl > start && data[nl - 1] == '\r') ? nl - 1 : nl;
        lines.append({data.mid(start, textEnd - start), data.mid(textEnd, nl + 1 - textEnd)});
        start = nl + 1;
    }
    return lines;
}

// What a line means for the profile.
struct Parsed {
    enum Kind { Other, Section, Entry } kind = Other;
    QString name;   // section or key name
    QString value;  // entry value as read
};

Parsed parse(const QByteArray &bytes)
{
    Parsed p;
    const QString line = trimBlanks(cp932::decode(bytes));
    if (line.isEmpty() || line.startsWith(u';'))
        return p;
    if (line.startsWith(u'[')) {
        qsizetype close = line.indexOf(u']', 1);
        p.kind = Parsed::Section;
        p.name = trimBlanks(close < 0 ? line.mid(1) : line.mid(1, close - 1));
        return p;
    }
    qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
        return p;
    p.kind = Parsed::Entry;
    p.name = trimBlanks(line.left(eq));
    p.value = trimBlanks(line.mid(eq + 1));
    if (p.value.size() >= 2 && isQuote(p.value.front()) && p.value.back() == p.value.front())
        p.value = p.value.mid(1, p.value.size() - 2);
    return p;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The value as it must be written so that reading gives it back unchanged.
QString storedForm(QString value)
{
    // A line end inside a value would split the line (and could forge other
    // keys); the file's values are single-line.
    value.replace(u'\r', u' ');
    value.replace(u'\n', u' ');
    if (value.isEmpty())
        return value;
    const bool blankEnds = isBlank(value.front()) || isBlank(value.back());
    const bool quoted = value.size() >= 2 && isQuote(value.front()) && value.back() == value.front();
    return (blankEnds || quoted) ? u'"' + value + u'"' : value;
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

}  // namespace

QString readString(const QString &path, const QString &section, const QString &key,
                   const QString &defaultValue, int maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue;
    const QList<Line> lines = splitLines(file.readAll());
    bool inSection = false;
    bool sectionSeen = false;
    for (const Line &l : lines) {
        Parsed p = parse(l.text);
        if (p.kind == Parsed::Section) {
            // The first section of that name is the one that counts.
            if (sectionSeen)
                break;
            inSection = sameName(p.name, section);
            sectionSeen = inSection;
            continue;
        }
        if (inSection && p.kind == Parsed::Entry && sameName(p.name, key)) {
            if (maxBytes > 0)
                return cp932::decode(cp932::cutAt(cp932::encode(p.value), maxBytes));
            return p.value;
        }
    }
    return defaultValue;
}

bool writeString(const QString &path, const QString &section, const QString &key, const QString &value,
                 std::optional<QFileDevice::Permissions> permissions, QString *error)
{
    QByteArray old;
    {
        QFile in(path);
        if (in.exists()) {
            if (!in.open(QIODevice::ReadOnly)) {
                setError(error, QStringLiteral("%1 を読めません: %2").arg(path, deviceReason(in)));
                return false;
            }
            old = in.readAll();
        }
    }
    QList<Line> lines = splitLines(old);

    // Find the section and, inside it, the key or the place for it.
    qsizetype sectionAt = -1, keyAt = -1, lastInSection = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        Parsed p = parse(lines[i].text);
        if (p.kind == Parsed::Section) {
            if (sectionAt >= 0)
                break;
            if (sameName(p.name, section)) {
                sectionAt = i;
                lastInSection = i;
            }
            continue;
        }
        if (sectionAt < 0)
            continue;
        if (!trimBlanks(cp932::decode(lines[i].text)).isEmpty())
            lastInSection = i;
        if (p.kind == Parsed::Entry && sameName(p.name, key)) {
            keyAt = i;
            break;
        }
    }

    if (keyAt >= 0) {
        // Keep the key's own spelling; replace only what follows it.
        QString spelled = parse(lines[keyAt].text).name;
        lines[keyAt].text = cp932::encode(spelled + u'=' + storedForm(value));
    } else {
        const QByteArray entry = cp932::encode(key + u'=' + storedForm(value));
        if (sectionAt >= 0) {
            if (lines[lastInSection].end.isEmpty())
                lines[lastInSection].end = CrLf;
            lines.insert(lastInSection + 1, {entry, CrLf});
        } else {
            if (!lines.isEmpty() && lines.last().end.isEmpty())
                lines.last().end = CrLf;
            lines.append({cp932::encode(u'[' + section + u']'), CrLf});
            lines.append({entry, CrLf});
        }
    }

    QByteArray out;
    out.reserve(old.size() + 64);
    for (const Line &l : lines)
        out += l.text + l.end;

    QDir().mkpath(QFileInfo(path).absolutePath());
    QString reason;
    if (!replaceFile(path, out, &reason, permissions)) {
        setError(error, QStringLiteral("%1 を書けません: %2").arg(path, reason));
        return false;
    }
    return true;
}

}  // namespace korvane::settings::profile
