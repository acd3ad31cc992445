#include "settingswindows.h"

#include "common/dialogs.h"
#include "common/ui.h"
#include "common/windows.h"
#include "receiveoptions.h"
#include "settings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace korvane::settings {
namespace {

QPushButton *makeButton(QWidget *parent, const QString &name, const QString &text, int l, int t, int w, int h)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    placeTwips(b, l, t, w, h);
    return b;
}

// A closed window is unloaded: the registry forgets it at once (so a
// request right after the close loads a fresh one) and it is deleted.
void forgetSelf(QWidget *w)
{
    if (Windows::loaded(w->objectName()) == w)
        Windows::forget(w->objectName());
}

void prepareWindow(QWidget *w, const QString &name, const QString &caption, int width, int height)
{
    w->setObjectName(name);
    w->setWindowTitle(caption);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setFont(designFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    w->setFixedSize(twips(width), twips(height));
    // A small window of fixed size: a title and a close box, no minimise or
    // maximise buttons (maximising would do nothing).
    const Qt::WindowFlags kind = qobject_cast<QDialog *>(w) ? Qt::Dialog : Qt::Window;
    w->setWindowFlags(kind | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

}  // namespace

OptionForm::OptionForm(QWidget *parent) : QDialog(parent)
{
    prepareWindow(this, QStringLiteral("OptionForm"), QStringLiteral("サーバー設定"), 4800, 3240);
    connect(this, &QDialog::finished, this, [this] { forgetSelf(this); });
    // Topmost, without moving or resizing it.
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);

    QLabel *l1 = designLabel(this, QStringLiteral("Label1"), QStringLiteral("SMTPサーバー名(&S)"), 240, 180, 4320, 255);
    smtp_ = designControl<QLineEdit>(this, QStringLiteral("SmtpText"), 240, 435, 4320, 315);
    QLabel *l2 = designLabel(this, QStringLiteral("Label2"), QStringLiteral("POP3サーバー名(&P)"), 240, 870, 4320, 255);
    pop3_ = designControl<QLineEdit>(this, QStringLiteral("Pop3Text"), 240, 1125, 4320, 315);
    QLabel *l3 = designLabel(this, QStringLiteral("Label3"), QStringLiteral("メールアドレス(&M)"), 240, 1560, 4320, 255);
    mail_ = designControl<QLineEdit>(this, QStringLiteral("MailText"), 240, 1815, 4320, 315);
    l1->setBuddy(smtp_);
    l2->setBuddy(pop3_);
    l3->setBuddy(mail_);
    apop_ = new QCheckBox(QStringLiteral("APOP を使用する(&A)"), this);
    apop_->setObjectName(QStringLiteral("ApopCheck"));
    placeTwips(apop_, 240, 2250, 4320, 300);
    QPushButton *ok = makeButton(this, QStringLiteral("OkCommand"), QStringLiteral("設定"), 1020, 2700, 1260, 375);
    QPushButton *cancel = makeButton(this, QStringLiteral("CancelCommand"), QStringLiteral("中止"), 2520, 2700, 1260, 375);

    // Tab goes in reading order: the boxes from the top, the check box, the
    // buttons from the left.
    setTabOrder(smtp_, pop3_);
    setTabOrder(pop3_, mail_);
    setTabOrder(mail_, apop_);
    setTabOrder(apop_, ok);
    setTabOrder(ok, cancel);

    connect(ok, &QPushButton::clicked, this, &OptionForm::okClicked);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);

    // The fields always show the values in memory, never the file.
    const ServerSettings &s = serverSettings();
    smtp_->setText(s.smtpServer);
    pop3_->setText(s.pop3Server);
    mail_->setText(s.mailAddress);
    apop_->setChecked(s.useApop != 0);
}

void OptionForm::okClicked()
{
    // The record takes the new values first: they hold for the rest of the
    // run even when the file cannot be written.
    ServerSettings &s = serverSettings();
    s.smtpServer = smtp_->text();
    s.pop3Server = pop3_->text();
    s.mailAddress = mail_->text();
    s.useApop = apop_->isChecked() ? 1 : 0;
    QString error;
    if (!saveServerSettings(&error))
        dialogs().notice(this, QStringLiteral("サーバー設定を保存できませんでした。\r\n%1").arg(error),
                         ProgramTitle, Dialogs::Icon::Exclamation);
    close();
}

IdPassForm::IdPassForm(QWidget *parent) : QDialog(parent)
{
    prepareWindow(this, QStringLiteral("IdPassForm"), QStringLiteral("ID/PASS"), 4320, 2280);
    connect(this, &QDialog::finished, this, [this] { forgetSelf(this); });

    designLabel(this, QStringLiteral("Label1"), QStringLiteral("ID"), 240, 285, 1000, 255);
    id_ = designControl<QLineEdit>(this, QStringLiteral("IdText"), 1320, 240, 2760, 315);
    designLabel(this, QStringLiteral("Label2"), QStringLiteral("Password"), 240, 705, 1000, 255);
    pass_ = designControl<QLineEdit>(this, QStringLiteral("PassText"), 1320, 660, 2760, 315);
    pass_->setEchoMode(QLineEdit::Password);
    showPasswordAsStars(pass_);
    save_ = new QCheckBox(QStringLiteral("IDパスワードを保存する"), this);
    save_->setObjectName(QStringLiteral("Check1"));
    placeTwips(save_, 1320, 1110, 2760, 300);
    QPushButton *ok = makeButton(this, QStringLiteral("OKCommand"), QStringLiteral("OK"), 960, 1620, 1080, 375);
    QPushButton *cancel = makeButton(this, QStringLiteral("CancelCommand"), QStringLiteral("Cancel"), 2280, 1620, 1080, 375);
    ok->setDefault(true);

    setTabOrder(id_, pass_);
    setTabOrder(pass_, save_);
    setTabOrder(save_, ok);
    setTabOrder(ok, cancel);

    connect(ok, &QPushButton::clicked, this, &IdPassForm::okClicked);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);

    // Loading shows what the file holds; "NAME3" is read but nothing depends
    // on it, and the save box always starts unticked.
    id_->setText(readCredentialValue(QStringLiteral("NAME")));
    pass_->setText(readCredentialValue(QStringLiteral("NAME2")));
    readCredentialValue(QStringLiteral("NAME3"));
    save_->setChecked(false);
}

void IdPassForm::okClicked()
{
    AccountCredentials &c = accountCredentials();
    c.userId = id_->text();
    c.password = pass_->text();
    QString error;
    bool written = true;
    if (save_->isChecked()) {
        written = tryWriteCredentialValue(QStringLiteral("NAME"), id_->text(), &error)
               && tryWriteCredentialValue(QStringLiteral("NAME2"), pass_->text(), &error)
               && tryWriteCredentialValue(QStringLiteral("NAME3"), QStringLiteral("1"), &error);
    } else {
        written = tryWriteCredentialValue(QStringLiteral("NAME3"), QStringLiteral("0"), &error);
    }
    if (!written && save_->isChecked())
        dialogs().notice(this, QStringLiteral("IDとパスワードを保存できませんでした。\r\n%1").arg(error),
                         ProgramTitle, Dialogs::Icon::Exclamation);
    close();
}

ReceiveOptionsForm::ReceiveOptionsForm(QWidget *parent) : QDialog(parent)
{
    prepareWindow(this, QStringLiteral("ReceiveOptionsForm"), QStringLiteral("受信の設定"), 4800, 2880);
    connect(this, &QDialog::finished, this, [this] { forgetSelf(this); });

    QLabel *l1 = designLabel(this, QStringLiteral("Label1"), QStringLiteral("自動受信の間隔(&I)"), 240, 240, 2640, 255);
    interval_ = designControl<QSpinBox>(this, QStringLiteral("IntervalSpin"), 2940, 195, 1620, 315);
    interval_->setRange(0, MaxIntervalMinutes);
    interval_->setSuffix(QStringLiteral(" 分"));
    interval_->setSpecialValueText(QStringLiteral("しない"));
    l1->setBuddy(interval_);

    keep_ = new QCheckBox(QStringLiteral("受信したメールをサーバーに残す(&K)"), this);
    keep_->setObjectName(QStringLiteral("KeepCheck"));
    placeTwips(keep_, 240, 720, 4320, 300);
    QLabel *l2 = designLabel(this, QStringLiteral("Label2"), QStringLiteral("サーバーから消すまで(&D)"), 480, 1185, 2400, 255);
    keepDays_ = designControl<QSpinBox>(this, QStringLiteral("KeepDaysSpin"), 2940, 1140, 1620, 315);
    keepDays_->setRange(0, MaxKeepDays);
    keepDays_->setSuffix(QStringLiteral(" 日"));
    keepDays_->setSpecialValueText(QStringLiteral("消さない"));
    l2->setBuddy(keepDays_);

    notify_ = new QCheckBox(QStringLiteral("メールが届いたらデスクトップに知らせる(&N)"), this);
    notify_->setObjectName(QStringLiteral("NotifyCheck"));
    placeTwips(notify_, 240, 1680, 4320, 300);

    QPushButton *ok = makeButton(this, QStringLiteral("OkCommand"), QStringLiteral("設定"), 1020, 2220, 1260, 375);
    QPushButton *cancel = makeButton(this, QStringLiteral("CancelCommand"), QStringLiteral("中止"), 2520, 2220, 1260, 375);
    ok->setDefault(true);

    setTabOrder(interval_, keep_);
    setTabOrder(keep_, keepDays_);
    setTabOrder(keepDays_, notify_);
    setTabOrder(notify_, ok);
    setTabOrder(ok, cancel);

    connect(ok, &QPushButton::clicked, this, &ReceiveOptionsForm::okClicked);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    // The days count only for mail kept on the server.
    connect(keep_, &QCheckBox::toggled, keepDays_, &QWidget::setEnabled);
    connect(keep_, &QCheckBox::toggled, l2, &QWidget::setEnabled);

    const ReceiveOptions o = loadReceiveOptions();
    interval_->setValue(o.intervalMinutes);
    keep_->setChecked(o.keepOnServer);
    keepDays_->setValue(o.keepDays);
    keepDays_->setEnabled(o.keepOnServer);
    l2->setEnabled(o.keepOnServer);
    notify_->setChecked(o.notify);
}

void ReceiveOptionsForm::okClicked()
{
    ReceiveOptions o;
    o.intervalMinutes = interval_->value();
    o.keepOnServer = keep_->isChecked();
    o.keepDays = keepDays_->value();
    o.notify = notify_->isChecked();
    QString error;
    if (!saveReceiveOptions(o, &error))
        dialogs().notice(this, QStringLiteral("受信の設定を保存できませんでした。\r\n%1").arg(error), ProgramTitle,
                         Dialogs::Icon::Exclamation);
    close();
}

SetForm::SetForm(QWidget *parent) : QWidget(parent)
{
    prepareWindow(this, QStringLiteral("SetForm"), QStringLiteral("ID/PASS"), 5280, 1140);
    QPushButton *idPass = makeButton(this, QStringLiteral("Command1"), QStringLiteral("ID/PASS"), 240, 300, 1440, 480);
    QPushButton *server = makeButton(this, QStringLiteral("Command2"), QStringLiteral("POPサーバー"), 1920, 300, 1440, 480);
    QPushButton *receive = makeButton(this, QStringLiteral("Command3"), QStringLiteral("受信の設定"), 3600, 300, 1440, 480);
    connect(idPass, &QPushButton::clicked, this, [] { Windows::show(QStringLiteral("IdPassForm")); });
    connect(server, &QPushButton::clicked, this, [] { Windows::show(QStringLiteral("OptionForm")); });
    connect(receive, &QPushButton::clicked, this, [] { Windows::show(QStringLiteral("ReceiveOptionsForm")); });
}

void SetForm::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        forgetSelf(this);
}

}  // namespace korvane::settings
