#include "kaoform.h"

#include "palettepages.h"

#include "common/dialogs.h"
#include "common/text.h"
#include "common/ui.h"
#include "common/windows.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QVBoxLayout>

namespace korvane::palette {
namespace {

const QString PageHint = QStringLiteral("本文に挿入したい部分をマウスで選択（青色反転）し、「新規作成本文に挿入」をクリック！");
const QString EditNote = QStringLiteral(
    "追加・削除、編集自由自在。自動で保存されます。県名や電話番号、氏名をあなた用に変更して下さい。");

void insertAtCaret(QWidget *target, const QString &text)
{
    if (auto *plain = qobject_cast<QPlainTextEdit *>(target)) {
        QTextCursor c = plain->textCursor();
        c.insertText(text);
        plain->setTextCursor(c);
    } else if (auto *rich = qobject_cast<QTextEdit *>(target)) {
        QTextCursor c = rich->textCursor();
        c.insertText(text);
        rich->setTextCursor(c);
    }
}

}  // namespace

KaoForm::KaoForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("KaoForm"));
    setWindowTitle(QStringLiteral("絵・顔文字"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(twips(9600), twips(8400));

    auto *layout = new QVBoxLayout(this);

    // The tabs stand in rows of three above the pages.
    auto *tabRows = new QGridLayout;
    tabRows->setSpacing(1);
    tabButtons_ = new QButtonGroup(this);
    tabButtons_->setExclusive(true);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("SSTab1"));
    tabs_->tabBar()->hide();

    const QFont boxFont = designFont(QStringLiteral("ＭＳ Ｐゴシック"), 10.5);
    const QFont pictureFont = designFont(QStringLiteral("ＭＳ ゴシック"), 10.5);
    for (int i = 0; i < PageCount; ++i) {
        const PalettePage &p = pages()[i];
        const QString caption = QString::fromUtf16(p.caption);

        auto *tabButton = new QPushButton(caption, this);
        tabButton->setCheckable(true);
        tabButton->setFocusPolicy(Qt::TabFocus);
        tabButtons_->addButton(tabButton, i);
        tabRows->addWidget(tabButton, i / 3, i % 3);

        auto *page = new QWidget;
        auto *pageLayout = new QVBoxLayout(page);
        auto *box = new QPlainTextEdit(page);
        box->setObjectName(QString::fromLatin1(p.box));
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        box->setFont(isPicturePage(i) ? pictureFont : boxFont);
        pageLayout->addWidget(box, 1);

        auto *hint = new QLabel(PageHint, page);
        if (i == 0) {
            hint->setObjectName(QStringLiteral("Label1"));
        } else {
            hint->setObjectName(QStringLiteral("Label3"));
            hint->setProperty("index", i - 1);
        }
        hint->setWordWrap(true);
        pageLayout->addWidget(hint);

        auto *buttons = new QHBoxLayout;
        auto *insert = new QPushButton(QStringLiteral("新規作成本文に挿入"), page);
        insert->setObjectName(QString::fromLatin1(p.insertButton));
        auto *paste = new QPushButton(QStringLiteral("追加（貼付）"), page);
        paste->setObjectName(QString::fromLatin1(p.pasteButton));
        buttons->addWidget(insert);
        buttons->addWidget(paste);
        connect(insert, &QPushButton::clicked, this, [this, i] { insertIntoCompose(i); });
        connect(paste, &QPushButton::clicked, this, [this, i] { pasteIntoPage(i); });
        if (p.favouriteButton) {
            auto *favourite = new QPushButton(QStringLiteral("お気に入りに追加"), page);
            favourite->setObjectName(QString::fromLatin1(p.favouriteButton));
            buttons->addWidget(favourite);
            connect(favourite, &QPushButton::clicked, this, [this, i] { addToFavourites(i); });
        }
        buttons->addStretch(1);
        pageLayout->addLayout(buttons);

        tabs_->addTab(page, caption);
        boxes_[i] = box;
    }
    connect(tabButtons_, &QButtonGroup::idClicked, tabs_, &QTabWidget::setCurrentIndex);
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int i) {
        if (QAbstractButton *b = tabButtons_->button(i))
            b->setChecked(true);
    });

    layout->addLayout(tabRows);
    layout->addWidget(tabs_, 1);

    auto *note = new QLabel(EditNote, this);
    note->setObjectName(QStringLiteral("Label4"));
    note->setWordWrap(true);
    layout->addWidget(note);

    auto *credits = new QGridLayout;
    auto addCredit = [&](int row, const char *titleName, const QString &title, const char *addressName,
                         const QString &address) {
        auto *t = new QLabel(title, this);
        t->setObjectName(QString::fromLatin1(titleName));
        auto *a = new QLabel(address, this);
        a->setObjectName(QString::fromLatin1(addressName));
        credits->addWidget(t, row, 0);
        credits->addWidget(a, row, 1);
    };
    addCredit(0, "Label6", QStringLiteral("文字署名"), "Label5", QStringLiteral("http://moji-shomei.example.jp/"));
    addCredit(1, "Label7", QStringLiteral("(^-^)なページ"), "Label8", QStringLiteral("http://kaomoji.example.jp/"));
    credits->setColumnStretch(1, 1);
    layout->addLayout(credits);

    // Every page from its file; a page that cannot be read starts empty.
    for (int i = 0; i < PageCount; ++i) {
        boxes_[i]->setPlainText(loadPageText(i));
        loaded_[i] = boxes_[i]->toPlainText();
    }
    tabs_->setCurrentIndex(FirstShownPage);
    tabButtons_->button(FirstShownPage)->setChecked(true);

    // Tab in reading order: the page buttons row by row, then the shown
    // page's box and its buttons left to right. The page buttons stand for
    // the hidden tabs, so the tab widget itself takes no focus.
    tabs_->setFocusPolicy(Qt::NoFocus);
    QList<QWidget *> order;
    for (QAbstractButton *b : tabButtons_->buttons())
        order << b;
    for (int i = 0; i < PageCount; ++i) {
        order << boxes_[i];
        for (QPushButton *b : tabs_->widget(i)->findChildren<QPushButton *>(Qt::FindDirectChildrenOnly))
            order << b;
    }
    setTabChain(order);
}

bool KaoForm::savePages()
{
    QStringList failures;
    for (int i = 0; i < PageCount; ++i) {
        const QString text = boxes_[i]->toPlainText();
        // An unchanged page keeps its file byte for byte.
        if (text == loaded_[i])
            continue;
        QString error;
        if (savePageText(i, text, &error))
            loaded_[i] = text;
        else
            failures << QStringLiteral("「%1」：%2").arg(QString::fromUtf16(pages()[i].caption), error);
    }
    if (failures.isEmpty())
        return true;
    dialogs().notice(this, QStringLiteral("次のページを保存できませんでした。") + QStringLiteral("\r\n") +
                               failures.join(QStringLiteral("\r\n")),
                     ProgramTitle, Dialogs::Icon::Exclamation);
    return false;
}

void KaoForm::closeEvent(QCloseEvent *event)
{
    savePages();
    event->accept();
}

void KaoForm::handOverSelection(QPlainTextEdit *source, QWidget *target)
{
    QTextCursor c = source->textCursor();
    const QString selected = c.hasSelection() ? c.selection().toPlainText() : QString();
    const int end = c.hasSelection() ? c.selectionEnd() : 0;
    QApplication::clipboard()->setText(selected);
    c.clearSelection();
    c.setPosition(end);
    source->setTextCursor(c);
    source->setFocus();
    if (target)
        insertAtCaret(target, trimAsciiSpaces(selected));
}

void KaoForm::insertIntoCompose(int page)
{
    QWidget *compose = Windows::loaded(QStringLiteral("WriteForm"));
    QWidget *body = compose ? compose->findChild<QWidget *>(QStringLiteral("BodyText")) : nullptr;
    handOverSelection(boxes_[page], body);
    close();
}

void KaoForm::addToFavourites(int page)
{
    handOverSelection(boxes_[page], boxes_[FavouritesPage]);
    boxes_[page]->setFocus();
}

void KaoForm::pasteIntoPage(int page)
{
    const QString text = trimAsciiSpaces(QApplication::clipboard()->text());
    QTextCursor c = boxes_[page]->textCursor();
    c.insertText(text);
    boxes_[page]->setTextCursor(c);
}

}  // namespace korvane::palette
