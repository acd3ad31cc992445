#include "friendform.h"

#include "addressbook.h"
#include "common/addressfield.h"
#include "common/cp932.h"
#include "common/dialogs.h"
#include "common/text.h"
#include "common/ui.h"
#include "common/windows.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QTreeWidget>

namespace korvane::addressbook {
namespace {

const QString Selected = QStringLiteral("　選択しました。");
const QString Registered = QStringLiteral("　登録が完了しました。");
const QString Deleted = QStringLiteral("削除が完了しました");
const QString NothingSelected = QStringLiteral("データが選択されていません");
const QString ConfirmDelete = QStringLiteral("選択された（行、青色）データを削除します。よろしいですか");
const QString NoAddress = QStringLiteral("メールアドレスが入力されていません");
const QString NoCard = QStringLiteral("名詞が入力されていません");

// Shows a field without the blanks that fill it to the record's width, so
// that a field too long for its column ends in "…" and a short one never does.
class FieldDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant &value, const QLocale &locale) const override
    {
        return trimAsciiSpaces(QStyledItemDelegate::displayText(value, locale));
    }
};

}  // namespace

QString FriendForm::hintFor(const QString &button)
{
    if (button == u"Command1")
        return QStringLiteral("コピーして来たメールアドレスを貼り付けます。");
    if (button == u"Command3")
        return QStringLiteral("登録を行います。これにより新規作成でのメールアドレスの一発入力が可能になります。");
    if (button == u"Command4")
        return QStringLiteral("不要になったメールアドレスを削除します。");
    if (button == u"Command38")
        return QStringLiteral("名刺を挿入します。例えばメールアドレス「hanako.shikoku@example.jp」に"
                              "名刺「四国花子」を挿入すると「四国花子<hanako.shikoku@example.jp>」となり、"
                              "受け取った相手には宛先がこの形で表示されます。"
                              "\r\n\r\n"
                              "必要なければ挿入する必要はありません。");
    return QString();
}

FriendForm::FriendForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FriendForm"));
    setWindowTitle(QStringLiteral("アドレス帳"));
    setAttribute(Qt::WA_DeleteOnClose);  // closing unloads it; the next opening starts afresh
    setFont(designFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    setFixedSize(twips(7800), twips(6600));
    setMouseTracking(true);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("MailListView"));
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setAllColumnsShowFocus(true);
    list_->setItemDelegate(new FieldDelegate(list_));
    list_->setTextElideMode(Qt::ElideRight);
    placeTwips(list_, 120, 120, 7560, 2760);

    designLabel(this, QStringLiteral("Label1"), QStringLiteral("名前"), 120, 3045, 1260, 255);
    nameText_ = designControl<QLineEdit>(this, QStringLiteral("Text2"), 1440, 3000, 3000, 315);
    designLabel(this, QStringLiteral("Label2"), QStringLiteral("メールアドレス"), 120, 3465, 1260, 255);
    addressText_ = designControl<QLineEdit>(this, QStringLiteral("Text4"), 1440, 3420, 4440, 315);
    designLabel(this, QStringLiteral("Label5"), QStringLiteral("名刺"), 120, 3885, 1260, 255);
    cardText_ = designControl<QLineEdit>(this, QStringLiteral("Text50"), 1440, 3840, 3000, 315);
    designLabel(this, QStringLiteral("Label6"), QStringLiteral("登録件数"), 4680, 3045, 960, 255);
    countText_ = designControl<QLineEdit>(this, QStringLiteral("Text3"), 5700, 3000, 900, 315);
    // It shows how many rows the book holds; typing there changes nothing.
    countText_->setReadOnly(true);

    auto button = [this](const QString &name, const QString &text, int l, int t, int w, int h) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        placeTwips(b, l, t, w, h);
        b->installEventFilter(this);
        return b;
    };
    QPushButton *paste = button(QStringLiteral("Command1"), QStringLiteral("貼付"), 6000, 3420, 900, 315);
    QPushButton *card = button(QStringLiteral("Command38"), QStringLiteral("名刺挿入"), 4560, 3840, 1320, 315);
    QPushButton *add = button(QStringLiteral("Command3"), QStringLiteral("登録"), 1440, 4320, 1320, 420);
    QPushButton *remove = button(QStringLiteral("Command4"), QStringLiteral("削除"), 2880, 4320, 1320, 420);
    QPushButton *refresh = button(QStringLiteral("Command2"), QStringLiteral("Command2"), 6480, 4320, 1200, 420);
    designLabel(this, QStringLiteral("Label3"), QStringLiteral("※重要削除するな！！"), 4440, 4410, 2000, 255);

    auto *note = designLabel(this, QStringLiteral("Label4"),
                           QStringLiteral("名刺は新規作成で宛先、１発挿入した際の確認用として使用します。"),
                           120, 4920, 7560, 255);
    note->setWordWrap(true);
    status_ = designLabel(this, QStringLiteral("Label7"), QString(), 120, 5280, 7560, 255);

    hint_ = new QPlainTextEdit(this);
    hint_->setObjectName(QStringLiteral("Text5"));
    hint_->setReadOnly(true);
    placeTwips(hint_, 120, 5640, 7560, 840);
    hint_->hide();

    // Tab in reading order, each row left to right; the hint box only
    // follows the mouse and is passed by.
    hint_->setFocusPolicy(Qt::NoFocus);
    setTabChain({list_, nameText_, countText_, addressText_, paste, cardText_, card, add, remove, refresh});

    connect(list_, &QTreeWidget::itemPressed, this, &FriendForm::selectAddressRow);
    connect(add, &QPushButton::clicked, this, &FriendForm::addAddress);
    connect(remove, &QPushButton::clicked, this, &FriendForm::deleteAddress);
    connect(card, &QPushButton::clicked, this, &FriendForm::insertNameCard);
    connect(paste, &QPushButton::clicked, this, &FriendForm::pasteAddress);
    connect(refresh, &QPushButton::clicked, this, &FriendForm::refreshAddressBook);

    // Load: the columns, then the book.
    list_->setHeaderLabels({QStringLiteral("Address"), QStringLiteral("Name")});
    list_->setColumnWidth(0, list_->width() / 2);
    list_->setColumnWidth(1, list_->width() / 3);
    countText_->setText(QStringLiteral("0"));
    status_->clear();
    refreshAddressBook();
}

void FriendForm::refreshAddressBook()
{
    list_->clear();
    const QList<AddressRecord> records = readAll(Source::Book);
    QList<QTreeWidgetItem *> rows;
    rows.reserve(records.size());
    for (const AddressRecord &r : records) {
        rows.append(new QTreeWidgetItem(QStringList{trimAtNul(r.address), trimAtNul(r.name)}));
        for (int c = 0; c < 2; ++c)  // a column too narrow cuts its text: the tooltip shows it whole
            rows.last()->setToolTip(c, trimAsciiSpaces(rows.last()->text(c)));
    }
    list_->addTopLevelItems(rows);
    countText_->setText(QString::number(list_->topLevelItemCount()));
}

int FriendForm::selectedRow() const
{
    const QList<QTreeWidgetItem *> items = list_->selectedItems();
    if (items.isEmpty())
        return 0;
    return list_->indexOfTopLevelItem(items.first()) + 1;
}

int FriendForm::showSelectedRecord()
{
    const int n = selectedRow();
    if (n < 1)
        return 0;
    std::optional<AddressRecord> record = readRecord(n, Source::Book);
    if (!record)
        return 0;
    nameText_->setText(trimAsciiSpaces(record->name));
    addressText_->setText(trimAsciiSpaces(record->address));
    status_->setText(Selected);
    return n;
}

void FriendForm::selectAddressRow()
{
    showSelectedRecord();
}

void FriendForm::addAddress()
{
    // The address field is 90 bytes wide: a name card that does not fit loses
    // letters of its name, never of its address; an address that does not fit
    // by itself is not stored at all.
    QString address = addressText_->text();
    AddressFit fit = AddressFit::Whole;
    if (!address.trimmed().isEmpty()) {
        const FittedAddress fitted = fitAddressField(address, AddressWidth);
        if (fitted.fit == AddressFit::TooLong) {
            dialogs().notice(this, QStringLiteral("登録できませんでした。\r\n%1").arg(addressTooLongMessage(address, AddressWidth)),
                             ProgramTitle, Dialogs::Icon::Exclamation);
            return;
        }
        fit = fitted.fit;
        // What fits is stored as typed, blanks and all.
        if (fit != AddressFit::Whole || cp932::encode(address).size() > AddressWidth)
            address = fitted.text;
    }
    QString error;
    if (addRecord(nameText_->text(), address, &error) == 0) {
        dialogs().notice(this, QStringLiteral("登録できませんでした。\r\n%1").arg(error), ProgramTitle,
                         Dialogs::Icon::Exclamation);
    } else {
        status_->setText(Registered);
        if (fit != AddressFit::Whole) {
            addressText_->setText(address);
            dialogs().notice(this,
                             QStringLiteral("名刺が長すぎるため、メールアドレスを「%1」として登録しました。").arg(address),
                             ProgramTitle, Dialogs::Icon::Information);
        }
    }
    refreshAddressBook();
}

void FriendForm::deleteAddress()
{
    if (addressText_->text().isEmpty()) {
        dialogs().notice(this, NothingSelected);
        return;
    }
    const int n = showSelectedRecord();
    if (n < 1) {
        // An address typed by hand with no row selected: nothing to delete.
        dialogs().notice(this, NothingSelected);
        return;
    }
    status_->setText(QStringLiteral(" "));
    const bool yes = dialogs().question(this, ConfirmDelete, QuestionTitle, Dialogs::Icon::Question);
    // Either way the book is rewritten keeping only live records; on Yes the
    // chosen one goes with the records already marked deleted.
    QString error;
    if (removeRecord(yes ? n : 0, &error)) {
        if (yes)
            status_->setText(Deleted);
    } else {
        dialogs().notice(this, QStringLiteral("削除できませんでした。\r\n%1").arg(error), ProgramTitle,
                         Dialogs::Icon::Exclamation);
    }
    refreshAddressBook();
}

void FriendForm::insertNameCard()
{
    if (addressText_->text().isEmpty()) {
        dialogs().notice(this, NoAddress);
        return;
    }
    if (cardText_->text().isEmpty()) {
        dialogs().notice(this, NoCard);
        return;
    }
    addressText_->setText(cardText_->text() + u'<' + trimAsciiSpaces(addressText_->text()) + u'>');
}

void FriendForm::pasteAddress()
{
    addressText_->setText(QGuiApplication::clipboard()->text());
}

void FriendForm::showHint(const QString &button)
{
    QString text = hintFor(button);
    if (text.isEmpty()) {
        hint_->hide();
        return;
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    hint_->setPlainText(text);
    // The box grows upwards over the notes below the buttons until the whole
    // hint shows: it is read while the mouse rests on a button, so it cannot
    // be scrolled.
    const int bottom = twips(5640 + 840);
    const int margin = int(hint_->document()->documentMargin());
    const int frame = hint_->frameWidth();
    const int textWidth = hint_->width() - 2 * frame - 2 * margin - 4;
    const int need = QFontMetrics(hint_->font()).boundingRect(QRect(0, 0, textWidth, 10000), Qt::TextWordWrap, text).height()
                     + 2 * margin + 2 * frame + 4;
    const int height = std::min(bottom - twips(3000), std::max(twips(840), need));
    hint_->setGeometry(hint_->x(), bottom - height, hint_->width(), height);
    hint_->raise();
    hint_->show();
}

bool FriendForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Enter && qobject_cast<QPushButton *>(watched))
        showHint(watched->objectName());
    return QWidget::eventFilter(watched, event);
}

void FriendForm::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    // Closing unloads the window; the registry forgets it at once so the next
    // request loads a fresh one.
    if (event->isAccepted() && Windows::loaded(objectName()) == this)
        Windows::forget(objectName());
}

void FriendForm::mouseMoveEvent(QMouseEvent *event)
{
    hint_->hide();
    QWidget::mouseMoveEvent(event);
}

}  // namespace korvane::addressbook
