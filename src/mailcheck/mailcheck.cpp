#include "mailcheck.h"

#include "common/dialogs.h"
#include "common/text.h"
#include "common/ui.h"
#include "common/windows.h"
#include "mailcheck/mailcheck_windows.h"
#include "pilgrimage/display.h"
#include "pilgrimage/progress.h"

#include <QLabel>
#include <QScopeGuard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>
#include <exception>

namespace korvane::mail {
namespace {

const QString MainWindow = QStringLiteral("Mainform");
const QString HistoryWindow = QStringLiteral("TyakuForm");
const QString CredentialsWindow = QStringLiteral("IdPassForm");

bool running = false;
MailCheck *current = nullptr;  // the check running now
CheckFinishedHandler finishedHandler;

QWidget *control(const QString &window, const QString &name)
{
    if (!Windows::isRegistered(window) && !Windows::loaded(window))
        return nullptr;
    return Windows::control<QWidget>(window, name);
}

// Text of a one-line or multi-line box, whatever kind it is.
bool setBoxText(QWidget *box, const QString &text)
{
    if (auto *e = qobject_cast<QLineEdit *>(box))
        e->setText(text);
    else if (auto *t = qobject_cast<QTextEdit *>(box))
        t->setPlainText(text);
    else if (auto *p = qobject_cast<QPlainTextEdit *>(box))
        p->setPlainText(text);
    else if (auto *l = qobject_cast<QLabel *>(box))
        l->setText(text);
    else
        return false;
    return true;
}

std::optional<QString> boxText(QWidget *box)
{
    if (auto *e = qobject_cast<QLineEdit *>(box))
        return e->text();
    if (auto *t = qobject_cast<QTextEdit *>(box))
        return t->toPlainText();
    if (auto *p = qobject_cast<QPlainTextEdit *>(box))
        return p->toPlainText();
    if (auto *l = qobject_cast<QLabel *>(box))
        return l->text();
    return std::nullopt;
}

// Held for the whole receive action: a second click does nothing meanwhile.
class RunningGuard {
public:
    RunningGuard() { running = true; }
    ~RunningGuard() { running = false; }
};

}  // namespace

void WindowsMailCheckView::setStatus(const QString &text)
{
    if (auto *label = qobject_cast<QLabel *>(control(MainWindow, QStringLiteral("Label17"))))
        label->setText(text);
}

void WindowsMailCheckView::setCredentialBoxes(const QString &userId, const QString &password)
{
    if (QWidget *id = control(CredentialsWindow, QStringLiteral("IdText")))
        setBoxText(id, userId);
    if (QWidget *pass = control(CredentialsWindow, QStringLiteral("PassText")))
        setBoxText(pass, password);
}

void WindowsMailCheckView::showCredentialsWindow()
{
    if (Windows::isRegistered(CredentialsWindow) || Windows::loaded(CredentialsWindow))
        Windows::show(CredentialsWindow);
}

void WindowsMailCheckView::progressStep()
{
    counterBeforeStep_ = pilgrimage::progressCounterValue();
    // Shown once per frame while the mails come in; the last step is shown
    // when the check ends.
    pilgrimage::advanceOneMailInFrame();
}

void WindowsMailCheckView::undoProgressStep()
{
    pilgrimage::storeProgressCounter(counterBeforeStep_);
    pilgrimage::showGuide();
    pilgrimage::showMap();
}

void WindowsMailCheckView::mailFetched()
{
    QWidget *field = knownBox(MainWindow, QStringLiteral("Text5"));
    if (auto current = boxText(field); current && !current->isEmpty())
        setBoxText(field, QString());
}

QWidget *WindowsMailCheckView::knownBox(const QString &window, const QString &name) const
{
    // Looked up by name once: a look-up walks the window's controls, and the
    // check asks for the same boxes for every mail.
    QPointer<QWidget> &known = boxes_[window + u'/' + name];
    if (!known)
        known = control(window, name);
    return known;
}

WindowsMailCheckView::WindowsMailCheckView()
{
    fillViewer_.setSingleShot(true);
    fillViewer_.setInterval(FramePacer::FrameMs);
    fillViewer_.callOnTimeout([this] { fillViewer(Unseen::Wait); });
}

WindowsMailCheckView::~WindowsMailCheckView()
{
    if (viewerWaiting_)
        fillViewer(Unseen::Fill);
    pilgrimage::showPendingStep();
}

QString WindowsMailCheckView::asEditorHoldsIt(const QString &text)
{
    QString out(text.size(), Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(out.data());
    const char16_t *p = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size;) {
        // The runs between the characters a box holds differently go as
        // they are.
        const qsizetype next = findBreakOrSpecial(p, i, size);
        o = std::copy(p + i, p + next, o);
        if (next == size)
            break;
        i = next;
        switch (p[i]) {
        case u'\r':
            if (i + 1 < size && p[i + 1] == u'\n')
                ++i;
            *o++ = u'\n';
            break;
        case QChar::Nbsp:
            *o++ = u' ';
            break;
        default:  // LF, a line or paragraph separator, where a frame begins or ends
            *o++ = u'\n';
        }
        ++i;
    }
    out.truncate(o - reinterpret_cast<const char16_t *>(out.constData()));
    return out;
}

void WindowsMailCheckView::showInViewer(const ViewerTexts &texts)
{
    if (!firstShown_)
        firstShown_ = texts;
    fallback_ = texts;
    viewerWaiting_ = true;
    // Once a frame.
    if (!fillViewer_.isActive())
        fillViewer_.start();
}

void WindowsMailCheckView::fillViewer(Unseen unseen)
{
    // A viewer nobody sees (its window hidden, as while mails come in) is
    // filled once its window is shown, or when the check ends.
    QWidget *body = knownBox(HistoryWindow, QStringLiteral("rtfEd"));
    if (unseen == Unseen::Wait && body && !body->window()->isVisible()) {
        fillViewer_.start();
        return;
    }
    viewerWaiting_ = false;
    fillViewer_.stop();
    if (QWidget *box = knownBox(HistoryWindow, QStringLiteral("Text7")))
        setBoxText(box, fallback_.subject);
    if (QWidget *box = knownBox(HistoryWindow, QStringLiteral("Text8")))
        setBoxText(box, fallback_.from);
    if (QWidget *box = knownBox(HistoryWindow, QStringLiteral("Text9")))
        setBoxText(box, fallback_.date);
    if (QWidget *box = knownBox(HistoryWindow, QStringLiteral("rtfEd")))
        setBoxText(box, fallback_.body);
}

void WindowsMailCheckView::appendToViewerBody(const QString &line)
{
    fallback_.body += QStringLiteral("\r\n") + line;
    if (viewerWaiting_)
        return;  // goes in with the rest
    QWidget *box = knownBox(HistoryWindow, QStringLiteral("rtfEd"));
    // Added at the end, without laying the whole body out again.
    if (auto *t = qobject_cast<QTextEdit *>(box)) {
        QTextCursor end(t->document());
        end.movePosition(QTextCursor::End);
        end.insertText(QStringLiteral("\n") + line);
    } else if (auto *p = qobject_cast<QPlainTextEdit *>(box)) {
        QTextCursor end(p->document());
        end.movePosition(QTextCursor::End);
        end.insertText(QStringLiteral("\n") + line);
    } else if (auto current = boxText(box)) {
        setBoxText(box, *current + QStringLiteral("\r\n") + line);
    }
}

ViewerTexts WindowsMailCheckView::viewerTexts() const
{
    ViewerTexts v = fallback_;
    if (viewerWaiting_) {
        // What the boxes hold once filled.
        auto held = [](QWidget *box, QString &text) {
            if (auto *e = qobject_cast<QLineEdit *>(box))
                text.truncate(e->maxLength());
            else if (qobject_cast<QTextEdit *>(box) || qobject_cast<QPlainTextEdit *>(box))
                text = asEditorHoldsIt(text);
        };
        held(knownBox(HistoryWindow, QStringLiteral("Text7")), v.subject);
        held(knownBox(HistoryWindow, QStringLiteral("Text8")), v.from);
        held(knownBox(HistoryWindow, QStringLiteral("Text9")), v.date);
        held(knownBox(HistoryWindow, QStringLiteral("rtfEd")), v.body);
        return v;
    }
    if (auto t = boxText(knownBox(HistoryWindow, QStringLiteral("Text7"))))
        v.subject = *t;
    if (auto t = boxText(knownBox(HistoryWindow, QStringLiteral("Text8"))))
        v.from = *t;
    if (auto t = boxText(knownBox(HistoryWindow, QStringLiteral("Text9"))))
        v.date = *t;
    if (auto t = boxText(knownBox(HistoryWindow, QStringLiteral("rtfEd"))))
        v.body = *t;
    return v;
}

QWidget *WindowsMailCheckView::dialogParent() const
{
    return Windows::loaded(MainWindow);
}

MailCheckResult runMailCheck(MailCheckView *view)
{
    WindowsMailCheckView windowsView;
    MailCheckView &v = view ? *view : windowsView;
    try {
        MailCheck check(v, makeNMailTransport());
        MailCheck *outer = current;
        current = &check;
        auto restore = qScopeGuard([&] { current = outer; });
        const MailCheckResult result = check.run();
        if (finishedHandler) {
            CheckSummary summary;
            summary.received = result.received;
            if (auto *shown = dynamic_cast<WindowsMailCheckView *>(&v); shown && shown->firstShown()) {
                summary.firstFrom = shown->firstShown()->from;
                summary.firstSubject = shown->firstShown()->subject;
            }
            finishedHandler(summary);
        }
        return result;
    } catch (const std::exception &e) {
        dialogs().notice(v.dialogParent(), QStringLiteral("メールの受信中にエラーが起きました。\n%1").arg(e.what()),
                         ErrorTitle, Dialogs::Icon::Critical);
        v.setStatus(checktext::NotReceived);
        MailCheckResult r;
        r.stopped = true;
        return r;
    }
}

void receiveLabelClicked()
{
    if (running) {
        // A second click offers to stop the check; the mails not yet
        // received stay on the server.
        // Nothing more is asked of the server while the question is open.
        if (!current)
            return;
        MailCheck *asked = current;
        asked->holdFetching(true);
        const bool stop = dialogs().question(Windows::loaded(MainWindow), checktext::StopQuestion);
        if (current == asked) {
            if (stop)
                asked->cancel();
            asked->holdFetching(false);
        }
        return;
    }
    RunningGuard guard;
    if (auto *status = qobject_cast<QLabel *>(control(MainWindow, QStringLiteral("Label17"))))
        status->setText(checktext::Receiving);
    // The label flashes while the check begins: the check does not wait
    // for it.
    if (QWidget *label = control(MainWindow, QStringLiteral("Label3")))
        flashLabelMeanwhile(label);
    runMailCheck();
}

void checkMail()
{
    if (running)
        return;
    RunningGuard guard;
    runMailCheck();
}

bool isCheckRunning()
{
    return running;
}

void setCheckFinishedHandler(CheckFinishedHandler handler)
{
    finishedHandler = std::move(handler);
}

}  // namespace korvane::mail
