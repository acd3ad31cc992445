#pragma once
// The map of the main window (`Image2`) with the walking pilgrim marking time
// on it. The pilgrim is painted in the map's own paint event, from the sprite
// sheet: the mask cell ORed onto the map (the figure's area turns white), then
// the figure cell ANDed onto it (its white background leaves the map as it
// was). `stepPilgrim` switches the step picture; only the pilgrim's 32 x 32
// square is repainted, so the program sleeps between steps.
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

namespace korvane::pilgrimage {

class MapArea : public QWidget {
    Q_OBJECT
public:
    // Where the pilgrim stands, in pixels from the top-left of the window's
    // client area, and its size.
    static constexpr QPoint PilgrimTarget{120, 90};
    static constexpr int CellSize = 32;
    // Figures in the upper half of the sheet, masks 128 pixels below them
    // (cells, offsets and all twice as large in a sheet drawn at twice the
    // size for denser screens).
    static constexpr int MaskOffset = 128;

    explicit MapArea(QWidget *parent = nullptr);

    // The map, and where it is at hand the same already stretched to the
    // area (stretchedMap, on another thread); one of another size or pixel
    // ratio than the area's is not taken.
    void setMapPicture(const QImage &picture, const QImage &stretched = QImage());
    // The map stretched smoothly to an area of `size` at pixel ratio `ratio`,
    // as the area draws it. Reads no widget: any thread may call it.
    static QImage stretchedMap(const QImage &picture, QSize size, qreal ratio);
    void setSpriteSheet(const QImage &sheet);
    const QImage &spriteSheet() const { return sheet_; }

    // The step picture shown, 0 or 1.
    qint16 charaFrame() const { return charaFrame_; }
    // The pilgrim's square in this widget's coordinates.
    QRect pilgrimRect() const;

public slots:
    void stepPilgrim();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void scaleMap();

    QImage map_;
    QImage scaled_;  // the map stretched to the widget once, not at every paint
    qint64 scaledFrom_ = 0;  // the cache key of the map it was stretched from
    QImage sheet_;
    int sheetScale_ = 1;  // pixels of the sheet to one of the pilgrim's square
    QImage blended_[2];  // figure with its mask as alpha, for paint engines without raster operations
    qint16 charaFrame_ = 0;
};

}  // namespace korvane::pilgrimage
