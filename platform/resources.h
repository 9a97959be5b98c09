// Resources compiled into the executable: PNG images, the logo bitmap, the icon.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QPixmap>
#include <optional>

namespace platform {

// The bytes of resource id of type "PNG", or nothing when there is none.
std::optional<QByteArray> FindPngResource(int id);
// A bitmap resource (the logo, 137); a null pixmap when missing.
QPixmap LoadBitmapResource(int id);
// The application icon (icon group 128).
QIcon LoadIconResource();

}  // namespace platform
