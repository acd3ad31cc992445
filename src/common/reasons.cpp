#include "reasons.h"

#include <QHash>

#include <cerrno>
#include <cstring>

namespace korvane {

namespace {

struct KnownReason {
    int err;
    const char *english;  // the C library's words in English, Qt's too
    const char16_t *japanese;
};

const KnownReason KnownReasons[] = {
    {ENOSPC, "No space left on device", u"ディスクの空きが足りません。"},
#ifdef EDQUOT
    {EDQUOT, "Disk quota exceeded", u"ディスクの使用量が上限に達しています。"},
#endif
    {EACCES, "Permission denied", u"アクセスが許可されていません。"},
    {EPERM, "Operation not permitted", u"この操作は許可されていません。"},
    {ENOENT, "No such file or directory", u"ファイルまたはフォルダが見つかりません。"},
    {EROFS, "Read-only file system", u"読み取り専用のディスクです。"},
    {EIO, "Input/output error", u"ディスクの読み書きでエラーが起きました。"},
    {EMFILE, "Too many open files", u"開いているファイルが多すぎます。"},
    {ENFILE, "Too many open files in system", u"開いているファイルが多すぎます。"},
    {EFBIG, "File too large", u"ファイルが大きすぎます。"},
    {ENAMETOOLONG, "File name too long", u"ファイル名が長すぎます。"},
    {EISDIR, "Is a directory", u"ファイルではなくフォルダです。"},
    {ENOTDIR, "Not a directory", u"途中の名前がフォルダではありません。"},
    {EEXIST, "File exists", u"同じ名前のファイルがすでにあります。"},
    {EBUSY, "Device or resource busy", u"ファイルが使用中です。"},
};

}  // namespace

QString systemReason(int err)
{
    for (const KnownReason &k : KnownReasons)
        if (k.err == err)
            return QString::fromUtf16(k.japanese);
    return QString::fromLocal8Bit(std::strerror(err)).trimmed();
}

QString inJapanese(const QString &reason)
{
    // Both the words of the user's language and the English ones: Qt keeps
    // its own English words for the commonest reasons.
    static const QHash<QString, QString> known = [] {
        QHash<QString, QString> map;
        for (const KnownReason &k : KnownReasons) {
            const QString japanese = QString::fromUtf16(k.japanese);
            map.insert(QString::fromLatin1(k.english), japanese);
            map.insert(QString::fromLocal8Bit(std::strerror(k.err)).trimmed(), japanese);
        }
        return map;
    }();
    return known.value(reason.trimmed(), reason);
}

QString deviceReason(const QIODevice &device)
{
    return inJapanese(device.errorString());
}

}  // namespace korvane
