#include "dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace korvane {
namespace {

Dialogs *&installed()
{
    static Dialogs *d = nullptr;
    return d;
}

QMessageBox::Icon toIcon(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Icon::Information: return QMessageBox::Information;
    case Dialogs::Icon::Exclamation: return QMessageBox::Warning;
    case Dialogs::Icon::Critical: return QMessageBox::Critical;
    case Dialogs::Icon::Question: return QMessageBox::Question;
    case Dialogs::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

Dialogs &Dialogs::instance()
{
    static Dialogs real;
    return installed() ? *installed() : real;
}

void Dialogs::install(Dialogs *dialogs)
{
    installed() = dialogs;
}

void Dialogs::notice(QWidget *parent, const QString &text, const QString &title, Icon icon)
{
    QMessageBox box(toIcon(icon), title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool Dialogs::question(QWidget *parent, const QString &text, const QString &title, Icon icon)
{
    QMessageBox box(toIcon(icon), title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> Dialogs::input(QWidget *parent, const QString &prompt, const QString &title,
                                      const QString &defaultText)
{
    bool ok = false;
    QString text = QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString Dialogs::openFile(QWidget *parent, const QString &caption, const QString &folder, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

QString Dialogs::saveFile(QWidget *parent, const QString &caption, const QString &folder, const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, folder, filter);
}

}  // namespace korvane

namespace korvane {

bool Dialogs::print(QWidget *parent, QPrinter *printer)
{
    QPrintDialog dialog(printer, parent);
    if (printer->printRange() == QPrinter::Selection)
        dialog.setOption(QAbstractPrintDialog::PrintSelection);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace korvane
