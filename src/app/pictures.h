#pragma once
// The pictures of the main window, loaded from the program folder's
// "\pictures\" folder (name@2x.png on high-density screens). A missing or
// unreadable picture is replaced by a plain drawing of the same size, so the
// window always opens.
#include <QImage>
#include <QString>

#include <functional>
#include <future>
#include <map>
#include <utility>
#include <vector>

namespace korvane::app {

enum class Picture { Background, Map, Marker, ButtonFace, SpriteSheet };

// `variant` picks one of several pictures of a kind (the five button faces,
// 1 to 5); a kind with one picture for all falls back to it.
QImage loadPicture(Picture picture, int variant = 0);
QSize pictureSize(Picture picture);

// Pictures decoded on a worker thread, started when the batch is made: the
// thread of the windows goes on with other work (the fonts of a window) and
// waits only where it places the first picture. A picture not in the batch
// is loaded where it is asked for.
class PictureBatch {
public:
    using Images = std::map<std::pair<Picture, int>, QImage>;
    // `prepare`, where given, runs on the worker once the pictures are read:
    // it adds what is made of them before they are drawn (a picture
    // stretched to its place), under variants below 0.
    explicit PictureBatch(std::vector<std::pair<Picture, int>> pictures,
                          std::function<void(Images &)> prepare = nullptr);
    ~PictureBatch();
    PictureBatch(const PictureBatch &) = delete;
    PictureBatch &operator=(const PictureBatch &) = delete;

    // The picture (`variant` as for loadPicture), once; waits for the batch.
    // A prepared picture (a variant below 0) not made is a null image.
    QImage take(Picture picture, int variant = 0);

private:
    std::future<Images> pending_;
    Images images_;
};

}  // namespace korvane::app
