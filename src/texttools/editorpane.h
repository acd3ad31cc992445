#pragma once
// The editor on the history window's body box `rtfEd`: the menus "ファイル(&F)"
// and "編集(&E)", the toolbar `tbToolBar`, the search box `Text1` and the
// commands behind them. The pane builds its controls into the window it is
// given; the window places them.
#include "textsearch.h"

#include <QObject>
#include <QString>

class QAction;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QPrinter;
class QTextEdit;
class QToolBar;

namespace korvane::texttools {

class EditorPane : public QObject {
    Q_OBJECT
public:
    enum class FontStyle { Bold, Italic, Underline };

    // Creates `rtfEd`, `tbToolBar`, `Label2` and `Text1` as children of
    // `client`, and the two menus on the window's menu bar.
    EditorPane(QMainWindow *window, QWidget *client);

    QTextEdit *editor() const { return editor_; }
    QToolBar *toolBar() const { return toolBar_; }
    QLineEdit *searchBox() const { return searchBox_; }
    QLabel *searchLabel() const { return searchLabel_; }

    // The subject, sender and date boxes that save-as puts in its header.
    void setHeaderBoxes(QLineEdit *subject, QLineEdit *sender, QLineEdit *date);

    // The editor text with LF line breaks, and replacing it.
    QString text() const;
    void setText(const QString &text);

    // The window's load step: the current file into the editor, `modified`
    // back to 0. Nothing to do (and true) without a current file.
    bool loadCurrentFile(QString *error = nullptr);

    int lastFoundPosition() const { return search_.lastFoundPosition(); }
    // Forgets the last hit, as when the window is loaded again.
    void resetSearch() { search_.reset(); }

    // The search box's hint.
    static const QString SearchHint;
    // The filter of the open and save dialogs.
    static const QString FileFilter;

public slots:
    void newDocument();
    bool saveToCurrentFile();
    void openTextFile();
    void saveAsWithHeader();
    void printEditorText();
    void cutSelection();
    void copySelection();
    void pasteClipboard();
    void selectAll();
    void jumpToStart();
    void jumpToEnd();
    void findFirst();
    void findNext();
    void toggleFontStyle(FontStyle style);
    // A toolbar button, by its key.
    void toolbarClicked(const QString &key);

signals:
    // The hint box should show `text` / hide.
    void hintRequested(const QString &text);
    void hintDismissed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenus();
    void buildToolBar();
    void selectRange(int start, int length);
    // Tells that `path` could not be saved, and why.
    void reportUnsaved(const QString &path, const QString &reason);

    QMainWindow *window_;
    QTextEdit *editor_;
    QToolBar *toolBar_;
    QLabel *searchLabel_;
    QLineEdit *searchBox_;
    QLineEdit *subjectBox_ = nullptr;
    QLineEdit *senderBox_ = nullptr;
    QLineEdit *dateBox_ = nullptr;
    TextSearch search_;
};

}  // namespace korvane::texttools
