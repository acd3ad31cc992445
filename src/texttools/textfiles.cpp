#include "textfiles.h"
#include "common/reasons.h"

#include "common/text.h"
#include "common/atomicfile.h"
#include "common/cp932.h"

#include <QFile>

namespace korvane::texttools {
namespace {

qsizetype lastSeparator(const QString &path)
{
    return std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

}  // namespace

QString fileNamePart(const QString &path)
{
    qsizetype sep = lastSeparator(path);
    return sep < 0 ? path : path.mid(sep + 1);
}

QString directoryPart(const QString &path)
{
    qsizetype sep = lastSeparator(path);
    return sep < 0 ? path : path.left(sep + 1);
}

std::optional<QString> readTextFileLines(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, deviceReason(file));
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        setError(error, deviceReason(file));
        return std::nullopt;
    }
    QString text;
    text.reserve(bytes.size() + 16);
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    while (start < n) {
        qsizetype end = start;
        while (end < n && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        text += cp932::decode(bytes.constData() + start, end - start);
        text += QStringLiteral("\r\n");
        if (end < n && bytes[end] == '\r' && end + 1 < n && bytes[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return text;
}

bool writeTextFile(const QString &path, const QString &text, QString *error,
                   std::optional<QFileDevice::Permissions> permissions)
{
    if (path.isEmpty()) {
        setError(error, QStringLiteral("ファイル名がありません。"));
        return false;
    }
    return replaceFile(path, cp932::encode(toCrLf(text)), error, permissions);
}

QString toLf(const QString &text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(u'\r', u'\n');
    return out;
}

QString withMailHeader(const QString &subject, const QString &from, const QString &date, const QString &body)
{
    return QStringLiteral("Subject:  ") + subject + QStringLiteral("\r\nFrom:  ") + from +
           QStringLiteral("\r\nDate:  ") + date + QStringLiteral("\r\nBody:  ") + body;
}

}  // namespace korvane::texttools
