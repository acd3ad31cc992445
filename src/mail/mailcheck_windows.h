#pragma once
// The mail check's view on the registered windows: the main window `Mainform`
// (status line Label17, scratch field Text5), the pilgrimage display, the
// history window `TyakuForm` (viewer boxes Text7, Text8, Text9, rtfEd, loaded
// hidden when it is not open) and the credentials window `IdPassForm`.
// Windows are looked up by name at every step, so a window closed during a
// check is simply loaded again or, when none is registered under that name,
// the check goes on with its texts held here.
#include "mail/mailcheck_logic.h"

namespace korvane::mail {

class WindowsMailCheckView : public MailCheckView {
public:
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

private:
    long long counterBeforeStep_ = 0;
    ViewerTexts fallback_;  // used for boxes that no registered window holds
};

// The check on the registered windows with the transport of nmail.h; what
// checkMail() runs. `view` null: a WindowsMailCheckView.
MailCheckResult runMailCheck(MailCheckView *view = nullptr);

}  // namespace korvane::mail
