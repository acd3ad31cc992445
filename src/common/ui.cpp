#include "ui.h"

#include <QAbstractScrollArea>
#include <QClipboard>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFontDatabase>
#include <QHash>
#include <QMutex>
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMetaMethod>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QProxyStyle>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStyle>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTextEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <limits>

namespace korvane {

void placeTwips(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(twipsRect(left, top, width, height));
}

QLabel *designLabel(QWidget *parent, const QString &name, const QString &text, int left, int top, int width,
                    int height)
{
    auto *label = designControl<QLabel>(parent, name, left, top, width, height);
    label->setText(text);
    return label;
}

void pauseWithEvents(int ms)
{
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms + 1, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::AllEvents);
}

namespace {

// Enables a flashed label again; the keyboard focus it had before the flash
// (a disabled widget loses it) comes back, unless the user moved it meanwhile.
void endFlash(QWidget *label, bool hadFocus)
{
    label->setEnabled(true);
    if (hadFocus && label->isVisible()) {
        QWidget *now = label->window()->focusWidget();
        if (!now || now == label || now->focusPolicy() == Qt::NoFocus || now == label->nextInFocusChain())
            label->setFocus(Qt::OtherFocusReason);
    }
}

}  // namespace

void flashLabel(QWidget *label)
{
    QPointer<QWidget> guard(label);
    const bool hadFocus = label->hasFocus();
    label->setEnabled(false);
    pauseWithEvents(50);
    if (guard)
        endFlash(guard, hadFocus);
}

void flashLabelMeanwhile(QWidget *label)
{
    const bool hadFocus = label->hasFocus();
    label->setEnabled(false);
    QTimer::singleShot(50, label, [label, hadFocus] { endFlash(label, hadFocus); });
}

namespace {

// Assistive technology sees a label clicked for an action as a button it
// can press.
class ClickLabelAccessible : public QAccessibleWidget {
public:
    explicit ClickLabelAccessible(ClickLabel *label) : QAccessibleWidget(label, QAccessible::Button) {}

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &action) override
    {
        auto *label = static_cast<ClickLabel *>(widget());
        if (action == pressAction() && label->isEnabled())
            emit label->clicked();
    }
    QStringList keyBindingsForAction(const QString &action) const override
    {
        const QChar key = static_cast<ClickLabel *>(widget())->accessKey();
        if (action != pressAction() || key.isNull())
            return {};
        return {QStringLiteral("Alt+%1").arg(key)};
    }
};

QAccessibleInterface *clickLabelAccessible(const QString &className, QObject *object)
{
    auto *label = className == QLatin1String("korvane::ClickLabel") ? qobject_cast<ClickLabel *>(object) : nullptr;
    if (!label || label->focusPolicy() == Qt::NoFocus)
        return nullptr;  // a caption or a picture: the plain label's view
    return new ClickLabelAccessible(label);
}

}  // namespace

ClickLabel::ClickLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(clickLabelAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

QString ClickLabel::spokenCaption(const QString &caption)
{
    QString out;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        const QChar c = caption[i];
        if (c == u'&' && i + 1 < caption.size() && caption[i + 1] != u'&')
            continue;
        if (!c.isSpace())
            out += c;
    }
    return out;
}

void ClickLabel::connectNotify(const QMetaMethod &signal)
{
    QLabel::connectNotify(signal);
    // A label clicked for an action is a button: Tab stops at it.
    if (signal != QMetaMethod::fromSignal(&ClickLabel::clicked))
        return;
    if (focusPolicy() == Qt::NoFocus)
        setFocusPolicy(Qt::StrongFocus);
    if (accessibleName().isEmpty())
        setAccessibleName(spokenCaption(text()));
}

void ClickLabel::setAccessKey(QChar key)
{
    accessKey_ = key.toUpper();
    auto *shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key(accessKey_.unicode())), this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this] {
        if (isEnabled() && isVisible())
            emit clicked();
    });
    setAccessibleDescription(QStringLiteral("Alt+%1").arg(accessKey_));
}

void ClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && isEnabled() && rect().contains(event->position().toPoint()))
        emit clicked();
}

void ClickLabel::keyPressEvent(QKeyEvent *event)
{
    if (focusPolicy() != Qt::NoFocus && !event->isAutoRepeat() && event->modifiers() == Qt::NoModifier
        && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space)) {
        event->accept();
        if (isEnabled())
            emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

void ClickLabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    // A dotted frame in the caption's colour: it shows on the light bars and
    // on the map alike.
    QPainter p(this);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ClickLabel::enterEvent(QEnterEvent *event)
{
    QLabel::enterEvent(event);
    emit hovered();
}

namespace {

// The caption of a label for a control; empty for labels that hold a
// picture or nothing.
QString captionOf(const QLabel *label)
{
    if (!label || label->text().isEmpty() || label->textFormat() == Qt::RichText)
        return QString();
    return ClickLabel::spokenCaption(label->text());
}

// Controls with no caption on the screen, named as a sighted user knows
// them: by what they hold.
const struct {
    const char *window;
    const char *control;
    const char16_t *name;
} UncaptionedControls[] = {
    {"Mainform", "Text1", u"霊場の案内"},
    {"Mainform", "Text7", u"説明"},
    {"WriteForm", "AttachText", u"添付ファイル"},
    {"WriteForm", "Text4", u"貼付け欄"},
    {"WriteForm", "Check2", u"貼付け欄の印"},
    {"TyakuForm", "MailListView", u"メールの一覧"},
    {"TyakuForm", "Text7", u"件名"},
    {"TyakuForm", "Text8", u"差出人"},
    {"TyakuForm", "Text9", u"日付"},
    {"TyakuForm", "rtfEd", u"本文"},
    {"TyakuForm", "Text6", u"コピーする文字"},
    {"TyakuForm", "Text4", u"ボタンの説明"},
    {"FriendForm", "MailListView", u"アドレスの一覧"},
    {"KaoForm", "SSTab1", u"顔文字のページ"},
    {"KakudaiForm", "UpDown1Up", u"文字を大きく"},
    {"KakudaiForm", "UpDown1Down", u"文字を小さく"},
};

QString uncaptionedName(const QWidget *window, const QWidget *w)
{
    const QString windowName = window->objectName();
    const QString name = w->objectName();
    for (const auto &c : UncaptionedControls) {
        if (windowName == QLatin1String(c.window) && name == QLatin1String(c.control))
            return QString::fromUtf16(c.name);
    }
    return QString();
}

// The title of the tab whose page holds the widget, if any.
QString tabTitle(const QWidget *w)
{
    for (const QWidget *page = w; page && !page->isWindow(); page = page->parentWidget()) {
        const QWidget *stack = page->parentWidget();
        auto *tabs = stack ? qobject_cast<const QTabWidget *>(stack->parentWidget()) : nullptr;
        if (tabs && tabs->indexOf(const_cast<QWidget *>(page)) >= 0)
            return ClickLabel::spokenCaption(tabs->tabText(tabs->indexOf(const_cast<QWidget *>(page))));
    }
    return QString();
}

}  // namespace

bool isNamedControl(const QWidget *w)
{
    if (!(w->focusPolicy() & Qt::TabFocus) || w->isWindow())
        return false;
    // Not a part of another control (a spin box's line edit, a combo box's
    // list, a scroll area's viewport).
    for (const QWidget *p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget()) {
        if (qobject_cast<const QAbstractSpinBox *>(p) || qobject_cast<const QComboBox *>(p)
            || qobject_cast<const QAbstractScrollArea *>(p))
            return false;
    }
    return true;
}

namespace {

// The nearest caption on the control's line to its left, else the nearest
// one just above it.
QString captionBeside(const QWidget *w, const QList<QLabel *> &labels)
{
    const QRect r = w->geometry();
    int best = std::numeric_limits<int>::max();
    QString name;
    for (QLabel *label : labels) {
        const QString caption = captionOf(label);
        if (label == w || caption.isEmpty() || label->parentWidget() != w->parentWidget()
            || qobject_cast<ClickLabel *>(label))
            continue;
        const QRect l = label->geometry();
        int distance = std::numeric_limits<int>::max();
        if (l.right() <= r.left() + 4 && l.center().y() >= r.top() && l.center().y() <= r.bottom())
            distance = r.left() - l.right();
        else if (l.bottom() <= r.top() + 4 && r.top() - l.bottom() < 2 * l.height() + 8 && l.left() < r.right()
                 && l.right() > r.left())
            distance = r.top() - l.bottom() + 1000;
        if (distance < best) {
            best = distance;
            name = caption;
        }
    }
    return name;
}

QString nameFor(const QWidget *window, const QWidget *w, const QList<QLabel *> &labels)
{
    if (QString name = uncaptionedName(window, w); !name.isEmpty())
        return name;
    if (auto *button = qobject_cast<const QAbstractButton *>(w); button && !button->text().isEmpty())
        return ClickLabel::spokenCaption(button->text());
    if (auto *label = qobject_cast<const QLabel *>(w))
        return captionOf(label);
    for (QLabel *label : labels) {
        if (label->buddy() == w && !captionOf(label).isEmpty())
            return captionOf(label);
    }
    if (QString name = tabTitle(w); !name.isEmpty())
        return name;
    return captionBeside(w, labels);
}

}  // namespace

void setTabChain(const QList<QWidget *> &controls)
{
    QWidget *previous = nullptr;
    for (QWidget *w : controls) {
        if (previous && w)
            QWidget::setTabOrder(previous, w);
        if (w)
            previous = w;
    }
}

void nameControlsForAssistiveTech(QWidget *window)
{
    const QList<QLabel *> labels = window->findChildren<QLabel *>();
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (!w->accessibleName().isEmpty() || !isNamedControl(w))
            continue;
        if (const QString name = nameFor(window, w, labels); !name.isEmpty())
            w->setAccessibleName(name);
    }
}

void installDesignFonts()
{
    // The windows name the fonts of their design; these are the free fonts
    // that look and measure alike, for systems whose font configuration does
    // not map the names itself.
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                                QStringLiteral("VL PGothic"), QStringLiteral("Noto Sans CJK JP")});
    QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"),
                               {QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"),
                                QStringLiteral("VL Gothic"), QStringLiteral("Noto Sans Mono CJK JP")});
    QFont::insertSubstitutions(QStringLiteral("Book Antiqua"),
                               {QStringLiteral("P052"), QStringLiteral("TeX Gyre Pagella"),
                                QStringLiteral("URW Palladio L"), QStringLiteral("Palatino")});
}

namespace {

// The installed face a design font is drawn with: the family itself where it
// is installed, else its first installed substitute (installDesignFonts),
// looked up once per family. Qt would find the same face, but only after
// asking the font configuration for the fallbacks of a family it does not
// know, for every script of every text: a sixth of the start-up.
QString installedFamily(const QString &family)
{
    static QMutex mutex;
    static QHash<QString, QString> resolved;
    QMutexLocker lock(&mutex);
    if (const auto it = resolved.constFind(family); it != resolved.constEnd())
        return *it;
    QString face = family;
    if (!QFontDatabase::hasFamily(family)) {
        const QStringList substitutes = QFont::substitutes(family);
        const auto found = std::find_if(substitutes.begin(), substitutes.end(),
                                        [](const QString &s) { return QFontDatabase::hasFamily(s); });
        if (found != substitutes.end())
            face = *found;
    }
    resolved.insert(family, face);
    return face;
}

}  // namespace

QFont designFont(const QString &family, double pointSize, bool bold)
{
    QFont f(installedFamily(family));
    // The proportional Japanese font lacks a few signs (♪ among them); they
    // come from its fixed-width sibling rather than from whichever font the
    // system picks for the script around them, so that a line never mixes
    // two drawings of one sign.
    if (family == QStringLiteral("ＭＳ Ｐゴシック"))
        f.setFamilies({installedFamily(family), installedFamily(QStringLiteral("ＭＳ ゴシック"))});
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    return f;
}

FramePacer::FramePacer()
{
    frameEnd_.setSingleShot(true);
    frameEnd_.callOnTimeout(this, [this] { release(); });
    QCoreApplication::instance()->installEventFilter(this);
}

FramePacer::~FramePacer()
{
    QCoreApplication::instance()->removeEventFilter(this);
    release();
}

bool FramePacer::eventFilter(QObject *watched, QEvent *event)
{
    // A window's drawing starts with an update request to its top widget.
    if (event->type() != QEvent::UpdateRequest || releasing_ || !watched->isWidgetType()
        || !static_cast<QWidget *>(watched)->isWindow())
        return false;
    if (!sinceFrame_.isValid() || sinceFrame_.hasExpired(FrameMs)) {
        sinceFrame_.start();
        ++frames_;
        return false;
    }
    // The window keeps its changes and asks for no other drawing until this
    // one is handed back.
    auto *window = static_cast<QWidget *>(watched);
    if (std::find(held_.begin(), held_.end(), window) == held_.end())
        held_.emplace_back(window);
    if (!frameEnd_.isActive())
        frameEnd_.start(int(qMax<qint64>(1, FrameMs - sinceFrame_.elapsed())));
    return true;
}

void FramePacer::release()
{
    frameEnd_.stop();
    std::vector<QPointer<QWidget>> held;
    held.swap(held_);
    if (held.empty())
        return;
    sinceFrame_.start();
    ++frames_;
    // Sent here rather than posted: drawn now, and not held back again.
    releasing_ = true;
    for (const QPointer<QWidget> &window : held) {
        if (window) {
            QEvent request(QEvent::UpdateRequest);
            QCoreApplication::sendEvent(window, &request);
        }
    }
    releasing_ = false;
}

bool clipboardHoldsData(QClipboard::Mode mode)
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    if (mode == QClipboard::Selection && !clipboard->supportsSelection())
        return false;
    const QMimeData *data = clipboard->mimeData(mode);
    return data && !data->formats().isEmpty();
}

namespace {

class PasswordStarStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returned) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return u'*';
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

}  // namespace

void showPasswordAsStars(QLineEdit *box)
{
    // A style of its own, drawn as the application's but for the mask.
    auto *style = new PasswordStarStyle(QStyleFactory::create(box->style()->name()));
    style->setParent(box);
    box->setStyle(style);
}

namespace {
// The format that marks the program's own clipboard text.
const QString ProgramTextFormat = QStringLiteral("application/x-korvane-program-text");
}  // namespace

void putProgramTextOnClipboard(const QString &text)
{
    auto *data = new QMimeData;
    data->setText(text);
    data->setData(ProgramTextFormat, QByteArray("1"));
    QGuiApplication::clipboard()->setMimeData(data);
}

bool clipboardHoldsUsersData()
{
    if (!clipboardHoldsData())
        return false;
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return !data->hasFormat(ProgramTextFormat);
}

namespace {

// One filter of a kind on the running application.
template <typename Filter>
void installOnApplication()
{
    static QPointer<Filter> filter;
    if (filter || !QCoreApplication::instance())
        return;
    filter = new Filter;
    filter->setParent(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(filter);
}

}  // namespace

void PasteGuard::install()
{
    installOnApplication<PasteGuard>();
}

void EnterPressesButton::install()
{
    installOnApplication<EnterPressesButton>();
}

bool EnterPressesButton::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) || key->isAutoRepeat()
        || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    auto *button = qobject_cast<QPushButton *>(watched);
    if (!button || !button->hasFocus() || !button->isEnabled())
        return false;
    button->click();
    return true;
}

namespace {

// The editable box an event goes to: the box itself, or the box whose inner
// area (the viewport of a text box) receives the mouse.
QWidget *editableBox(QObject *watched)
{
    if (!watched->isWidgetType())
        return nullptr;
    auto *w = static_cast<QWidget *>(watched);
    if (auto *line = qobject_cast<QLineEdit *>(w))
        return line->isReadOnly() ? nullptr : line;
    if (auto *text = qobject_cast<QTextEdit *>(w))
        return text->isReadOnly() ? nullptr : text;
    if (auto *plain = qobject_cast<QPlainTextEdit *>(w))
        return plain->isReadOnly() ? nullptr : plain;
    if (auto *area = qobject_cast<QAbstractScrollArea *>(w->parentWidget()); area && area->viewport() == w)
        return editableBox(area);
    return nullptr;
}

}  // namespace

bool PasteGuard::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (!key->matches(QKeySequence::Paste) || !editableBox(watched) || clipboardHoldsData(QClipboard::Clipboard))
            return false;
        key->accept();
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::MiddleButton || !editableBox(watched)
            || !QGuiApplication::clipboard()->supportsSelection() || clipboardHoldsData(QClipboard::Selection))
            return false;
        mouse->accept();
        return true;
    }
    default:
        return false;
    }
}

namespace {

// The frame the window manager puts around a window: known once the window
// is on screen, estimated before.
QMargins frameMargins(const QWidget *window)
{
    const QRect frame = window->frameGeometry();
    const QRect inner = window->geometry();
    if (frame != inner)
        return QMargins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                        frame.bottom() - inner.bottom());
    return QMargins(4, 28, 4, 4);
}

QRect freeArea(const QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

const char *const ScrollName = "screenFitScroll";
const char *const ContentSizeProperty = "screenFitContentSize";
const char *const ShownSizeProperty = "screenFitShownSize";

}  // namespace

void ScreenFit::install()
{
    installOnApplication<ScreenFit>();
}

void ScreenFit::fit(QWidget *window)
{
    const QRect area = freeArea(window);
    if (area.isEmpty())
        return;
    auto *scroll = window->findChild<QScrollArea *>(QLatin1String(ScrollName), Qt::FindDirectChildrenOnly);
    // The size the window's design gives it (kept while it scrolls).
    QSize design = window->maximumSize();
    if (scroll) {
        // Unless the window set itself another fixed size meanwhile, the
        // design's size is the one kept.
        const bool resized = window->minimumSize() == window->maximumSize()
                             && window->maximumSize() != window->property(ShownSizeProperty).toSize();
        if (!resized)
            design = window->property(ContentSizeProperty).toSize();
    } else if (window->minimumSize() != window->maximumSize() || window->layout()) {
        return;  // not a window of fixed size with its controls placed by hand
    }
    const QMargins frame = frameMargins(window);
    const QSize room(area.width() - frame.left() - frame.right(), area.height() - frame.top() - frame.bottom());
    if (!scroll && design.width() <= room.width() && design.height() <= room.height())
        return;
    if (!scroll) {
        // The controls move onto a page of the design's size that scrolls.
        scroll = new QScrollArea(window);
        scroll->setObjectName(QLatin1String(ScrollName));
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(false);
        auto *page = new QWidget;
        page->setObjectName(QStringLiteral("screenFitPage"));
        const auto children = window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        for (QWidget *child : children) {
            if (child == scroll || child->isWindow())
                continue;
            const QRect place = child->geometry();
            const bool shown = !child->isHidden();
            child->setParent(page);
            child->setGeometry(place);
            child->setVisible(shown);
        }
        scroll->setWidget(page);
        scroll->show();  // made while the window shows: not shown with it
    }
    window->setProperty(ContentSizeProperty, design);
    scroll->widget()->setFixedSize(design);
    // A scroll bar one way takes room the other way: given where there is some.
    const int bar = scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll);
    const int extraWidth = design.height() > room.height() ? bar : 0;
    const int extraHeight = design.width() > room.width() ? bar : 0;
    const QSize shown(std::min(design.width() + extraWidth, room.width()),
                      std::min(design.height() + extraHeight, room.height()));
    window->setProperty(ShownSizeProperty, shown);
    window->setFixedSize(shown);
    scroll->setGeometry(QRect(QPoint(0, 0), shown));
    // Where it would run off the screen, it comes back onto it.
    QRect frameRect(window->pos(), shown.grownBy(frame));
    if (!area.contains(frameRect)) {
        frameRect.moveLeft(std::clamp(frameRect.left(), area.left(), std::max(area.left(), area.right() - frameRect.width() + 1)));
        frameRect.moveTop(std::clamp(frameRect.top(), area.top(), std::max(area.top(), area.bottom() - frameRect.height() + 1)));
        window->move(frameRect.topLeft());
    }
}

bool ScreenFit::eventFilter(QObject *watched, QEvent *event)
{
    if ((event->type() == QEvent::Show || event->type() == QEvent::Resize) && watched->isWidgetType()) {
        auto *w = static_cast<QWidget *>(watched);
        const bool now = event->type() == QEvent::Show || w->isVisible();
        if (now && w->isWindow() && !w->property("screenFitBusy").toBool()) {
            w->setProperty("screenFitBusy", true);
            fit(w);
            w->setProperty("screenFitBusy", false);
        }
    }
    return false;
}

bool placeBeside(QWidget *window, QWidget *anchor)
{
    const QRect area = freeArea(anchor);
    const QRect anchorFrame = anchor->frameGeometry();
    const QSize size = window->size().grownBy(frameMargins(window));
    constexpr int gap = 8;
    const int top = std::clamp(anchorFrame.top(), area.top(), std::max(area.top(), area.bottom() - size.height() + 1));
    const QRect right(QPoint(anchorFrame.right() + 1 + gap, top), size);
    const QRect left(QPoint(anchorFrame.left() - gap - size.width(), top), size);
    for (const QRect &place : {right, left}) {
        if (area.contains(place)) {
            window->move(place.topLeft());
            return true;
        }
    }
    return false;
}

void placeOver(QWidget *window, QWidget *anchor)
{
    const QRect area = freeArea(anchor);
    QRect place(QPoint(), window->size().grownBy(frameMargins(window)));
    place.moveCenter(anchor->frameGeometry().center());
    place.moveLeft(std::clamp(place.left(), area.left(), std::max(area.left(), area.right() - place.width() + 1)));
    place.moveTop(std::clamp(place.top(), area.top(), std::max(area.top(), area.bottom() - place.height() + 1)));
    window->move(place.topLeft());
}

}  // namespace korvane
