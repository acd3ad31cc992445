#include "maparea.h"

#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QtMath>

#include <algorithm>

namespace korvane::pilgrimage {

MapArea::MapArea(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

namespace {

// The device pixels of an area of `size` at pixel ratio `ratio`.
QSize devicePixels(QSize size, qreal ratio)
{
    return QSize(qCeil(size.width() * ratio), qCeil(size.height() * ratio));
}

}  // namespace

void MapArea::setMapPicture(const QImage &picture, const QImage &stretched)
{
    map_ = picture.convertToFormat(QImage::Format_RGB32);
    scaled_ = stretched;
    scaledFrom_ = map_.cacheKey();
    scaleMap();
    update();
}

QImage MapArea::stretchedMap(const QImage &picture, QSize size, qreal ratio)
{
    if (picture.isNull() || size.isEmpty())
        return QImage();
    QImage stretched = picture.convertToFormat(QImage::Format_RGB32)
                           .scaled(devicePixels(size, ratio), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    stretched.setDevicePixelRatio(ratio);
    return stretched;
}

void MapArea::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    scaleMap();
}

// The map is stretched to the widget's own device pixels (twice as many on a
// screen of twice the density), so painting copies it one to one.
void MapArea::scaleMap()
{
    const qreal ratio = devicePixelRatioF();
    if (map_.isNull() || size().isEmpty()) {
        scaled_ = QImage();
        return;
    }
    // A resize to the size it has (the one sent when the window is first
    // shown) keeps the stretched map: stretching it smoothly costs more than
    // the rest of the window's first frame.
    if (scaled_.size() == devicePixels(size(), ratio) && scaled_.devicePixelRatio() == ratio
        && scaledFrom_ == map_.cacheKey())
        return;
    scaled_ = stretchedMap(map_, size(), ratio);
    scaledFrom_ = map_.cacheKey();
}

void MapArea::setSpriteSheet(const QImage &sheet)
{
    // Raster operations work bit by bit: keep the sheet opaque 32-bit.
    sheet_ = sheet.convertToFormat(QImage::Format_RGB32);
    // A sheet drawn at twice the size (device pixel ratio 2) has cells and
    // offsets twice as many pixels wide; it is drawn into the same square.
    sheetScale_ = std::max(1, qRound(sheet_.devicePixelRatio()));
    const int cell = CellSize * sheetScale_;
    for (int frame = 0; frame < 2; ++frame) {
        QImage figure = sheet_.copy(frame * cell, 0, cell, cell).convertToFormat(QImage::Format_ARGB32);
        const QImage mask = sheet_.copy(frame * cell, MaskOffset * sheetScale_, cell, cell);
        for (int y = 0; y < figure.height(); ++y) {
            auto *px = reinterpret_cast<QRgb *>(figure.scanLine(y));
            const auto *m = reinterpret_cast<const QRgb *>(mask.constScanLine(y));
            for (int x = 0; x < figure.width(); ++x)
                px[x] = qRgba(qRed(px[x]), qGreen(px[x]), qBlue(px[x]), qGray(m[x]));
        }
        blended_[frame] = figure;
    }
    update(pilgrimRect());
}

QRect MapArea::pilgrimRect() const
{
    const QPoint topLeft = parentWidget() ? PilgrimTarget - pos() : PilgrimTarget;
    return QRect(topLeft, QSize(CellSize, CellSize));
}

void MapArea::stepPilgrim()
{
    charaFrame_ = charaFrame_ == 0 ? 1 : 0;
    update(pilgrimRect());
}

void MapArea::paintEvent(QPaintEvent *event)
{
    // moved to a screen of another density
    if (!scaled_.isNull() && scaled_.devicePixelRatio() != devicePixelRatioF())
        scaleMap();
    QPainter p(this);
    if (scaled_.isNull()) {
        p.fillRect(event->rect(), QColor(0x2a, 0x6f, 0xb5));
    } else {
        const qreal ratio = scaled_.devicePixelRatio();
        const QRectF area(event->rect());
        p.drawImage(area, scaled_, QRectF(area.topLeft() * ratio, area.size() * ratio));
    }

    if (sheet_.isNull())
        return;
    const QRect target = pilgrimRect();
    if (!event->rect().intersects(target))
        return;
    const int cell = CellSize * sheetScale_;
    const int x = cell * charaFrame_;
    if (p.paintEngine()->hasFeature(QPaintEngine::RasterOpModes)) {
        p.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
        p.drawImage(target, sheet_, QRect(x, MaskOffset * sheetScale_, cell, cell));
        p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        p.drawImage(target, sheet_, QRect(x, 0, cell, cell));
    } else {
        p.drawImage(target, blended_[charaFrame_]);
    }
}

}  // namespace korvane::pilgrimage
