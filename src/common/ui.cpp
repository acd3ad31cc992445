#include "ui.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

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

void flashLabel(QWidget *label)
{
    QPointer<QWidget> guard(label);
    label->setEnabled(false);
    pauseWithEvents(50);
    if (guard)
        guard->setEnabled(true);
}

void flashLabelMeanwhile(QWidget *label)
{
    label->setEnabled(false);
    QTimer::singleShot(50, label, [label] { label->setEnabled(true); });
}

ClickLabel::ClickLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && isEnabled() && rect().contains(event->position().toPoint()))
        emit clicked();
}

void ClickLabel::enterEvent(QEnterEvent *event)
{
    QLabel::enterEvent(event);
    emit hovered();
}

QFont designFont(const QString &family, double pointSize, bool bold)
{
    QFont f(family);
    // The proportional Japanese font lacks a few signs (♪ among them); they
    // come from its fixed-width sibling rather than from whichever font the
    // system picks for the script around them, so that a line never mixes
    // two drawings of one sign.
    if (family == QStringLiteral("ＭＳ Ｐゴシック"))
        f.setFamilies({family, QStringLiteral("ＭＳ ゴシック")});
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

}  // namespace korvane
