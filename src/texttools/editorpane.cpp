#include "editorpane.h"

#include "editorstate.h"
#include "textfiles.h"

#include "common/desktopservices.h"
#include "common/dialogs.h"
#include "common/paths.h"
#include "common/text.h"
#include "common/ui.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QTextCursor>
#include <QTextEdit>
#include <QToolBar>

namespace korvane::texttools {
namespace {

const QString OpenSaveTitle = QStringLiteral("ファイルを開く");

// The toolbar's small pictures: one character drawn in a 16 x 16 square.
QIcon glyphIcon(const QString &glyph, bool bold = false, bool italic = false, bool underline = false)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font = designFont(QStringLiteral("ＭＳ Ｐゴシック"), 9, bold);
    font.setPixelSize(13);
    font.setItalic(italic);
    font.setUnderline(underline);
    painter.setFont(font);
    painter.setPen(QColor(0, 0, 128));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, glyph);
    return QIcon(pixmap);
}

// A toolbar picture: the desktop's icon theme where it has one, else our own
// picture from the program's "\pictures\" folder (with its @2x twin for
// high-density screens), else the drawn character.
QIcon toolIcon(const char *themeName, const char *picture, const QIcon &glyph)
{
    const QString path =
        paths::resolve(QStringLiteral("\\pictures\\tool_") + QLatin1String(picture) + QStringLiteral(".png"));
    const QIcon own = QFileInfo::exists(path) ? QIcon(path) : glyph;
    return QIcon::fromTheme(QLatin1String(themeName), own);
}

QString selectedPlainText(const QTextCursor &cursor)
{
    QString s = cursor.selectedText();
    s.replace(QChar::ParagraphSeparator, u'\n');
    s.replace(QChar::LineSeparator, u'\n');
    return s;
}

void putOnClipboard(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

}  // namespace

const QString EditorPane::SearchHint = QStringLiteral(
    "検索したい文字を入力し、メニューバーから「検索」「次を検索」を選択し、検索したい文字を本文中(body)から検索します。");
const QString EditorPane::FileFilter = QStringLiteral("txtファイル (*.txt *.ini)");

EditorPane::EditorPane(QMainWindow *window, QWidget *client) : QObject(window), window_(window)
{
    editor_ = new QTextEdit(client);
    editor_->setObjectName(QStringLiteral("rtfEd"));
    editor_->setAcceptRichText(false);
    // The mail's own font, as its header boxes have; at the size the system
    // gives text boxes.
    editor_->setFont(designFont(QStringLiteral("ＭＳ Ｐゴシック"), editor_->font().pointSizeF()));
    editor_->installEventFilter(this);
    editor_->viewport()->installEventFilter(this);
    connect(editor_, &QTextEdit::textChanged, this, [] { editorState().modified = -1; });

    toolBar_ = new QToolBar(client);
    toolBar_->setObjectName(QStringLiteral("tbToolBar"));
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setIconSize(QSize(16, 16));

    searchLabel_ = new QLabel(QStringLiteral("検索文字"), client);
    searchLabel_->setObjectName(QStringLiteral("Label2"));
    searchBox_ = new QLineEdit(client);
    searchBox_->setObjectName(QStringLiteral("Text1"));
    searchBox_->installEventFilter(this);

    buildMenus();
    buildToolBar();
}

void EditorPane::buildMenus()
{
    QMenuBar *bar = window_->menuBar();
    auto item = [this](QMenu *menu, const char *name, const QString &caption, auto slot) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto line = [](QMenu *menu, const char *name) { menu->addSeparator()->setObjectName(QString::fromLatin1(name)); };

    QMenu *file = bar->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("mFile"));
    item(file, "mnew", QStringLiteral("新規作成"), &EditorPane::newDocument);
    item(file, "mopen", QStringLiteral("開く"), &EditorPane::openTextFile);
    item(file, "msave", QStringLiteral("名前を付けて保存"), &EditorPane::saveAsWithHeader);
    item(file, "mprint", QStringLiteral("印刷"), &EditorPane::printEditorText);
    line(file, "mline");
    QAction *end = file->addAction(QStringLiteral("終了"));
    end->setObjectName(QStringLiteral("mend"));
    connect(end, &QAction::triggered, window_, &QWidget::close);

    QMenu *edit = bar->addMenu(QStringLiteral("編集(&E)"));
    edit->setObjectName(QStringLiteral("medit"));
    item(edit, "mall", QStringLiteral("全て選択"), &EditorPane::selectAll);
    item(edit, "matamajump", QStringLiteral("文頭へジャンプ"), &EditorPane::jumpToStart);
    item(edit, "mbunmatujump", QStringLiteral("文末へジャンプ"), &EditorPane::jumpToEnd);
    line(edit, "mline3");
    item(edit, "mkensaku", QStringLiteral("検索"), &EditorPane::findFirst);
    item(edit, "mtugikensaku", QStringLiteral("次を検索"), &EditorPane::findNext);
    line(edit, "mline2");
    item(edit, "mcut", QStringLiteral("切り取り"), &EditorPane::cutSelection);
    item(edit, "mcopy", QStringLiteral("コピー"), &EditorPane::copySelection);
    item(edit, "mpaste", QStringLiteral("貼付け"), &EditorPane::pasteClipboard);
}

void EditorPane::buildToolBar()
{
    struct Button {
        const char *key;
        QString tip;
        QIcon icon;
    };
    auto add = [this](const Button &b) {
        QAction *a = toolBar_->addAction(b.icon, b.tip);
        a->setObjectName(QString::fromLatin1(b.key));
        a->setToolTip(b.tip);
        a->setData(QString::fromLatin1(b.key));
    };
    add({"New", QStringLiteral("新規作成"), toolIcon("document-new", "new", glyphIcon(QStringLiteral("新")))});
    add({"Open", QStringLiteral("開く"), toolIcon("document-open", "open", glyphIcon(QStringLiteral("開")))});
    add({"Save", QStringLiteral("名前を付けて保存"),
         toolIcon("document-save-as", "save", glyphIcon(QStringLiteral("保")))});
    add({"Print", QStringLiteral("印刷"), toolIcon("document-print", "print", glyphIcon(QStringLiteral("印")))});
    toolBar_->addSeparator();
    add({"Cut", QStringLiteral("切り取り"), toolIcon("edit-cut", "cut", glyphIcon(QStringLiteral("切")))});
    add({"Copy", QStringLiteral("ｺﾋﾟｰ"), toolIcon("edit-copy", "copy", glyphIcon(QStringLiteral("写")))});
    add({"Paste", QStringLiteral("貼り付け"), toolIcon("edit-paste", "paste", glyphIcon(QStringLiteral("貼")))});
    toolBar_->addSeparator();
    add({"Bold", QStringLiteral("太字"), toolIcon("format-text-bold", "bold", glyphIcon(QStringLiteral("B"), true))});
    add({"Italic", QStringLiteral("斜体"),
         toolIcon("format-text-italic", "italic", glyphIcon(QStringLiteral("I"), false, true))});
    add({"Underline", QStringLiteral("下線"),
         toolIcon("format-text-underline", "underline", glyphIcon(QStringLiteral("U"), false, false, true))});
    connect(toolBar_, &QToolBar::actionTriggered, this,
            [this](QAction *a) { toolbarClicked(a->data().toString()); });
}

void EditorPane::setHeaderBoxes(QLineEdit *subject, QLineEdit *sender, QLineEdit *date)
{
    subjectBox_ = subject;
    senderBox_ = sender;
    dateBox_ = date;
}

QString EditorPane::text() const
{
    return editor_->toPlainText();
}

void EditorPane::setText(const QString &text)
{
    editor_->setPlainText(toLf(text));
}

bool EditorPane::loadCurrentFile(QString *error)
{
    EditorState &state = editorState();
    if (state.currentFilePath.isEmpty())
        return true;
    std::optional<QString> text = readTextFileLines(state.currentFilePath, error);
    if (!text)
        return false;
    setText(*text);
    state.modified = 0;
    return true;
}

void EditorPane::toolbarClicked(const QString &key)
{
    if (key == QLatin1String("New"))
        newDocument();
    else if (key == QLatin1String("Open"))
        openTextFile();
    else if (key == QLatin1String("Save") || key == QLatin1String("SaveAs"))
        saveAsWithHeader();
    else if (key == QLatin1String("Print"))
        printEditorText();
    else if (key == QLatin1String("Cut"))
        cutSelection();
    else if (key == QLatin1String("Copy"))
        copySelection();
    else if (key == QLatin1String("Paste"))
        pasteClipboard();
    else if (key == QLatin1String("Bold"))
        toggleFontStyle(FontStyle::Bold);
    else if (key == QLatin1String("Italic"))
        toggleFontStyle(FontStyle::Italic);
    else if (key == QLatin1String("Underline"))
        toggleFontStyle(FontStyle::Underline);
}

void EditorPane::newDocument()
{
    EditorState &state = editorState();
    if (isNewDocumentPath(state.currentFilePath))
        return;
    // Edits of a text that has no file yet are dropped; edits that could not
    // be saved into their file stay in the editor (the reason is told).
    if (state.modified == -1 && !state.currentFilePath.isEmpty() && !saveToCurrentFile())
        return;
    editor_->clear();
    state.currentFilePath = newDocumentPath(state.currentFilePath);
    saveToCurrentFile();
    state.modified = 0;
    window_->setWindowTitle(NewDocumentName + QStringLiteral("      ") + state.currentFilePath);
}

void EditorPane::reportUnsaved(const QString &path, const QString &reason)
{
    dialogs().notice(window_,
                     QStringLiteral("「%1」を保存できませんでした。元のファイルはそのまま残っています。\n%2")
                         .arg(QDir::toNativeSeparators(path), reason),
                     ProgramTitle, Dialogs::Icon::Exclamation);
}

bool EditorPane::saveToCurrentFile()
{
    EditorState &state = editorState();
    QString error;
    if (!writeTextFile(state.currentFilePath, text(), &error)) {
        reportUnsaved(state.currentFilePath, error);
        return false;
    }
    state.modified = 0;
    return true;
}

void EditorPane::openTextFile()
{
    QString path = dialogs().openFile(window_, OpenSaveTitle, QString(), FileFilter);
    if (path.isEmpty())
        return;
    window_->setWindowTitle(path);
    std::optional<QString> content = readTextFileLines(path);
    if (!content)
        return;
    setText(*content);
}

void EditorPane::saveAsWithHeader()
{
    auto boxText = [](QLineEdit *box) { return box ? box->text() : QString(); };
    setText(withMailHeader(boxText(subjectBox_), boxText(senderBox_), boxText(dateBox_), text()));
    QString path = dialogs().saveFile(window_, OpenSaveTitle, QString(), FileFilter);
    if (path.isEmpty())
        return;
    window_->setWindowTitle(path);
    QString error;
    if (!writeTextFile(path, text() + QStringLiteral("\r\n"), &error))
        reportUnsaved(path, error);
}

void EditorPane::printEditorText()
{
    QTextCursor cursor = editor_->textCursor();
    const bool selection = cursor.hasSelection();
    const QString content = selection ? selectedPlainText(cursor) : text();
    QString error;
    desktop::Services *services = desktop::services(&error);
    if (!services) {
        dialogs().notice(window_,
                         QStringLiteral("印刷に使う部品を読み込めないため、印刷できません。\n%1").arg(error),
                         ProgramTitle, Dialogs::Icon::Exclamation);
        return;
    }
    services->printText(content, editor_->font(), selection,
                        [this](QPrinter *printer) { return dialogs().print(window_, printer); });
}

void EditorPane::cutSelection()
{
    QTextCursor cursor = editor_->textCursor();
    putOnClipboard(selectedPlainText(cursor));
    cursor.removeSelectedText();
    editor_->setTextCursor(cursor);
    editor_->setFocus();
}

void EditorPane::copySelection()
{
    QTextCursor cursor = editor_->textCursor();
    const int end = cursor.hasSelection() ? cursor.selectionEnd() : 0;
    putOnClipboard(selectedPlainText(cursor));
    cursor.setPosition(end);
    editor_->setTextCursor(cursor);
    editor_->setFocus();
}

void EditorPane::pasteClipboard()
{
    editor_->setFocus();
    QTextCursor cursor = editor_->textCursor();
    cursor.insertText(toLf(trimAsciiSpaces(QGuiApplication::clipboard()->text())));
    editor_->setTextCursor(cursor);
    editor_->setFocus();
}

void EditorPane::selectAll()
{
    selectRange(0, int(text().size()));
}

void EditorPane::jumpToStart()
{
    selectRange(0, 0);
}

void EditorPane::jumpToEnd()
{
    selectRange(int(text().size()), 0);
}

void EditorPane::selectRange(int start, int length)
{
    QTextCursor cursor = editor_->textCursor();
    cursor.setPosition(start);
    if (length > 0)
        cursor.setPosition(start + length, QTextCursor::KeepAnchor);
    editor_->setTextCursor(cursor);
    editor_->setFocus();
}

void EditorPane::findFirst()
{
    const QString needle = searchBox_->text();
    int at = search_.findFirst(text(), needle);
    if (at > 0)
        selectRange(at - 1, int(needle.size()));
}

void EditorPane::findNext()
{
    const QString needle = searchBox_->text();
    int at = search_.findNext(text(), needle);
    if (at > 0)
        selectRange(at - 1, int(needle.size()));
}

void EditorPane::toggleFontStyle(FontStyle style)
{
    EditorState &state = editorState();
    QFont font = editor_->font();
    switch (style) {
    case FontStyle::Bold: font.setBold(toggleStyleCounter(state.boldCount)); break;
    case FontStyle::Italic: font.setItalic(toggleStyleCounter(state.italicCount)); break;
    case FontStyle::Underline: font.setUnderline(toggleStyleCounter(state.underlineCount)); break;
    }
    editor_->setFont(font);
}

bool EditorPane::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Enter) {
        if (watched == searchBox_)
            emit hintRequested(SearchHint);
        else if (watched == editor_ || watched == editor_->viewport())
            emit hintDismissed();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace korvane::texttools
