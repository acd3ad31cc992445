#pragma once
// The pictures of the main window, loaded from the program folder's
// "\pictures\" folder (name@2x.png on high-density screens). A missing or
// unreadable picture is replaced by a plain drawing of the same size, so the
// window always opens.
#include <QImage>
#include <QString>

namespace korvane::app {

enum class Picture { Background, Map, Marker, ButtonFace, SpriteSheet };

// `variant` picks one of several pictures of a kind (the five button faces,
// 1 to 5); a kind with one picture for all falls back to it.
QImage loadPicture(Picture picture, int variant = 0);
QSize pictureSize(Picture picture);

}  // namespace korvane::app
