#include "maparea.h"

#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>

namespace korvane::pilgrimage {

MapArea::MapArea(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MapArea::setMapPicture(const QImage &picture)
{
    map_ = picture.convertToFormat(QImage::Format_RGB32);
    scaleMap();
    update();
}

void MapArea::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    scaleMap();
}

void MapArea::scaleMap()
{
    if (map_.isNull() || size().isEmpty())
        scaled_ = QImage();
    else
        scaled_ = map_.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void MapArea::setSpriteSheet(const QImage &sheet)
{
    // Raster operations work bit by bit: keep the sheet opaque 32-bit.
    sheet_ = sheet.convertToFormat(QImage::Format_RGB32);
    for (int frame = 0; frame < 2; ++frame) {
        QImage figure = sheet_.copy(frame * CellSize, 0, CellSize, CellSize)
                            .convertToFormat(QImage::Format_ARGB32);
        const QImage mask = sheet_.copy(frame * CellSize, MaskOffset, CellSize, CellSize);
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
    QPainter p(this);
    if (scaled_.isNull())
        p.fillRect(event->rect(), QColor(0x2a, 0x6f, 0xb5));
    else
        p.drawImage(event->rect().topLeft(), scaled_, event->rect());

    if (sheet_.isNull())
        return;
    const QRect target = pilgrimRect();
    if (!event->rect().intersects(target))
        return;
    const int x = CellSize * charaFrame_;
    if (p.paintEngine()->hasFeature(QPaintEngine::RasterOpModes)) {
        p.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
        p.drawImage(target.topLeft(), sheet_, QRect(x, MaskOffset, CellSize, CellSize));
        p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        p.drawImage(target.topLeft(), sheet_, QRect(x, 0, CellSize, CellSize));
    } else {
        p.drawImage(target.topLeft(), blended_[charaFrame_]);
    }
}

}  // namespace korvane::pilgrimage
