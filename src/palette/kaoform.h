#pragma once
// The emoticon palette window `KaoForm`: twelve editable pages of emoticons,
// character pictures and stock phrases, inserted into the body of the compose
// window. Pages are loaded when the window opens and written back when it
// closes.
#include <QString>
#include <QWidget>

#include <array>

class QPlainTextEdit;
class QTabWidget;
class QButtonGroup;

namespace korvane::palette {

class KaoForm : public QWidget {
    Q_OBJECT
public:
    explicit KaoForm(QWidget *parent = nullptr);

    QTabWidget *tabs() const { return tabs_; }
    QPlainTextEdit *pageBox(int page) const { return boxes_.at(page); }

    // Writes back every page whose text differs from what was loaded; pages
    // that cannot be written are reported in one box, the others are saved.
    // True when every page is stored.
    bool savePages();

    // Takes the selection of `source` (via the clipboard, untrimmed), puts the
    // caret of `source` behind it, and inserts the selection without leading
    // and trailing spaces at the caret of `target` (a QPlainTextEdit or
    // QTextEdit; none: nothing is inserted).
    static void handOverSelection(QPlainTextEdit *source, QWidget *target);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void insertIntoCompose(int page);
    void addToFavourites(int page);
    void pasteIntoPage(int page);

    QTabWidget *tabs_ = nullptr;
    QButtonGroup *tabButtons_ = nullptr;
    std::array<QPlainTextEdit *, 12> boxes_{};
    std::array<QString, 12> loaded_;
};

}  // namespace korvane::palette
