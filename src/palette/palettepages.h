#pragma once
// The pages of the emoticon palette and their text files.
//
// Each page is one text file under "\顔文字データ\" in the program folder, in
// code page 932 with CR LF line breaks; the whole file is the page's text.
// A page is loaded from one spelling of its name and saved under another that
// differs only in letter case (the folder is matched without regard to case).
#include <QString>

#include <array>

namespace korvane::palette {

struct PalettePage {
    const char16_t *caption;       // tab caption
    const char *box;               // the page's text box
    const char16_t *loadName;      // file the page is read from
    const char16_t *saveName;      // file the page is written to
    const char *insertButton;      // "新規作成本文に挿入"
    const char *pasteButton;       // "追加（貼付）"
    const char *favouriteButton;   // "お気に入りに追加"; nullptr on the favourites page
};

inline constexpr int PageCount = 12;
// The favourites page, target of every "お気に入りに追加".
inline constexpr int FavouritesPage = 11;
// The page in front when the palette opens.
inline constexpr int FirstShownPage = 3;

const std::array<PalettePage, PageCount> &pages();

// The pages of pictures drawn with letters (顔, 衣料・雑貨): their lines hold
// full-width blanks and strokes that line up only in a font whose letters
// are all of one width.
bool isPicturePage(int page);

// The absolute path a page is read from / written to.
QString pageLoadPath(int page);
QString pageSavePath(int page);

// The page's text as stored: the file decoded from code page 932, line breaks
// as "\n". A missing or unreadable file gives an empty page (and *ok false
// when the file exists but cannot be read).
QString loadPageText(int page, bool *ok = nullptr);

// The bytes a page's text is stored as: "\n" becomes CR LF, the text is
// encoded in code page 932 (characters it cannot hold become "?"). Nothing is
// appended, so loading and saving an unchanged page gives the same bytes.
QByteArray encodePageText(const QString &text);

// Writes a page's file. The old file stays whole until the new one is
// complete; false with the reason in *error when it cannot be written.
bool savePageText(int page, const QString &text, QString *error = nullptr);

}  // namespace korvane::palette
