// An image list: images of one size, added with a mask colour that becomes transparent.
#pragma once

#include <QIcon>
#include <QImage>
#include <QSize>
#include <vector>

namespace platform {

class CImageList {
  public:
    CImageList(int width, int height) : m_size(width, height) {}

    QSize ImageSize() const { return m_size; }
    // Images added or replaced from now on take this size; those in the list keep theirs until
    // replaced, so that a resize can be spread over several turns of the event loop.
    void SetImageSize(QSize size) { m_size = size; }
    // Adds image with every pixel of maskColor (0xRRGGBB) made transparent; the list keeps its
    // own copy, scaled to the list's size. Returns the index, -1 for a null image.
    int AddMasked(const QImage& image, QRgb maskColor);
    // Puts image in place of image index, masked and scaled as AddMasked does. False for an index
    // out of range or a null image.
    bool ReplaceMasked(int index, const QImage& image, QRgb maskColor);
    bool Remove(int index);
    int GetImageCount() const { return static_cast<int>(m_images.size()); }
    const QImage& GetImage(int index) const { return m_images.at(static_cast<size_t>(index)); }
    QIcon GetIcon(int index) const;

  private:
    QImage Masked(const QImage& image, QRgb maskColor) const;

    QSize m_size;
    std::vector<QImage> m_images;
};

}  // namespace platform
