#include "dialogs.h"

#include "desktopservices.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>

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

int Dialogs::titleBarWidth(const QString &title)
{
    // Title bars draw their caption in a bold variant of the desktop font;
    // the window manager's icon and its three buttons take about 120 pixels.
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPointSizeF(std::max(font.pointSizeF(), 10.0));
    return QFontMetrics(font).horizontalAdvance(title) + 120;
}

std::unique_ptr<QMessageBox> Dialogs::messageBox(QWidget *parent, const QString &text, const QString &title,
                                                 Icon icon, QMessageBox::StandardButtons buttons)
{
    auto box = std::make_unique<QMessageBox>(toIcon(icon), title, text, buttons, parent);
    // A message box sizes itself to its text and ignores a minimum width; an
    // empty item across the bottom of its grid makes the room instead.
    if (auto *grid = qobject_cast<QGridLayout *>(box->layout())) {
        const QMargins m = grid->contentsMargins();
        const int room = titleBarWidth(title) - m.left() - m.right();
        grid->addItem(new QSpacerItem(room, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    return box;
}

void Dialogs::notice(QWidget *parent, const QString &text, const QString &title, Icon icon)
{
    messageBox(parent, text, title, icon, QMessageBox::Ok)->exec();
}

bool Dialogs::question(QWidget *parent, const QString &text, const QString &title, Icon icon, bool defaultYes)
{
    auto box = messageBox(parent, text, title, icon, QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
    return box->exec() == QMessageBox::Yes;
}

std::optional<QString> Dialogs::input(QWidget *parent, const QString &prompt, const QString &title,
                                      const QString &defaultText)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    dialog.setMinimumWidth(titleBarWidth(title));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
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
    // The printer came from the desktop module, so the module is there.
    desktop::Services *services = desktop::services();
    return services && services->showPrintDialog(parent, printer);
}

}  // namespace korvane
