#pragma once
// Window helpers shared by every window.
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <vector>

class QLineEdit;
class QWidget;

namespace korvane {

// Positions in the window designs are in twips, 15 to the pixel.
constexpr int twips(int t) { return t / 15; }
inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}
// Places a widget at a position and size given in twips.
void placeTwips(QWidget *w, int left, int top, int width, int height);

// Waits at least `ms` milliseconds while window events keep being dispatched
// (timers tick, other clicks are handled). Sleeps in a local event loop; it
// does not burn the CPU.
void pauseWithEvents(int ms);

// A control of a window design: named after the design, placed in twips.
template <class T>
T *designControl(QWidget *parent, const QString &name, int left, int top, int width, int height)
{
    auto *control = new T(parent);
    control->setObjectName(name);
    placeTwips(control, left, top, width, height);
    return control;
}

// A label of a window design with its caption.
QLabel *designLabel(QWidget *parent, const QString &name, const QString &text, int left, int top, int width,
                    int height);

// The short pressed-button feedback of a launcher: disabled (drawn greyed,
// deaf to clicks) for 50 ms, then enabled again.
void flashLabel(QWidget *label);
// The same feedback without waiting for it: the launcher's action starts at
// once and the label is enabled again 50 ms later, with the events.
void flashLabelMeanwhile(QWidget *label);

// A label that reports clicks and the mouse entering it, drawn transparent
// over whatever lies beneath. A label something listens to for clicks is a
// button for the keyboard as well: Tab reaches it, Enter or Space clicks it,
// a dotted frame shows the focus, and its access key (Alt and a letter)
// clicks it from anywhere in its window. Its accessible name is its caption
// without the blanks that place it.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(const QString &text = QString(), QWidget *parent = nullptr);

    // Alt+`key` clicks the label while its window is active.
    void setAccessKey(QChar key);
    QChar accessKey() const { return accessKey_; }

    // A caption as read aloud: without the blanks (ASCII or full-width)
    // and without an access key's "&".
    static QString spokenCaption(const QString &caption);

signals:
    void clicked();
    void hovered();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void connectNotify(const QMetaMethod &signal) override;

private:
    QChar accessKey_;
};

// Gives every control of a window that has no accessible name the caption a
// sighted user reads for it: its own text, the label that names it (its
// buddy) or the caption beside or above it.
void nameControlsForAssistiveTech(QWidget *window);
// Whether a widget is a control of its own that Tab reaches (so it needs an
// accessible name), not a part of another control.
bool isNamedControl(const QWidget *w);
// Tab walks `controls` in the order given (the reading order of a window);
// a hidden one is passed over while it is hidden.
void setTabChain(const QList<QWidget *> &controls);

// Sets the font family used for the design's "ＭＳ Ｐゴシック" and friends; the
// family name is kept so that fontconfig picks the Japanese font it maps it to.
QFont designFont(const QString &family, double pointSize, bool bold = false);
// Maps the font names of the designs ("ＭＳ Ｐゴシック", "ＭＳ ゴシック", "Book
// Antiqua") to the free fonts that look and measure alike, for systems whose
// font configuration does not map them itself. Once, at start.
void installDesignFonts();

// While it lives, the windows are drawn at most once per frame (about 60
// times a second) however often their contents change: a window's repaint
// that comes sooner is held back to the frame's end. What was held back is
// drawn when it goes, so the last state is what stays on screen. For work
// that changes the windows hundreds of times a second (a mail check).
class FramePacer final : public QObject {
public:
    static constexpr int FrameMs = 16;
    FramePacer();
    ~FramePacer() override;

    // Windows drawn since it was made.
    int frames() const { return frames_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void release();

    QElapsedTimer sinceFrame_;
    QTimer frameEnd_;
    std::vector<QPointer<QWidget>> held_;
    bool releasing_ = false;
    int frames_ = 0;
};

// Whether the clipboard (or, for QClipboard::Selection, the mouse
// selection of X11) holds anything at all.
bool clipboardHoldsData(QClipboard::Mode mode = QClipboard::Clipboard);

// Makes a password box hide what is typed behind "*", one to a letter,
// whatever the style would draw.
void showPasswordAsStars(QLineEdit *box);

// Puts text on the clipboard that the program chose itself (not the user):
// marked as the program's, so that it may be replaced without a word.
void putProgramTextOnClipboard(const QString &text);
// Whether the clipboard holds something of the user's: anything but nothing
// or the program's own text.
bool clipboardHoldsUsersData();

// Keeps a paste of nothing away from every editable box of the program.
// With nobody owning the X11 clipboard, Qt hands out clipboard data without
// a single format, and the text boxes (QTextEdit, QPlainTextEdit) read the
// first of its formats unchecked and crash. Installed on the application, it
// swallows the paste keys (Ctrl+V, Shift+Insert) and the middle click of the
// mouse selection while there is nothing to paste; a paste of something goes
// through untouched.
class PasteGuard final : public QObject {
public:
    // Installs one guard on the running application (once).
    static void install();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// Enter presses the push button that has the focus, in every window, as
// Space does (Qt leaves Enter to a dialog's default button, and to nothing
// in other windows). Installed on the application.
class EnterPressesButton final : public QObject {
public:
    static void install();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// Keeps every window of fixed size on its screen. A window larger than the
// screen's free area (the compose window at 200 % on a 1080-line screen)
// shrinks to it, and its controls scroll inside it at their places. Windows
// that fit are left as they are. Installed on the application.
class ScreenFit final : public QObject {
public:
    // Installs one on the running application (once).
    static void install();
    // Fits one window now (what the installed one does when it is shown).
    static void fit(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// Moves `window` beside `anchor` (to its right, else to its left) where the
// screen has room for both; leaves it where it is otherwise. True if moved.
bool placeBeside(QWidget *window, QWidget *anchor);
// Centres `window` on `anchor`, kept inside the screen.
void placeOver(QWidget *window, QWidget *anchor);

}  // namespace korvane
