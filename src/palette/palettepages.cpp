#include "palettepages.h"

#include "common/atomicfile.h"
#include "common/cp932.h"
#include "common/paths.h"

#include <QFile>

namespace korvane::palette {

const std::array<PalettePage, PageCount> &pages()
{
    static const std::array<PalettePage, PageCount> table{{
        {u"顔文字", "Kao1", u"\\顔文字データ\\Kao1.txt", u"\\顔文字データ\\Kao1.txt", "Command1", "Command2", "Command27"},
        {u"飾りライン・抽象画", "Text1", u"\\顔文字データ\\Text1.txt", u"\\顔文字データ\\text1.txt", "Command4", "Command3", "Command28"},
        {u"顔", "Text2", u"\\顔文字データ\\Text2.txt", u"\\顔文字データ\\text2.txt", "Command5", "Command6", "Command29"},
        {u"春夏秋冬、年中行事", "Text3", u"\\顔文字データ\\Text3.txt", u"\\顔文字データ\\text3.txt", "Command7", "Command8", "Command30"},
        {u"干支、星座、その他", "Text4", u"\\顔文字データ\\Text4.txt", u"\\顔文字データ\\text4.txt", "Command10", "Command9", "Command31"},
        {u"乗り物、機械、昆虫、花", "Text5", u"\\顔文字データ\\Text5.txt", u"\\顔文字データ\\text5.txt", "Command11", "Command12", "Command32"},
        {u"飲物、食べ物", "Text6", u"\\顔文字データ\\Text6.txt", u"\\顔文字データ\\text6.txt", "Command14", "Command13", "Command33"},
        {u"衣料、雑貨、ゲーム、スポーツ", "Text7", u"\\顔文字データ\\Text7.txt", u"\\顔文字データ\\text7.txt", "Command15", "Command16", "Command34"},
        {u"SF、場所、音楽", "Text8", u"\\顔文字データ\\Text8.txt", u"\\顔文字データ\\text8.txt", "Command18", "Command17", "Command35"},
        {u"その他", "Text9", u"\\顔文字データ\\Text9.txt", u"\\顔文字データ\\text9.txt", "Command19", "Command20", "Command25"},
        {u"動物、その他", "Text10", u"\\顔文字データ\\Text10.txt", u"\\顔文字データ\\text10.txt", "Command22", "Command21", "Command26"},
        {u"○お気に入り", "Text11", u"\\顔文字データ\\Text11.txt", u"\\顔文字データ\\text11.txt", "Command23", "Command24", nullptr},
    }};
    return table;
}

bool isPicturePage(int page)
{
    return page == 2 || page == 7;
}

QString pageLoadPath(int page)
{
    return paths::resolve(QString::fromUtf16(pages().at(page).loadName));
}

QString pageSavePath(int page)
{
    return paths::resolve(QString::fromUtf16(pages().at(page).saveName));
}

QString loadPageText(int page, bool *ok)
{
    if (ok)
        *ok = true;
    QFile file(pageLoadPath(page));
    if (!file.exists())
        return QString();
    if (!file.open(QIODevice::ReadOnly)) {
        if (ok)
            *ok = false;
        return QString();
    }
    QString text = cp932::decode(file.readAll());
    // The box keeps line breaks as "\n"; CR LF is how the file spells them.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

QByteArray encodePageText(const QString &text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(u'\n', QStringLiteral("\r\n"));
    return cp932::encode(out);
}

bool savePageText(int page, const QString &text, QString *error)
{
    const QString path = paths::ensureParent(QString::fromUtf16(pages().at(page).saveName));
    return writeFileAtomically(path, encodePageText(text), error);
}

}  // namespace korvane::palette
