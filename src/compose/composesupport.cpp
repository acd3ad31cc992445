#include "composesupport.h"

#include "common/background.h"
#include "common/dialogs.h"
#include "mail/nmail.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>

namespace korvane::compose {

AttachmentControls::AttachmentControls(QWidget *window, QLineEdit *paths, QListWidget *list, QPushButton *first,
                                       QPushButton *further, QPushButton *cancel)
    : window_(window), paths_(paths), list_(list), first_(first), further_(further), cancel_(cancel)
{
}

QString AttachmentControls::askForFile()
{
    return dialogs().openFile(window_, QStringLiteral("添付File"), QString(), QStringLiteral("すべてのファイル (*)"));
}

void AttachmentControls::addFirst()
{
    further_->setEnabled(true);
    const QString path = askForFile();
    if (!path.isEmpty()) {
        paths_->setText(path);
        list_->addItem(path);
    }
    first_->setEnabled(false);
}

void AttachmentControls::addFurther()
{
    list_->show();
    if (paths_->text().isEmpty())
        return;
    const QString path = askForFile();
    if (!path.isEmpty()) {
        paths_->setText(paths_->text() + u',' + path);
        list_->addItem(path);
    }
}

void AttachmentControls::cancel()
{
    paths_->clear();
    list_->clear();
    list_->hide();
    further_->setEnabled(false);
    cancel_->setEnabled(false);
    first_->setEnabled(true);
}

SendOutcome sendMail(const QString &server, const QString &to, const QString &from, const QString &subject,
                     const QString &body, const QString &attachments)
{
    return runOffUiThread([=] {
        SendOutcome outcome;
        outcome.sent = nmail::NMailSmtpSendMail(server, to, from, subject, body, attachments) >= 0;
        // The transport keeps the reason per thread: ask on the same thread.
        if (!outcome.sent)
            outcome.error = nmail::NMailGetMessage();
        return outcome;
    });
}

InputFreeze::InputFreeze(QWidget *window)
{
    const QList<QWidget *> children = window->findChildren<QWidget *>();
    for (QWidget *w : children) {
        const bool input = qobject_cast<QAbstractButton *>(w) || qobject_cast<QLineEdit *>(w) ||
                           qobject_cast<QPlainTextEdit *>(w) || qobject_cast<QTextEdit *>(w) ||
                           qobject_cast<QComboBox *>(w) || qobject_cast<QAbstractItemView *>(w);
        if (input && w->isEnabled() && !qobject_cast<QLineEdit *>(w->parentWidget()) &&
            !qobject_cast<QComboBox *>(w->parentWidget())) {
            w->setEnabled(false);
            frozen_.append(w);
        }
    }
}

InputFreeze::~InputFreeze()
{
    for (const QPointer<QWidget> &w : frozen_)
        if (w)
            w->setEnabled(true);
}

}  // namespace korvane::compose
