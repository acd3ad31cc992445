#pragma once
// The mail check's view on the registered windows: the main window `Mainform`
// (status line Label17, scratch field Text5), the pilgrimage display, the
// history window `TyakuForm` (viewer boxes Text7, Text8, Text9, rtfEd, loaded
// hidden when it is not open) and the credentials window `IdPassForm`.
// Windows are looked up by name at every step, so a window closed during a
// check is simply loaded again or, when none is registered under that name,
// the check goes on with its texts held here.
//
// While the view lives the windows are drawn at most once per frame, and the
// viewer boxes are filled at most once per frame, with the mail shown last,
// and once more when the view goes: a check of many mails does not lay out
// every mail's body in boxes that are seen for a few milliseconds. What the
// check reads back from them is what they hold once filled.
#include "common/ui.h"
#include "mailcheck/mailcheck_logic.h"

#include <QHash>
#include <QPointer>
#include <QTimer>

#include <optional>

namespace korvane::mail {

class WindowsMailCheckView : public MailCheckView {
public:
    WindowsMailCheckView();
    // Fills the viewer boxes with what waits for them.
    ~WindowsMailCheckView() override;
    WindowsMailCheckView(const WindowsMailCheckView &) = delete;
    WindowsMailCheckView &operator=(const WindowsMailCheckView &) = delete;

    void setStatus(const QString &text) override;
    void setCredentialBoxes(const QString &userId, const QString &password) override;
    void showCredentialsWindow() override;
    void progressStep() override;
    void undoProgressStep() override;
    void mailFetched() override;
    void showInViewer(const ViewerTexts &texts) override;
    void appendToViewerBody(const QString &line) override;
    ViewerTexts viewerTexts() const override;
    QWidget *dialogParent() const override;

    // The text a multi-line box gives back after it was given `text`: every
    // line break becomes LF, a no-break space a space.
    static QString asEditorHoldsIt(const QString &text);

    // The first mail put into the viewer since the view was made.
    const std::optional<ViewerTexts> &firstShown() const { return firstShown_; }

private:
    enum class Unseen { Wait, Fill };
    void fillViewer(Unseen unseen);
    QWidget *knownBox(const QString &window, const QString &name) const;

    long long counterBeforeStep_ = 0;
    std::optional<ViewerTexts> firstShown_;
    ViewerTexts fallback_;  // used for boxes that no registered window holds
    bool viewerWaiting_ = false;  // fallback_ is still to go into the boxes
    QTimer fillViewer_;
    FramePacer pacer_;
    mutable QHash<QString, QPointer<QWidget>> boxes_;
};

// The check on the registered windows with the transport of nmail.h; what
// checkMail() runs. `view` null: a WindowsMailCheckView.
MailCheckResult runMailCheck(MailCheckView *view = nullptr);

}  // namespace korvane::mail
