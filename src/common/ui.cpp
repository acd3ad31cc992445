#include "ui.h"

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

}  // namespace korvane
