#pragma once
// The main window `Mainform`: the map of the pilgrimage with the pilgrim's
// temple marked, the launchers on the left, the small buttons on the right,
// the status line, the hint box, the clock and the hidden fields other
// windows read and write by name.
//
// Controls by kind (findChild): labels are ClickLabel (a QLabel); Text1 (the
// temple notes) and Text7 (the hint box) are QPlainTextEdit, made once the
// first frame has been drawn (makeTextBoxes); the hidden fields Text2, Text4,
// Text5, Text6, Text8 and Text9 are QLineEdit; Command1 to Command4 are
// QPushButton; Image2 is the map (pilgrimage::MapArea); Timer2 and
// tmrCharaStep are QTimer.
#include <QDateTime>
#include <QWidget>

class QPlainTextEdit;

namespace korvane::mail {
struct CheckSummary;
}

namespace korvane::app {

class AutoCheck;
class DesktopNotifier;
class PictureBatch;

class Mainform : public QWidget {
    Q_OBJECT
public:
    // The design's client area, in twips.
    static constexpr int ClientWidth = 7800;
    static constexpr int ClientHeight = 4995;
    static const QString Caption;
    // The user's guide shipped with the program ("     HP" opens it); empty
    // when it cannot be found.
    static QString userGuidePath();

    explicit Mainform(QWidget *parent = nullptr);

    // The start-up sequence of the program; run once, before the window is
    // first shown.
    void startUp();
    // Shows the window centred on the screen.
    void showCentred();
    // Makes the two text boxes, Text1 and Text7, which the first frame does
    // not show: once that frame has been drawn, or at once when something
    // asks for one before. Does nothing when they exist.
    void makeTextBoxes();

    // The clock text: date, two blanks, time.
    static QString clockText(const QDateTime &when);

    // The automatic mail check, set from the receive options.
    AutoCheck *autoCheck() const { return autoCheck_; }
    // The desktop notification after mail came in (tests give it their bus).
    void setNotifier(DesktopNotifier *notifier);

    ~Mainform() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void openUserGuide();
    void buildControls(PictureBatch &pictures);
    void buildHiddenFields();
    void connectLaunchers();
    void showHint(const QString &text);
    void fitHintBox();
    void hideHint();
    void refreshClock();
    void setUpDailyChecks();
    void checkFinished(const mail::CheckSummary &summary);
    void bringForward();

    QPlainTextEdit *hintBox_ = nullptr;
    AutoCheck *autoCheck_ = nullptr;
    DesktopNotifier *notifier_ = nullptr;
};

// Registers Mainform with the window registry.
void registerMainform();

}  // namespace korvane::app
