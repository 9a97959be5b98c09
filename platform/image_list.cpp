#include "platform/image_list.h"

#include <QPixmap>

namespace platform {

QImage CImageList::Masked(const QImage& image, QRgb maskColor) const {
    QImage copy = image.convertToFormat(QImage::Format_ARGB32);
    if (m_size.width() > 0 && m_size.height() > 0 && copy.size() != m_size)
        copy = copy.scaled(m_size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QRgb key = maskColor & 0xFFFFFF;
    for (int y = 0; y < copy.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(copy.scanLine(y));
        for (int x = 0; x < copy.width(); ++x) {
            if ((row[x] & 0xFFFFFF) == key) row[x] = 0;
        }
    }
    return copy;
}

int CImageList::AddMasked(const QImage& image, QRgb maskColor) {
    if (image.isNull()) return -1;
    m_images.push_back(Masked(image, maskColor));
    return static_cast<int>(m_images.size()) - 1;
}

bool CImageList::ReplaceMasked(int index, const QImage& image, QRgb maskColor) {
    if (image.isNull() || index < 0 || index >= GetImageCount()) return false;
    m_images[static_cast<size_t>(index)] = Masked(image, maskColor);
    return true;
}

bool CImageList::Remove(int index) {
    if (index < 0 || index >= GetImageCount()) return false;
    m_images.erase(m_images.begin() + index);
    return true;
}

QIcon CImageList::GetIcon(int index) const {
    if (index < 0 || index >= GetImageCount()) return {};
    return QIcon(QPixmap::fromImage(m_images[static_cast<size_t>(index)]));
}

}  // namespace platform
