#include "textsearch.h"

namespace korvane::texttools {

int findFrom(const QString &text, const QString &needle, int start)
{
    if (needle.isEmpty())
        return 0;
    if (start < 1)
        start = 1;
    if (start > text.size())
        return 0;
    qsizetype at = text.indexOf(needle, start - 1, Qt::CaseSensitive);
    return at < 0 ? 0 : int(at + 1);
}

int TextSearch::findFirst(const QString &text, const QString &needle)
{
    last_ = findFrom(text, needle, 1);
    return last_;
}

int TextSearch::findNext(const QString &text, const QString &needle)
{
    last_ = findFrom(text, needle, int(needle.size()) + last_);
    return last_;
}

}  // namespace korvane::texttools
