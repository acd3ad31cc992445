#include "backform.h"

#include "composesupport.h"
#include "draft.h"

#include "common/dialogs.h"
#include "common/text.h"
#include "common/ui.h"
#include "history/mailhistory.h"
#include "transport/transport_smtp.h"
#include "settings/settings.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTextEdit>

namespace korvane::compose {
namespace {

// Left edge of the three one-line boxes, and the tops of the rows, in twips.
constexpr int BoxLeft = 1150;
constexpr int ToTop = 120;
constexpr int SubjectTop = 480;
constexpr int AttachTop = 840;
constexpr int BodyTop = 1260;
constexpr int BodyLeft = 30;
constexpr int StatusHeight = 300;
constexpr int ButtonHeight = 360;

}  // namespace

ReplyLayout layoutReplyWindow(int width, int height, int lineHeights)
{
    ReplyLayout l;
    l.bodyWidth = static_cast<int>(roundHalfEven(width * 0.99));
    l.toWidth = static_cast<int>(roundHalfEven(width * 0.7));
    l.subjectWidth = l.toWidth;
    l.attachWidth = static_cast<int>(roundHalfEven(width * 0.4));
    l.attachFileLeft = l.attachWidth + 1240;
    l.addAttachmentLeft = l.attachWidth + 2060;
    l.cancelAttachmentsLeft = l.attachWidth + 2940;
    if (height > 3500)
        l.bodyHeight = height - lineHeights - 1500;
    return l;
}

BackForm::BackForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("BackForm"));
    setWindowTitle(QStringLiteral("返事を出す"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(designFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));

    auto label = [this](const QString &text, int top) {
        auto *l = new QLabel(text, this);
        placeTwips(l, 120, top + 30, 1000, 255);
    };
    auto line = [this](const char *name, int top) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        placeTwips(e, BoxLeft, top, 5000, LineHeight);
        return e;
    };
    auto button = [this](const char *name, const QString &text, int left, int top, int width) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        placeTwips(b, left, top, width, ButtonHeight);
        return b;
    };

    label(QStringLiteral("宛先"), ToTop);
    toText_ = line("ToText", ToTop);
    label(QStringLiteral("題名"), SubjectTop);
    subjectText_ = line("SubjectText", SubjectTop);
    label(QStringLiteral("添付File"), AttachTop);
    attachText_ = line("AttachText", AttachTop);
    attachFileButton_ = button("AttachCommand", QStringLiteral("添付"), 0, AttachTop - 30, 780);
    addAttachmentButton_ = button("Command9", QStringLiteral("追加"), 0, AttachTop - 30, 840);
    cancelAttachmentsButton_ = button("Command10", QStringLiteral("取り消し"), 0, AttachTop - 30, 900);

    bodyText_ = new QTextEdit(this);
    bodyText_->setObjectName(QStringLiteral("BodyText"));
    bodyText_->setAcceptRichText(false);
    bodyText_->setFont(designFont(QStringLiteral("ＭＳ Ｐゴシック"), 10.5));
    placeTwips(bodyText_, BodyLeft, BodyTop, 9900, 4000);

    attachmentList_ = new QListWidget(this);
    attachmentList_->setObjectName(QStringLiteral("List2"));

    sendButton_ = button("Command2", QStringLiteral("送信"), 120, 0, 1100);
    stopButton_ = button("Command3", QStringLiteral("送信中止"), 1300, 0, 1100);
    pasteBodyButton_ = button("Command4", QStringLiteral("本文に貼付"), 2480, 0, 1300);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("StatusBar1"));
    statusBar_->setSizeGripEnabled(false);

    attachments_ = std::make_unique<AttachmentControls>(this, attachText_, attachmentList_, attachFileButton_, addAttachmentButton_,
                                                        cancelAttachmentsButton_);
    connect(attachFileButton_, &QPushButton::clicked, this, [this] { attachments_->addFirst(); });
    connect(addAttachmentButton_, &QPushButton::clicked, this, [this] {
        attachments_->addFurther();
        attachmentList_->raise();
    });
    connect(cancelAttachmentsButton_, &QPushButton::clicked, this, [this] { attachments_->cancel(); });
    connect(sendButton_, &QPushButton::clicked, this, &BackForm::sendReply);
    connect(stopButton_, &QPushButton::clicked, this, [this] {
        if (sending_)
            nmail::transport::stopSending();
        else
            close();
    });
    connect(pasteBodyButton_, &QPushButton::clicked, this, &BackForm::pasteIntoReplyBody);

    // The history window fills the body before the user has touched it (typing
    // needs the focus): that is when the answered mail is known. A received
    // mail is taken from the received record buffer, which holds the mail
    // selected in the history window; a mail of the sent history is what the
    // history window put into the body.
    connect(bodyText_, &QTextEdit::textChanged, this, [this] {
        if (ownChange_ || bodyText_->hasFocus())
            return;
        takeAnsweredMail();
    });
    // Files dropped on the window are attached.
    catchFileDrops(this, [this](const QStringList &files) {
        if (sending_)
            return;
        attachments_->addFiles(files);
        attachmentList_->raise();
    });

    // Tab in reading order: the boxes and buttons above the body, the body,
    // the send buttons under it.
    setTabChain({toText_, subjectText_, attachText_, attachFileButton_, addAttachmentButton_, cancelAttachmentsButton_,
                 attachmentList_, bodyText_, sendButton_, stopButton_, pasteBodyButton_});

    // Load: the attachment box starts 2800 twips wide, the list hidden.
    attachmentList_->hide();
    resize(twips(10000), twips(7000));
    placeTwips(attachText_, BoxLeft, AttachTop, 2800, LineHeight);

    reopenDraft();
    draft_ = std::make_unique<DraftKeeper>(
        DraftKind::Reply,
        [this]() -> std::optional<Draft> {
            if (!holdsUnsentText())
                return std::nullopt;
            return Draft{toText_->text(),         subjectText_->text(),   attachText_->text(),
                         bodyText_->toPlainText(), answeredIds_.messageId, answeredIds_.references,
                         answeredBody_};
        },
        [this](const QString &problem) { statusBar_->showMessage(problem); });
    for (QLineEdit *box : {toText_, subjectText_, attachText_})
        connect(box, &QLineEdit::textChanged, draft_.get(), &DraftKeeper::changed);
    connect(bodyText_, &QTextEdit::textChanged, draft_.get(), &DraftKeeper::changed);
}

BackForm::~BackForm() = default;

void BackForm::reopenDraft()
{
    const std::optional<Draft> draft = loadDraft(DraftKind::Reply);
    if (!draft)
        return;
    toText_->setText(draft->to);
    subjectText_->setText(draft->subject);
    attachText_->setText(draft->attachments);
    setBodyText(draft->body);
    answeredIds_ = {draft->messageId, draft->references};
    answeredBody_ = draft->answeredBody;
    // Nothing of it came from the history window: all of it is the user's.
    filled_ = QStringList{QString(), QString(), QString()};
    reopenedDraft_ = true;
    statusBar_->showMessage(QStringLiteral("送信されないまま残っていた返事を開きました。"));
}

void BackForm::takeAnsweredMail()
{
    // The history window has set the subject, the recipient and now the
    // body from its boxes; the record buffer of its kind holds the answered
    // mail. Its kept original gives the text as it was written, the whole
    // sender and the Message-ID. Without one, the boxes stay as filled, less
    // the program's own notes.
    const int kindNumber = property("historyKind").toInt();
    const mail::HistoryKind kind = kindNumber == 2 ? mail::HistoryKind::Sent : mail::HistoryKind::Received;
    const std::optional<mail::MailRecord> record =
        kindNumber == 1 || kindNumber == 2 ? mail::lastMailRecord(kind) : std::nullopt;
    const std::optional<ReplySource> original = record ? replySource(kind, *record) : std::nullopt;
    if (original) {
        answeredBody_ = original->body;
        answeredIds_ = original->ids;
        toText_->setText(original->recipient);
        subjectText_->setText(replySubject(original->subject));
        setBodyText(original->body);
    } else {
        const QString filled = trimAsciiSpaces(toCrLf(bodyText_->toPlainText()));
        const QString shown = withoutProgramNotes(filled);
        answeredBody_ = record && kind == mail::HistoryKind::Received ? withoutProgramNotes(record->body) : shown;
        answeredIds_ = {};
        if (kindNumber != 0 && !subjectText_->text().isEmpty())
            subjectText_->setText(replySubject(subjectText_->text()));
        if (shown != filled)
            setBodyText(shown);
    }
    filled_ = QStringList{toText_->text(), subjectText_->text(), bodyText_->toPlainText()};
}

void BackForm::showEvent(QShowEvent *event)
{
    // Shown without a filled body: what the boxes hold now is the start.
    if (filled_.isEmpty())
        filled_ = QStringList{toText_->text(), subjectText_->text(), bodyText_->toPlainText()};
    QWidget::showEvent(event);
}

bool BackForm::holdsUnsentText() const
{
    const QStringList now{toText_->text(), subjectText_->text(), bodyText_->toPlainText()};
    if (done_ || now == filled_)
        return false;
    // Boxes emptied by the user hold nothing worth keeping.
    return !trimAsciiSpaces(now.join(QString())).isEmpty();
}

void BackForm::setBodyText(const QString &text)
{
    ownChange_ = true;
    bodyText_->setPlainText(text);
    ownChange_ = false;
}

void BackForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    applyLayout();
}

void BackForm::applyLayout()
{
    const int w = width() * 15;
    const int h = height() * 15;
    const ReplyLayout l = layoutReplyWindow(w, h, 3 * LineHeight);
    const int bodyHeight = l.bodyHeight > 0 ? l.bodyHeight : bodyText_->height() * 15;
    placeTwips(bodyText_, BodyLeft, BodyTop, l.bodyWidth, bodyHeight);
    placeTwips(toText_, BoxLeft, ToTop, l.toWidth, LineHeight);
    placeTwips(subjectText_, BoxLeft, SubjectTop, l.subjectWidth, LineHeight);
    placeTwips(attachText_, BoxLeft, AttachTop, l.attachWidth, LineHeight);
    attachFileButton_->move(twips(l.attachFileLeft), attachFileButton_->y());
    addAttachmentButton_->move(twips(l.addAttachmentLeft), addAttachmentButton_->y());
    cancelAttachmentsButton_->move(twips(l.cancelAttachmentsLeft), cancelAttachmentsButton_->y());
    placeTwips(attachmentList_, BoxLeft, AttachTop + LineHeight, l.attachWidth, 700);

    // The send buttons under the body, the status bar at the bottom.
    const int buttonsTop = BodyTop + bodyHeight + 90;
    for (QPushButton *b : {sendButton_, stopButton_, pasteBodyButton_})
        b->move(b->x(), twips(buttonsTop));
    placeTwips(statusBar_, 0, h - StatusHeight, w, StatusHeight);
}

void BackForm::pasteIntoReplyBody()
{
    QString text = QApplication::clipboard()->text() + QStringLiteral("\r\n\r\n\r\n\r");
    text += trimAsciiSpaces(answeredBody_);
    setBodyText(text);
    QClipboard *clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
    setBodyText(trimAsciiSpaces(clipboard->text()));
}

void BackForm::sendReply()
{
    if (sending_)
        return;
    sending_ = true;
    const settings::ServerSettings server = settings::serverSettings();
    const QPointer<BackForm> self(this);
    SendOutcome outcome;
    {
        InputFreeze freeze(this);
        statusBar_->showMessage(SendingText);
        StopDuringSend stop(stopButton_);
        outcome = sendMail(server.smtpServer, toText_->text(), server.mailAddress, subjectText_->text(),
                           toCrLf(bodyText_->toPlainText()), attachText_->text(), answeredIds_);
        // The program may have ended while the send ran, taking this window with it.
        if (!self)
            return;
        statusBar_->clearMessage();
    }
    sending_ = false;
    if (!outcome.sent) {
        // The reply stays in the window so that it can be corrected and sent
        // again; one that may have gone out is not offered for a second send
        // without a word (the message says so).
        dialogs().notice(this, outcome.error, SendErrorTitle);
        if (outcome.uncertain)
            statusBar_->showMessage(UncertainText);
        return;
    }
    done_ = true;
    close();
}

void BackForm::closeEvent(QCloseEvent *event)
{
    if (sending_) {
        event->ignore();
        return;
    }
    if (holdsUnsentText() && !confirmDiscard(this)) {
        event->ignore();
        return;
    }
    setBodyText(QString());
    event->accept();
    // Sent, or let go by the user: nothing is kept.
    draft_->letGo();
}

}  // namespace korvane::compose
