#include "platform/resources.h"

#include <QFile>

namespace platform {

std::optional<QByteArray> FindPngResource(int id) {
    QFile f(QStringLiteral(":/png/%1.png").arg(id));
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    return f.readAll();
}

QPixmap LoadBitmapResource(int id) {
    return QPixmap(QStringLiteral(":/logo/%1.bmp").arg(id));
}

QIcon LoadIconResource() {
    return QIcon(QStringLiteral(":/icon/128.png"));
}

}  // namespace platform
