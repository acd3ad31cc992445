#pragma once
// Every message box, input box and file dialog of the program goes through
// this one service, so that tests can answer them from a script instead of
// clicking modal boxes.
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QWidget;
class QPrinter;

namespace korvane {

// The program's own title for notices.
inline const QString ProgramTitle = QStringLiteral("Korvane（ハルモ）");
// The title of Yes/No questions.
inline const QString QuestionTitle = QStringLiteral("確認");
// The title of errors of the mail transport.
inline const QString ErrorTitle = QStringLiteral("エラー");

class Dialogs {
public:
    enum class Icon { None, Information, Exclamation, Critical, Question };
    enum class Kind { Notice, Question, Input, OpenFile, SaveFile, Print };

    virtual ~Dialogs() = default;

    // A message with an OK button.
    virtual void notice(QWidget *parent, const QString &text, const QString &title = ProgramTitle,
                        Icon icon = Icon::None);
    // A Yes/No question; true for Yes. `defaultYes` false makes No the
    // button Enter presses, for questions whose Yes throws something away.
    virtual bool question(QWidget *parent, const QString &text, const QString &title = QuestionTitle,
                          Icon icon = Icon::Question, bool defaultYes = true);
    // An input box; nothing when cancelled.
    virtual std::optional<QString> input(QWidget *parent, const QString &prompt,
                                         const QString &title = ProgramTitle,
                                         const QString &defaultText = QString());
    // File dialogs; an empty string when cancelled.
    virtual QString openFile(QWidget *parent, const QString &caption, const QString &folder,
                             const QString &filter);
    virtual QString saveFile(QWidget *parent, const QString &caption, const QString &folder,
                             const QString &filter);
    // The printer dialog; true when the user chose to print. The printer
    // holds the choices made (copies, page range).
    virtual bool print(QWidget *parent, QPrinter *printer);

    // The real message box of notice() and question(), not yet shown: wide
    // enough that the window title is never shortened with "…" by the title
    // bar, however short the text.
    static std::unique_ptr<QMessageBox> messageBox(QWidget *parent, const QString &text, const QString &title,
                                                   Icon icon, QMessageBox::StandardButtons buttons);
    // The width a window needs so that the title bar shows `title` whole,
    // with the window manager's buttons beside it.
    static int titleBarWidth(const QString &title);

    // The service in use (the real one unless a test installed another).
    static Dialogs &instance();
    // Installs a replacement (not owned); nullptr restores the real one.
    static void install(Dialogs *dialogs);
};

// Shorthands for the service in use.
inline Dialogs &dialogs() { return Dialogs::instance(); }

}  // namespace korvane
