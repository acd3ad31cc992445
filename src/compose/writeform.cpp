#include "writeform.h"

#include "composesupport.h"
#include "fortune.h"

#include "addressbook/addressbook.h"
#include "common/dialogs.h"
#include "common/text.h"
#include "common/ui.h"
#include "common/windows.h"
#include "mail/mailhistory.h"
#include "settings/settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDateTime>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <limits>

namespace korvane::compose {
namespace {

const QColor BulkColour(0, 128, 0);      // colour 2 of the classic palette
const QColor NormalColour(255, 255, 255);  // colour 15

QString paletteHint()
{
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("顔・絵文字の本文への挿入を行います。") + crlf + crlf +
           QStringLiteral("使用方法：使用したい顔・絵文字をマウスで選択状態（青色反転）にし、「新規作成本文に挿入」ボタンを。") +
           QStringLiteral("クリックしますと、本分中に挿入されます。") + crlf + crlf +
           QStringLiteral("素材の県名や氏名、電話番号はあなた用に変更してご使用下さい。画面を終了させると自動的に保存されます。") +
           crlf + QStringLiteral("上手な使用方法：素材が豊富ですので、お気に入りに追加しておいた方が良いでしょう。") + crlf +
           QStringLiteral("お気に入りに追加（注意:IEではありません）する場合も、マウスで選択状態にし、顔・絵文字画面での「お気に入りに追加」ボタンをクリックして下さい。");
}

QLabel *caption(QWidget *parent, const QString &text, int left, int top, int width, int height = 255)
{
    auto *l = new QLabel(text, parent);
    placeTwips(l, left, top, width, height);
    return l;
}

QPushButton *button(QWidget *parent, const char *name, const QString &text, int left, int top, int width,
                    int height = 360)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    placeTwips(b, left, top, width, height);
    b->setProperty("hint", QString());
    return b;
}

QLineEdit *lineBox(QWidget *parent, const char *name, int left, int top, int width, int height = 300)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    placeTwips(e, left, top, width, height);
    return e;
}

}  // namespace

void AddressList::mousePressEvent(QMouseEvent *event)
{
    QListWidget::mousePressEvent(event);
    emit pressedAfterSelection();
}

const QStringList &WriteForm::greetings()
{
    static const QStringList list{
        QStringLiteral("御社益々ご清祥の事とお慶び申し上げます。"),
        QStringLiteral("平素のご愛顧誠にありがとうございます。"),
        QStringLiteral("平素は格別のご愛顧を賜り深謝申し上げます。"),
        QStringLiteral("いつもお世話になっております。"),
        QStringLiteral("メールありがとうございました。確かに受け取りました。"),
        QStringLiteral("はじめまして、突然のメールで恐縮です。"),
        QStringLiteral("こんにちわ。はじめてメールいたします。"),
        QStringLiteral("こんにちわ。お変わりなく、お元気ですか？"),
    };
    return list;
}

WriteForm::WriteForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("WriteForm"));
    setWindowTitle(QStringLiteral("新規作成"));
    setAttribute(Qt::WA_DeleteOnClose);
    setMouseTracking(true);
    buildControls();
    load();
}

WriteForm::~WriteForm() = default;

void WriteForm::buildControls()
{
    const QFont font = designFont(QStringLiteral("ＭＳ Ｐゴシック"), 9);
    setFont(font);

    caption(this, QStringLiteral("宛先"), 120, 150, 600);
    toText_ = lineBox(this, "ToText", 720, 120, 3900);
    caption(this, QStringLiteral("件名"), 120, 540, 600);
    subjectText_ = lineBox(this, "SubjectText", 720, 510, 3900);
    caption(this, QStringLiteral("首記例"), 120, 930, 600);
    combo1_ = new QComboBox(this);
    combo1_->setObjectName(QStringLiteral("Combo1"));
    combo1_->setEditable(true);
    combo1_->setInsertPolicy(QComboBox::NoInsert);
    placeTwips(combo1_, 720, 900, 3900, 315);
    combo1_->installEventFilter(this);
    combo1_->view()->setTextElideMode(Qt::ElideNone);  // the list shows each greeting whole (widened on filling)

    auto *command7 = button(this, "Command7", QStringLiteral("宛先に貼付"), 4700, 100, 1100);
    auto *command5 = button(this, "Command5", QStringLiteral("本文に貼付"), 4700, 490, 1100);
    auto *command8 = button(this, "Command8", QStringLiteral("顔・絵文字"), 4700, 880, 1100);
    auto *command1 = button(this, "Command1", QStringLiteral("送信"), 5880, 100, 1100);
    auto *command3 = button(this, "Command3", QStringLiteral("送信中止"), 5880, 490, 1100);
    auto *command11 = button(this, "Command11", QStringLiteral("クリア"), 5880, 880, 1100);

    attachCommand_ = button(this, "AttachCommand", QStringLiteral("添付File"), 120, 1320, 1000);
    command9_ = button(this, "Command9", QStringLiteral("追加"), 1180, 1320, 800);
    command10_ = button(this, "Command10", QStringLiteral("取り消し"), 2040, 1320, 900);
    attachText_ = lineBox(this, "AttachText", 3000, 1350, 3980);

    auto *command4 = button(this, "Command4", QStringLiteral("アドレス帳"), 120, 1740, 1200);
    auto *command6 = button(this, "Command6", QStringLiteral("元のサイズ"), 1380, 1740, 1200);
    option2_ = new QRadioButton(QStringLiteral("一括送信"), this);
    option2_->setObjectName(QStringLiteral("Option2"));
    placeTwips(option2_, 2700, 1770, 1150, 300);
    option1_ = new QRadioButton(QStringLiteral("取消"), this);
    option1_->setObjectName(QStringLiteral("Option1"));
    placeTwips(option1_, 3880, 1770, 800, 300);
    check1_ = new QCheckBox(QStringLiteral("占い添付"), this);
    check1_->setObjectName(QStringLiteral("Check1"));
    placeTwips(check1_, 4700, 1770, 1200, 300);
    caption(this, QStringLiteral("★　親しい人に占いを添付する　★ （一括送信では使用不可）"), 120, 2130, 6860)
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    label7_ = new QLabel(this);
    label7_->setObjectName(QStringLiteral("Label7"));
    placeTwips(label7_, 120, 2430, 6860, 255);
    label7_->installEventFilter(this);

    list2_ = new QListWidget(this);
    list2_->setObjectName(QStringLiteral("List2"));
    placeTwips(list2_, 120, 2760, 6860, 720);

    bodyText_ = new QPlainTextEdit(this);
    bodyText_->setObjectName(QStringLiteral("BodyText"));
    bodyText_->installEventFilter(this);

    text14_ = new QPlainTextEdit(this);
    text14_->setObjectName(QStringLiteral("Text14"));
    text14_->setReadOnly(true);
    text14_->setFocusPolicy(Qt::NoFocus);
    placeTwips(text14_, 120, 5500, 6860, 2220);
    text14_->hide();

    // The address pane, seen only when the window is widened.
    auto *picture5 = new QWidget(this);
    picture5->setObjectName(QStringLiteral("Picture5"));
    placeTwips(picture5, 7150, 100, 2450, 7900);
    caption(picture5, QStringLiteral("アドレス帳"), 0, 0, 1200);
    caption(picture5, QStringLiteral("件数"), 1300, 0, 500);
    text1_ = lineBox(picture5, "Text1", 1800, 0, 600, 285);
    list1_ = new AddressList(picture5);
    list1_->setObjectName(QStringLiteral("List1"));
    list1_->setAutoFillBackground(true);
    placeTwips(list1_, 0, 360, 2400, 7500);

    // The hidden extension row below the normal height.
    text4_ = lineBox(this, "Text4", 120, 8290, 4900);
    command2_ = button(this, "Command2", QStringLiteral("貼付け"), 5100, 8260, 1000);
    check2_ = new QCheckBox(this);
    check2_->setObjectName(QStringLiteral("Check2"));
    placeTwips(check2_, 6200, 8290, 700, 300);
    text3_ = lineBox(this, "Text3", 120, 8700, 1000);

    attachments_ = std::make_unique<AttachmentControls>(this, attachText_, list2_, attachCommand_, command9_,
                                                        command10_);

    const std::pair<QPushButton *, QString> hints[] = {
        {command1, QStringLiteral("送信します。電話回線が接続されていない場合は、自動的に接続してメールを送信します。")},
        {command3, QStringLiteral("送信を中止します。")},
        {attachCommand_, QStringLiteral("各種ファイルを添付して送信できます。")},
        {command9_, QStringLiteral("添付ファイルを複数送信する際に使用します。確認しやすいように、リストボックスが表示されます。")},
        {command4, QStringLiteral("このフォーム（新規作成）が拡張され、登録したメールアドレスの名称が一覧（リスト）に現れます。送信したい名称をクリックすると、メールアドレスが自動的に入力されます。")},
        {command6, QStringLiteral("アドレス帳を含むサイズから、元のサイズに戻します。")},
        {command7, QStringLiteral("コピーして来た内容を宛先に貼付ます。")},
        {command5, QStringLiteral("本ソフト、他のアプリからのテキスト文書を本文中に貼付けます。")},
        {command11, QStringLiteral("宛先、件名、本文他、設定等が初期状態に戻せます。")},
        {command8, paletteHint()},
    };
    for (const auto &[b, hint] : hints) {
        b->setProperty("hint", hint);
        b->installEventFilter(this);
    }

    connect(attachCommand_, &QPushButton::clicked, this, &WriteForm::addFirstAttachment);
    connect(command9_, &QPushButton::clicked, this, &WriteForm::addFurtherAttachment);
    connect(command10_, &QPushButton::clicked, this, &WriteForm::cancelAttachments);
    connect(command4, &QPushButton::clicked, this, &WriteForm::widenForAddressList);
    connect(command6, &QPushButton::clicked, this, &WriteForm::restoreNormalSize);
    connect(list1_, &AddressList::pressedAfterSelection, this, &WriteForm::pickAddress);
    connect(option2_, &QRadioButton::clicked, this, [this] { setListColour(true); });
    connect(option1_, &QRadioButton::clicked, this, [this] {
        toText_->clear();
        setListColour(false);
    });
    connect(command7, &QPushButton::clicked, this, [this] { toText_->setText(QApplication::clipboard()->text()); });
    connect(command5, &QPushButton::clicked, this, [this] {
        bodyText_->setPlainText(bodyText_->toPlainText() + QApplication::clipboard()->text());
    });
    connect(command11, &QPushButton::clicked, this, &WriteForm::clearCompose);
    connect(command8, &QPushButton::clicked, this, [] { Windows::show(QStringLiteral("KaoForm")); });
    connect(command3, &QPushButton::clicked, this, &QWidget::close);
    connect(command1, &QPushButton::clicked, this, &WriteForm::sendComposedMail);
    connect(command2_, &QPushButton::clicked, this, [this] { text4_->setText(QApplication::clipboard()->text()); });
}

void WriteForm::load()
{
    setSizeTwips(NormalWidth, NormalHeight);
    option2_->setAutoExclusive(false);
    option2_->setChecked(false);
    option2_->setAutoExclusive(true);
    text3_->hide();
    command2_->hide();
    command2_->setEnabled(false);
    command9_->setEnabled(false);
    list2_->hide();
    check1_->setChecked(false);
    check2_->setChecked(false);
    combo1_->addItems(greetings());
    combo1_->view()->setMinimumWidth(combo1_->view()->sizeHintForColumn(0) + 2 * combo1_->view()->frameWidth() + 24);
    combo1_->setCurrentIndex(-1);
    combo1_->setEditText(QString());
    setListColour(false);
    loadAddressList(addressbook::Source::PresetList);
    layoutBody();
}

void WriteForm::setSizeTwips(int width, int height)
{
    widthTwips_ = width;
    heightTwips_ = height;
    setFixedSize(twips(width), twips(height));
}

void WriteForm::layoutBody()
{
    // The body starts below the attachment list while that list is shown.
    const int top = list2_->isVisibleTo(this) ? 3540 : 2760;
    placeTwips(bodyText_, 120, top, 6860, 7860 - top);
    text14_->raise();
}

void WriteForm::setListColour(bool bulk)
{
    QPalette p = list1_->palette();
    p.setColor(QPalette::Base, bulk ? BulkColour : NormalColour);
    p.setColor(QPalette::Text, bulk ? QColor(Qt::white) : QColor(Qt::black));  // readable on the green
    list1_->setPalette(p);
}

void WriteForm::loadAddressList(addressbook::Source source)
{
    list1_->clear();
    addressIndex_.clear();
    const QList<addressbook::AddressRecord> records = addressbook::readAll(source);
    qint16 k = 0;
    for (const addressbook::AddressRecord &r : records) {
        if (k == std::numeric_limits<qint16>::max())
            break;
        list1_->addItem(r.name);
        addressIndex_.append(++k);
    }
    text1_->setText(QString::number(list1_->count()));
}

void WriteForm::centreOnScreen()
{
    QScreen *s = screen() ? screen() : QApplication::primaryScreen();
    if (!s)
        return;
    const QRect area = s->availableGeometry();
    const QRect frame = frameGeometry();
    move(area.left() + (area.width() - frame.width()) / 2, area.top() + (area.height() - frame.height()) / 2);
}

void WriteForm::addFirstAttachment()
{
    attachments_->addFirst();
    layoutBody();
}

void WriteForm::addFurtherAttachment()
{
    attachments_->addFurther();
    layoutBody();
}

void WriteForm::cancelAttachments()
{
    attachments_->cancel();
    layoutBody();
}

void WriteForm::widenForAddressList()
{
    setSizeTwips(WideWidth, heightTwips_);
    centreOnScreen();
    loadAddressList(addressbook::Source::Book);
}

void WriteForm::restoreNormalSize()
{
    setSizeTwips(NormalWidth, heightTwips_);
    setListColour(false);
    centreOnScreen();
}

void WriteForm::pickAddress()
{
    const int i = list1_->currentRow();
    if (i < 0 || !list1_->item(i)->isSelected()) {
        dialogs().notice(this, QStringLiteral("データが選択されていません"), ProgramTitle, Dialogs::Icon::Exclamation);
        list1_->setFocus();
        return;
    }
    if (i >= addressIndex_.size())
        return;
    // The address always comes from the address book, whichever file the list shows.
    const std::optional<addressbook::AddressRecord> record = addressbook::readRecord(addressIndex_[i]);
    if (!record)
        return;
    toText_->setText(trimAsciiSpaces(trimAtNul(record->address).left(60)));
}

void WriteForm::clearCompose()
{
    toText_->clear();
    subjectText_->clear();
    bodyText_->clear();
    option2_->setAutoExclusive(false);
    option2_->setChecked(false);
    option2_->setAutoExclusive(true);
    attachText_->clear();
    list2_->clear();
    list2_->hide();
    command9_->setEnabled(false);
    command10_->setEnabled(false);
    attachCommand_->setEnabled(true);
    check1_->setChecked(false);
    setListColour(false);
    layoutBody();
}

void WriteForm::showHint(const QString &text)
{
    text14_->setPlainText(text);
    text14_->show();
    text14_->raise();
}

bool WriteForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == combo1_) {
        if (event->type() == QEvent::FocusIn) {
            greetingOnFocus_ = combo1_->currentText();
        } else if (event->type() == QEvent::FocusOut &&
                   static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason) {
            // A greeting chosen or typed here becomes the body. Merely passing
            // through the box leaves what the user wrote alone.
            const QString greeting = combo1_->currentText();
            if (!greeting.isEmpty() && greeting != greetingOnFocus_)
                bodyText_->setPlainText(greeting);
            greetingOnFocus_ = greeting;
        }
    } else if (watched == label7_ && event->type() == QEvent::MouseButtonDblClick) {
        if (toText_->text() == QStringLiteral("zavu")) {
            setSizeTwips(widthTwips_, ExtendedHeight);
            command2_->show();
            command2_->setEnabled(true);
        }
    } else if (watched == bodyText_ && event->type() == QEvent::Enter) {
        text14_->hide();
    } else if (event->type() == QEvent::Enter) {
        const QVariant hint = watched->property("hint");
        if (hint.isValid() && !hint.toString().isEmpty())
            showHint(hint.toString());
    }
    return QWidget::eventFilter(watched, event);
}

void WriteForm::mouseMoveEvent(QMouseEvent *event)
{
    text14_->hide();
    QWidget::mouseMoveEvent(event);
}

void WriteForm::closeEvent(QCloseEvent *event)
{
    // A send in progress finishes before the window can go.
    if (sending_)
        event->ignore();
    else
        event->accept();
}

QString WriteForm::sentDateText() const
{
    // The main window's clock text; without the main window, the same text of now.
    if (QWidget *main = Windows::loaded(QStringLiteral("Mainform")))
        if (auto *clock = main->findChild<QLineEdit *>(QStringLiteral("Text6")))
            return clock->text();
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd  HH:mm:ss"));
}

void WriteForm::sendComposedMail()
{
    if (sending_)
        return;
    sending_ = true;

    // What a refused single send gives back to the user.
    const QString bodyBefore = bodyText_->toPlainText();
    const bool furtherEnabled = command9_->isEnabled();
    const bool listShown = list2_->isVisibleTo(this);
    const bool firstEnabled = attachCommand_->isEnabled();

    command9_->setEnabled(false);
    list2_->hide();
    attachCommand_->setEnabled(true);
    layoutBody();
    label7_->setText(SendingText);

    const bool bulk = option2_->isChecked();
    const int passes = bulk ? list1_->count() : 1;
    const settings::ServerSettings server = settings::serverSettings();
    const QPointer<WriteForm> self(this);
    bool allSent = true;
    {
        InputFreeze freeze(this);
        for (int p = 1; p <= passes; ++p) {
            QString recipient;
            if (bulk) {
                // A pass without an address-book record of its own has nobody to go to.
                const std::optional<addressbook::AddressRecord> record = addressbook::readRecord(p);
                if (!record)
                    continue;
                recipient = trimAtNul(record->address);
                while (recipient.endsWith(u' '))
                    recipient.chop(1);
            } else {
                recipient = toText_->text();
            }
            label7_->setText(SendingText);

            // The sent history holds the mail as written, before any fortune.
            QString error;
            if (mail::appendMailRecord(mail::HistoryKind::Sent, trimAsciiSpaces(subjectText_->text()),
                                       sentDateText(), trimAsciiSpaces(toText_->text()),
                                       trimAsciiSpaces(toCrLf(bodyText_->toPlainText())), &error) == 0)
                dialogs().notice(this, QStringLiteral("送信履歴に保存できませんでした。\r\n") + error, ProgramTitle,
                                 Dialogs::Icon::Exclamation);

            if (check1_->isChecked())
                bodyText_->setPlainText(withFortune(toCrLf(bodyText_->toPlainText()), pickFortune()));

            const SendOutcome outcome = sendMail(server.smtpServer, recipient, server.mailAddress,
                                                 subjectText_->text(), toCrLf(bodyText_->toPlainText()),
                                                 attachText_->text());
            // The program may have ended while the send ran, taking this window with it.
            if (!self)
                return;
            if (!outcome.sent) {
                allSent = false;
                dialogs().notice(this, outcome.error, SendErrorTitle);
            }
        }
    }
    sending_ = false;

    if (!bulk && !allSent) {
        // The mail did not go out: keep what the user wrote so it can be corrected and sent again.
        bodyText_->setPlainText(bodyBefore);
        command9_->setEnabled(furtherEnabled);
        list2_->setVisible(listShown);
        attachCommand_->setEnabled(firstEnabled);
        layoutBody();
        label7_->clear();
        return;
    }

    label7_->setText(QStringLiteral("送信完了です。"));
    toText_->clear();
    subjectText_->clear();
    bodyText_->clear();
    check1_->setChecked(false);
    attachText_->clear();
    option2_->setAutoExclusive(false);
    option2_->setChecked(false);
    option2_->setAutoExclusive(true);
    command2_->hide();
    setListColour(true);
    close();
}

}  // namespace korvane::compose
