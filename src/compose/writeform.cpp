#include "writeform.h"

#include "composesupport.h"
#include "draft.h"
#include "fortune.h"

#include "addressbook/addressbook.h"
#include "common/addressfield.h"
#include "common/dialogs.h"
#include "common/text.h"
#include "common/ui.h"
#include "common/windows.h"
#include "history/mailhistory.h"
#include "transport/transport_smtp.h"
#include "settings/settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTextCursor>

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
    reopenDraft();

    draft_ = std::make_unique<DraftKeeper>(
        DraftKind::NewMail,
        [this]() -> std::optional<Draft> {
            if (!holdsUnsentText() && trimAsciiSpaces(attachText_->text()).isEmpty())
                return std::nullopt;
            return Draft{toText_->text(), subjectText_->text(), attachText_->text(), bodyText_->toPlainText()};
        },
        [this](const QString &problem) {
            if (!sending_)
                statusLabel_->setText(problem);
        });
    for (QLineEdit *box : {toText_, subjectText_, attachText_})
        connect(box, &QLineEdit::textChanged, draft_.get(), &DraftKeeper::changed);
    connect(bodyText_, &QPlainTextEdit::textChanged, draft_.get(), &DraftKeeper::changed);
}

WriteForm::~WriteForm() = default;

void WriteForm::reopenDraft()
{
    const std::optional<Draft> draft = loadDraft();
    if (!draft)
        return;
    toText_->setText(draft->to);
    subjectText_->setText(draft->subject);
    attachText_->setText(draft->attachments);
    bodyText_->setPlainText(draft->body);
    reopenedDraft_ = true;
    statusLabel_->setText(QStringLiteral("送信されないまま残っていた作成中のメールを開きました。"));
}

void WriteForm::buildControls()
{
    const QFont font = designFont(QStringLiteral("ＭＳ Ｐゴシック"), 9);
    setFont(font);

    caption(this, QStringLiteral("宛先"), 120, 150, 600);
    toText_ = lineBox(this, "ToText", 720, 120, 3900);
    caption(this, QStringLiteral("件名"), 120, 540, 600);
    subjectText_ = lineBox(this, "SubjectText", 720, 510, 3900);
    caption(this, QStringLiteral("首記例"), 120, 930, 600);
    greetingBox_ = new QComboBox(this);
    greetingBox_->setObjectName(QStringLiteral("Combo1"));
    greetingBox_->setEditable(true);
    greetingBox_->setInsertPolicy(QComboBox::NoInsert);
    placeTwips(greetingBox_, 720, 900, 3900, 315);
    greetingBox_->installEventFilter(this);
    greetingBox_->view()->setTextElideMode(Qt::ElideNone);  // the list shows each greeting whole (widened on filling)

    auto *pasteToButton = button(this, "Command7", QStringLiteral("宛先に貼付"), 4700, 100, 1100);
    auto *pasteBodyButton = button(this, "Command5", QStringLiteral("本文に貼付"), 4700, 490, 1100);
    auto *paletteButton = button(this, "Command8", QStringLiteral("顔・絵文字"), 4700, 880, 1100);
    auto *sendButton = button(this, "Command1", QStringLiteral("送信"), 5880, 100, 1100);
    auto *stopButton = stopButton_ = button(this, "Command3", QStringLiteral("送信中止"), 5880, 490, 1100);
    auto *clearButton = button(this, "Command11", QStringLiteral("クリア"), 5880, 880, 1100);

    attachFileButton_ = button(this, "AttachCommand", QStringLiteral("添付File"), 120, 1320, 1000);
    addAttachmentButton_ = button(this, "Command9", QStringLiteral("追加"), 1180, 1320, 800);
    cancelAttachmentsButton_ = button(this, "Command10", QStringLiteral("取り消し"), 2040, 1320, 900);
    attachText_ = lineBox(this, "AttachText", 3000, 1350, 3980);

    auto *addressBookButton = button(this, "Command4", QStringLiteral("アドレス帳"), 120, 1740, 1200);
    auto *normalSizeButton = button(this, "Command6", QStringLiteral("元のサイズ"), 1380, 1740, 1200);
    bulkSendOption_ = new QRadioButton(QStringLiteral("一括送信"), this);
    bulkSendOption_->setObjectName(QStringLiteral("Option2"));
    placeTwips(bulkSendOption_, 2700, 1770, 1150, 300);
    cancelBulkOption_ = new QRadioButton(QStringLiteral("取消"), this);
    cancelBulkOption_->setObjectName(QStringLiteral("Option1"));
    placeTwips(cancelBulkOption_, 3880, 1770, 800, 300);
    fortuneCheck_ = new QCheckBox(QStringLiteral("占い添付"), this);
    fortuneCheck_->setObjectName(QStringLiteral("Check1"));
    placeTwips(fortuneCheck_, 4700, 1770, 1200, 300);
    caption(this, QStringLiteral("★　親しい人に占いを添付する　★ （一括送信では使用不可）"), 120, 2130, 6860)
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    statusLabel_ = new QLabel(this);
    statusLabel_->setObjectName(QStringLiteral("Label7"));
    placeTwips(statusLabel_, 120, 2430, 6860, 255);
    statusLabel_->installEventFilter(this);

    attachmentList_ = new QListWidget(this);
    attachmentList_->setObjectName(QStringLiteral("List2"));
    placeTwips(attachmentList_, 120, 2760, 6860, 720);

    bodyText_ = new QPlainTextEdit(this);
    bodyText_->setObjectName(QStringLiteral("BodyText"));
    bodyText_->installEventFilter(this);

    hintBox_ = new QPlainTextEdit(this);
    hintBox_->setObjectName(QStringLiteral("Text14"));
    hintBox_->setReadOnly(true);
    hintBox_->setFocusPolicy(Qt::NoFocus);
    placeTwips(hintBox_, 120, 5500, 6860, 2220);
    hintBox_->hide();

    // The address pane, seen only when the window is widened.
    auto *addressPane = new QWidget(this);
    addressPane->setObjectName(QStringLiteral("Picture5"));
    placeTwips(addressPane, 7150, 100, 2450, 7900);
    caption(addressPane, QStringLiteral("アドレス帳"), 0, 0, 1200);
    caption(addressPane, QStringLiteral("件数"), 1300, 0, 500);
    addressCountBox_ = lineBox(addressPane, "Text1", 1800, 0, 600, 285);
    addressList_ = new AddressList(addressPane);
    addressList_->setObjectName(QStringLiteral("List1"));
    addressList_->setAutoFillBackground(true);
    placeTwips(addressList_, 0, 360, 2400, 7500);

    // The hidden extension row below the normal height.
    hiddenPasteBox_ = lineBox(this, "Text4", 120, 8290, 4900);
    hiddenPasteButton_ = button(this, "Command2", QStringLiteral("貼付け"), 5100, 8260, 1000);
    hiddenCheck_ = new QCheckBox(this);
    hiddenCheck_->setObjectName(QStringLiteral("Check2"));
    placeTwips(hiddenCheck_, 6200, 8290, 700, 300);
    hiddenNumberBox_ = lineBox(this, "Text3", 120, 8700, 1000);

    attachments_ = std::make_unique<AttachmentControls>(this, attachText_, attachmentList_, attachFileButton_, addAttachmentButton_,
                                                        cancelAttachmentsButton_);
    // Files dropped on the window are attached.
    catchFileDrops(this, [this](const QStringList &files) {
        if (sending_)
            return;
        attachments_->addFiles(files);
        layoutBody();
    });

    const std::pair<QPushButton *, QString> hints[] = {
        {sendButton, QStringLiteral("送信します。電話回線が接続されていない場合は、自動的に接続してメールを送信します。")},
        {stopButton, QStringLiteral("送信を中止します。")},
        {attachFileButton_, QStringLiteral("各種ファイルを添付して送信できます。")},
        {addAttachmentButton_, QStringLiteral("添付ファイルを複数送信する際に使用します。確認しやすいように、リストボックスが表示されます。")},
        {addressBookButton, QStringLiteral("このフォーム（新規作成）が拡張され、登録したメールアドレスの名称が一覧（リスト）に現れます。送信したい名称をクリックすると、メールアドレスが自動的に入力されます。")},
        {normalSizeButton, QStringLiteral("アドレス帳を含むサイズから、元のサイズに戻します。")},
        {pasteToButton, QStringLiteral("コピーして来た内容を宛先に貼付ます。")},
        {pasteBodyButton, QStringLiteral("本ソフト、他のアプリからのテキスト文書を本文中に貼付けます。")},
        {clearButton, QStringLiteral("宛先、件名、本文他、設定等が初期状態に戻せます。")},
        {paletteButton, paletteHint()},
    };
    for (const auto &[b, hint] : hints) {
        b->setProperty("hint", hint);
        b->installEventFilter(this);
    }

    connect(attachFileButton_, &QPushButton::clicked, this, &WriteForm::addFirstAttachment);
    connect(addAttachmentButton_, &QPushButton::clicked, this, &WriteForm::addFurtherAttachment);
    connect(cancelAttachmentsButton_, &QPushButton::clicked, this, &WriteForm::cancelAttachments);
    connect(addressBookButton, &QPushButton::clicked, this, &WriteForm::widenForAddressList);
    connect(normalSizeButton, &QPushButton::clicked, this, &WriteForm::restoreNormalSize);
    connect(addressList_, &AddressList::pressedAfterSelection, this, &WriteForm::pickAddress);
    connect(bulkSendOption_, &QRadioButton::clicked, this, [this] { setListColour(true); });
    connect(cancelBulkOption_, &QRadioButton::clicked, this, [this] {
        toText_->clear();
        setListColour(false);
    });
    // An empty clipboard leaves the recipient the user typed.
    connect(pasteToButton, &QPushButton::clicked, this, [this] {
        if (const QString text = QApplication::clipboard()->text(); !text.isEmpty())
            toText_->setText(text);
    });
    connect(pasteBodyButton, &QPushButton::clicked, this, [this] {
        bodyText_->setPlainText(bodyText_->toPlainText() + QApplication::clipboard()->text());
    });
    connect(clearButton, &QPushButton::clicked, this, &WriteForm::clearCompose);
    connect(paletteButton, &QPushButton::clicked, this, [] { Windows::show(QStringLiteral("KaoForm")); });
    connect(stopButton, &QPushButton::clicked, this, [this] {
        if (sending_)
            nmail::transport::stopSending();
        else
            close();
    });
    connect(sendButton, &QPushButton::clicked, this, &WriteForm::sendComposedMail);
    connect(hiddenPasteButton_, &QPushButton::clicked, this, [this] { hiddenPasteBox_->setText(QApplication::clipboard()->text()); });

    // Tab in reading order: each row left to right, then the address pane.
    setTabChain({toText_, pasteToButton, sendButton, subjectText_, pasteBodyButton, stopButton, greetingBox_,
                 paletteButton, clearButton, attachFileButton_, addAttachmentButton_, cancelAttachmentsButton_,
                 attachText_, addressBookButton, normalSizeButton, bulkSendOption_, cancelBulkOption_, fortuneCheck_,
                 attachmentList_, bodyText_, hiddenPasteBox_, hiddenPasteButton_, hiddenCheck_, hiddenNumberBox_,
                 addressCountBox_, addressList_});
}

void WriteForm::load()
{
    setSizeTwips(NormalWidth, NormalHeight);
    bulkSendOption_->setAutoExclusive(false);
    bulkSendOption_->setChecked(false);
    bulkSendOption_->setAutoExclusive(true);
    hiddenNumberBox_->hide();
    hiddenPasteButton_->hide();
    hiddenPasteButton_->setEnabled(false);
    addAttachmentButton_->setEnabled(false);
    attachmentList_->hide();
    fortuneCheck_->setChecked(false);
    hiddenCheck_->setChecked(false);
    greetingBox_->addItems(greetings());
    greetingBox_->view()->setMinimumWidth(greetingBox_->view()->sizeHintForColumn(0) + 2 * greetingBox_->view()->frameWidth() + 24);
    greetingBox_->setCurrentIndex(-1);
    greetingBox_->setEditText(QString());
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
    const int top = attachmentList_->isVisibleTo(this) ? 3540 : 2760;
    placeTwips(bodyText_, 120, top, 6860, 7860 - top);
    hintBox_->raise();
}

void WriteForm::setListColour(bool bulk)
{
    QPalette p = addressList_->palette();
    p.setColor(QPalette::Base, bulk ? BulkColour : NormalColour);
    p.setColor(QPalette::Text, bulk ? QColor(Qt::white) : QColor(Qt::black));  // readable on the green
    addressList_->setPalette(p);
}

void WriteForm::loadAddressList(addressbook::Source source)
{
    addressList_->clear();
    addressIndex_.clear();
    const QList<addressbook::AddressRecord> records = addressbook::readAll(source);
    qint16 k = 0;
    for (const addressbook::AddressRecord &r : records) {
        if (k == std::numeric_limits<qint16>::max())
            break;
        addressList_->addItem(r.name);
        addressIndex_.append(++k);
    }
    addressCountBox_->setText(QString::number(addressList_->count()));
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
    const int i = addressList_->currentRow();
    if (i < 0 || !addressList_->item(i)->isSelected()) {
        dialogs().notice(this, QStringLiteral("データが選択されていません"), ProgramTitle, Dialogs::Icon::Exclamation);
        addressList_->setFocus();
        return;
    }
    if (i >= addressIndex_.size())
        return;
    // The address always comes from the address book, whichever file the list shows.
    const std::optional<addressbook::AddressRecord> record = addressbook::readRecord(addressIndex_[i]);
    if (!record)
        return;
    toText_->setText(trimAsciiSpaces(trimAtNul(record->address)));
}

void WriteForm::clearCompose()
{
    toText_->clear();
    subjectText_->clear();
    bodyText_->clear();
    bulkSendOption_->setAutoExclusive(false);
    bulkSendOption_->setChecked(false);
    bulkSendOption_->setAutoExclusive(true);
    attachText_->clear();
    attachmentList_->clear();
    attachmentList_->hide();
    addAttachmentButton_->setEnabled(false);
    cancelAttachmentsButton_->setEnabled(false);
    attachFileButton_->setEnabled(true);
    fortuneCheck_->setChecked(false);
    setListColour(false);
    layoutBody();
}

void WriteForm::insertGreeting(const QString &greeting)
{
    // In front of what is already written, as one step that undo takes back.
    QTextCursor cursor(bodyText_->document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(bodyText_->document()->isEmpty() ? greeting : greeting + u'\n');
    cursor.endEditBlock();
}

void WriteForm::showHint(const QString &text)
{
    hintBox_->setPlainText(text);
    hintBox_->show();
    hintBox_->raise();
}

bool WriteForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == greetingBox_) {
        if (event->type() == QEvent::FocusIn) {
            greetingOnFocus_ = greetingBox_->currentText();
        } else if (event->type() == QEvent::FocusOut &&
                   static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason) {
            // A greeting chosen or typed here opens the body. Merely passing
            // through the box leaves what the user wrote alone.
            const QString greeting = greetingBox_->currentText();
            if (!greeting.isEmpty() && greeting != greetingOnFocus_)
                insertGreeting(greeting);
            greetingOnFocus_ = greeting;
        }
    } else if (watched == statusLabel_ && event->type() == QEvent::MouseButtonDblClick) {
        if (toText_->text() == QStringLiteral("zavu")) {
            setSizeTwips(widthTwips_, ExtendedHeight);
            hiddenPasteButton_->show();
            hiddenPasteButton_->setEnabled(true);
        }
    } else if (watched == bodyText_ && event->type() == QEvent::Enter) {
        hintBox_->hide();
    } else if (event->type() == QEvent::Enter) {
        const QVariant hint = watched->property("hint");
        if (hint.isValid() && !hint.toString().isEmpty())
            showHint(hint.toString());
    }
    return QWidget::eventFilter(watched, event);
}

void WriteForm::mouseMoveEvent(QMouseEvent *event)
{
    hintBox_->hide();
    QWidget::mouseMoveEvent(event);
}

void WriteForm::closeEvent(QCloseEvent *event)
{
    // A send in progress finishes before the window can go; what the user
    // wrote goes only when the user says so.
    if (sending_ || (holdsUnsentText() && !confirmDiscard(this))) {
        event->ignore();
        return;
    }
    event->accept();
    // Sent, or let go by the user: nothing is kept.
    draft_->letGo();
}

bool WriteForm::holdsUnsentText() const
{
    return !trimAsciiSpaces(toText_->text() + subjectText_->text() + bodyText_->toPlainText()).isEmpty();
}

QString WriteForm::sentDateText() const
{
    // The main window's clock text; without the main window, the same text of now.
    if (QWidget *main = Windows::loaded(QStringLiteral("Mainform")))
        if (auto *clock = main->findChild<QLineEdit *>(QStringLiteral("Text6")))
            return clock->text();
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd  HH:mm:ss"));
}

QStringList WriteForm::bulkRecipients()
{
    // Every live address of the address book, whichever file the list shows
    // and whether or not it was ever opened.
    QStringList recipients;
    for (const addressbook::AddressRecord &r : addressbook::readAll(addressbook::Source::Book)) {
        const QString address = trimAsciiSpaces(trimAtNul(r.address));
        if (r.live != 0 && !address.isEmpty())
            recipients << address;
    }
    return recipients;
}

void WriteForm::recordSentMail(const QString &recipient, const QString &subject, const QString &body,
                               const QByteArray &message)
{
    QStringList problems;
    // The mail as it went out is kept whole first, on the disk before its
    // record names it: a body the record cannot hold names that file.
    QString error;
    const QString original = keepSentOriginal(message, &error);
    QString recordBody = trimAsciiSpaces(body);
    if (original.isEmpty())
        problems << error;
    else
        recordBody = mail::bodyForRecord(
            recordBody, mail::originalsFolderName(mail::HistoryKind::Sent) + QDir::separator() + original);
    // The history's address field is 90 bytes: a long display name is
    // shortened, an address is never cut.
    const FittedAddress address = fitAddressField(recipient, SentAddressWidth);
    error.clear();
    if (address.fit == AddressFit::TooLong)
        problems << addressTooLongMessage(recipient, SentAddressWidth);
    else if (mail::appendMailRecord(mail::HistoryKind::Sent, trimAsciiSpaces(subject), sentDateText(), address.text,
                                    recordBody, &error, RecordFile::Durability::OnDisk, original) == 0)
        problems << error;
    if (problems.isEmpty())
        return;
    dialogs().notice(this, QStringLiteral("送信しましたが、送信履歴に保存できませんでした。\r\n") + problems.join(QStringLiteral("\r\n")),
                     ProgramTitle, Dialogs::Icon::Exclamation);
}

void WriteForm::sendComposedMail()
{
    if (sending_)
        return;

    const bool bulk = bulkSendOption_->isChecked();
    const QStringList recipients = bulk ? bulkRecipients() : QStringList{toText_->text()};
    if (recipients.isEmpty()) {
        // Nothing to send to: say so and keep what the user wrote.
        dialogs().notice(this, QStringLiteral("アドレス帳にメールアドレスが登録されていないため、一括送信できません。"),
                         ProgramTitle, Dialogs::Icon::Exclamation);
        return;
    }
    sending_ = true;

    // What a refused send gives back to the user.
    const bool furtherEnabled = addAttachmentButton_->isEnabled();
    const bool listShown = attachmentList_->isVisibleTo(this);
    const bool firstEnabled = attachFileButton_->isEnabled();

    addAttachmentButton_->setEnabled(false);
    attachmentList_->hide();
    attachFileButton_->setEnabled(true);
    layoutBody();
    statusLabel_->setText(SendingText);

    // Everything each send reads is taken once: the boxes stay as written. A
    // fortune goes only with a single mail, never in bulk.
    const settings::ServerSettings server = settings::serverSettings();
    const QString subject = subjectText_->text();
    const QString body = toCrLf(bodyText_->toPlainText());
    const QString attachments = attachText_->text();
    const bool fortune = fortuneCheck_->isChecked() && !bulk;
    const QPointer<WriteForm> self(this);
    int sent = 0;
    bool uncertain = false;
    {
        InputFreeze freeze(this);
        StopDuringSend stop(stopButton_);
        for (const QString &recipient : recipients) {
            statusLabel_->setText(SendingText);
            const SendOutcome outcome = sendMail(server.smtpServer, recipient, server.mailAddress, subject,
                                                 fortune ? withFortune(body, pickFortune()) : body, attachments);
            // The program may have ended while the send ran, taking this window with it.
            if (!self)
                return;
            if (!outcome.sent) {
                dialogs().notice(this, outcome.error, SendErrorTitle);
                // A mail the server may have is not sent again without a word.
                uncertain = uncertain || outcome.uncertain;
                continue;
            }
            ++sent;
            // Only what the server took is recorded, with the address it went
            // to; the history holds the mail as written, without the fortune,
            // and its original the mail as it went out.
            recordSentMail(recipient, subject, body, outcome.message);
        }
    }
    sending_ = false;

    if (sent == 0) {
        // Nothing went out: keep what the user wrote so it can be corrected and sent again.
        addAttachmentButton_->setEnabled(furtherEnabled);
        attachmentList_->setVisible(listShown);
        attachFileButton_->setEnabled(firstEnabled);
        layoutBody();
        if (uncertain)
            statusLabel_->setText(UncertainText);
        else
            statusLabel_->clear();
        return;
    }

    statusLabel_->setText(QStringLiteral("送信完了です。"));
    toText_->clear();
    subjectText_->clear();
    bodyText_->clear();
    fortuneCheck_->setChecked(false);
    attachText_->clear();
    bulkSendOption_->setAutoExclusive(false);
    bulkSendOption_->setChecked(false);
    bulkSendOption_->setAutoExclusive(true);
    hiddenPasteButton_->hide();
    setListColour(true);
    close();
}

}  // namespace korvane::compose
