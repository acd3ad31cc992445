#pragma once
// The editor's text search: "検索" finds the first occurrence, "次を検索" the
// next one after the last hit; positions are 1-based, 0 means none.
#include <QString>

namespace korvane::texttools {

// 1-based position of the first exact occurrence of `needle` in `text` at or
// after character `start` (1-based; below 1 counts as 1), or 0 for none. An
// empty needle is never found.
int findFrom(const QString &text, const QString &needle, int start);

class TextSearch {
public:
    // From the first character.
    int findFirst(const QString &text, const QString &needle);
    // From the character at (needle length + last hit): after a miss the last
    // hit is 0, so the search starts again near the beginning.
    int findNext(const QString &text, const QString &needle);

    int lastFoundPosition() const { return last_; }
    void reset() { last_ = 0; }

private:
    int last_ = 0;
};

}  // namespace korvane::texttools
