#include "pictures.h"

#include "common/paths.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>

#include <map>
#include <utility>

namespace korvane::app {
namespace {

QString fileName(Picture picture)
{
    switch (picture) {
    case Picture::Background: return QStringLiteral("background");
    case Picture::Map: return QStringLiteral("map");
    case Picture::Marker: return QStringLiteral("marker");
    case Picture::ButtonFace: return QStringLiteral("button");
    case Picture::SpriteSheet: return QStringLiteral("pilgrim");
    }
    return QString();
}

QImage readFile(const QString &path)
{
    if (!QFileInfo::exists(path))
        return QImage();
    // Read as the PNG it is named: a reader left to guess asks every image
    // plugin of the system first, loading each of them before the first
    // frame. A file that is not what its name says is still read, by guess.
    QImageReader png(path, "png");
    png.setAutoDetectImageFormat(false);
    QImage image = png.read();
    if (image.isNull()) {
        QImageReader guessed(path);
        image = guessed.read();
    }
    return image;
}

// On a denser screen than the plain one the picture drawn at twice the size,
// "name@2x.png", where there is one: with a device pixel ratio of 2 it takes
// the same room as the plain one, sharply drawn. One of another size is not
// taken: the places on the window and the pilgrim's cells are worked out
// from the plain size.
QImage readPicture(const QString &folder, qreal pixelRatio, const QString &name, QSize plainSize)
{
    const QString base = QStringLiteral("\\pictures\\") + name;
    if (pixelRatio > 1.0) {
        QImage sharp = readFile(paths::resolveUnder(folder, base + QStringLiteral("@2x.png")));
        if (sharp.size() == plainSize * 2) {
            sharp.setDevicePixelRatio(2.0);
            return sharp;
        }
    }
    return readFile(paths::resolveUnder(folder, base + QStringLiteral(".png")));
}

QImage blank(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    return image;
}

QImage drawnBackground()
{
    QImage image = blank(pictureSize(Picture::Background), QColor(0x6b, 0x12, 0x18));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(QRect(101, 45, 361, 239), QColor(0x1f, 0x4d, 0x2a));  // screen behind the map
    for (int i = 0; i < 7; ++i)  // bars behind the launchers
        p.fillRect(QRect(6, 54 + i * 23, 72, 16), QColor(0x3a, 0x08, 0x0c));
    p.fillRect(QRect(0, 305, 514, 26), QColor(0x2b, 0x05, 0x08));
    p.setBrush(QColor(0xd0, 0x20, 0x20));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPoint(40, 290), 10, 10);
    return image;
}

QImage drawnMap()
{
    QImage image = blank(pictureSize(Picture::Map), QColor(0x2a, 0x6f, 0xb5));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x4f, 0x9a, 0x3c));
    p.drawRoundedRect(QRectF(60, 30, 280, 200), 60, 60);
    return image;
}

QImage drawnMarker()
{
    QImage image = blank(pictureSize(Picture::Marker), Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x80, 0x60, 0x00));
    p.setBrush(QColor(0xff, 0xe0, 0x20));
    p.drawEllipse(QRectF(1.5, 1.5, 16, 15));
    return image;
}

QImage drawnButtonFace()
{
    QImage image = blank(pictureSize(Picture::ButtonFace), QColor(0x3a, 0x08, 0x0c));
    QPainter p(&image);
    p.setPen(QColor(0x90, 0x40, 0x40));
    p.drawRect(image.rect().adjusted(0, 0, -1, -1));
    return image;
}

// A plain pilgrim: figures on white, masks (white on black) 128 pixels below.
QImage drawnSpriteSheet()
{
    QImage image = blank(pictureSize(Picture::SpriteSheet), Qt::black);
    QPainter p(&image);
    p.fillRect(QRect(0, 0, 64, 128), Qt::white);
    for (int frame = 0; frame < 2; ++frame) {
        const int x = frame * 32;
        const int step = frame == 0 ? -3 : 3;
        QPainterPath body;
        body.addEllipse(QRectF(x + 8, 4, 16, 7));            // hat
        body.addRect(QRectF(x + 12, 10, 8, 12));             // robe
        body.addRect(QRectF(x + 13 + step, 22, 3, 8));       // legs
        body.addRect(QRectF(x + 16 - step, 22, 3, 8));
        p.fillPath(body, QColor(0xc8, 0xa0, 0x50));
        p.fillRect(QRectF(x + 12, 10, 8, 12), QColor(0xf0, 0xf0, 0xe8).darker(110));
        p.fillPath(body.translated(0, 128), Qt::white);
    }
    return image;
}

}  // namespace

QSize pictureSize(Picture picture)
{
    switch (picture) {
    case Picture::Background: return QSize(514, 331);
    case Picture::Map: return QSize(357, 266);
    case Picture::Marker: return QSize(20, 19);
    case Picture::ButtonFace: return QSize(51, 24);
    case Picture::SpriteSheet: return QSize(64, 257);
    }
    return QSize();
}

namespace {

// Reads no application state: the worker thread of PictureBatch runs it.
QImage loadPictureFrom(const QString &folder, qreal pixelRatio, Picture picture, int variant)
{
    const QSize size = pictureSize(picture);
    QImage image;
    if (variant > 0)
        image = readPicture(folder, pixelRatio, fileName(picture) + QString::number(variant), size);
    if (image.isNull())
        image = readPicture(folder, pixelRatio, fileName(picture), size);
    if (!image.isNull())
        return image;
    switch (picture) {
    case Picture::Background: return drawnBackground();
    case Picture::Map: return drawnMap();
    case Picture::Marker: return drawnMarker();
    case Picture::ButtonFace: return drawnButtonFace();
    case Picture::SpriteSheet: return drawnSpriteSheet();
    }
    return QImage();
}

qreal screenPixelRatio()
{
    return qApp ? qApp->devicePixelRatio() : 1.0;
}

}  // namespace

QImage loadPicture(Picture picture, int variant)
{
    return loadPictureFrom(paths::programFolder(), screenPixelRatio(), picture, variant);
}

PictureBatch::PictureBatch(std::vector<std::pair<Picture, int>> pictures, std::function<void(Images &)> prepare)
{
    // The folder and the screen are read here, on the thread of the windows.
    pending_ = std::async(std::launch::async, [folder = paths::programFolder(), ratio = screenPixelRatio(),
                                               pictures = std::move(pictures), prepare = std::move(prepare)] {
        Images images;
        for (const auto &[picture, variant] : pictures)
            images[{picture, variant}] = loadPictureFrom(folder, ratio, picture, variant);
        if (prepare)
            prepare(images);
        return images;
    });
}

PictureBatch::~PictureBatch()
{
    if (pending_.valid())
        pending_.wait();
}

QImage PictureBatch::take(Picture picture, int variant)
{
    if (pending_.valid())
        images_ = pending_.get();
    const auto it = images_.find({picture, variant});
    if (it == images_.end())
        return variant < 0 ? QImage() : loadPicture(picture, variant);
    return std::exchange(it->second, QImage());
}

}  // namespace korvane::app
