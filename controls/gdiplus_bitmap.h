// A decoded image (CGdiPlusBitmap) and one loaded from the executable's PNG resources
// (CGdiPlusBitmapResource).
#pragma once

#include <QByteArray>
#include <QImage>
#include <memory>

class CGdiPlusBitmap {
  public:
    CGdiPlusBitmap() = default;
    virtual ~CGdiPlusBitmap() = default;
    CGdiPlusBitmap(const CGdiPlusBitmap&) = delete;
    CGdiPlusBitmap& operator=(const CGdiPlusBitmap&) = delete;

    // The decoded image (premultiplied ARGB), or null before a successful load.
    const QImage* Bitmap() const { return m_bitmap.get(); }

  protected:
    std::unique_ptr<QImage> m_bitmap;
};

class CGdiPlusBitmapResource : public CGdiPlusBitmap {
  public:
    CGdiPlusBitmapResource() = default;
    ~CGdiPlusBitmapResource() override;

    // Loads the "PNG" resource with this id; true when the image decoded. On any failure the
    // object is left empty.
    bool LoadPng(int id);
    // Decodes resource bytes as LoadPng does; exposed so that damaged data can be exercised.
    bool LoadFromBytes(const QByteArray& bytes);
    // Drops the image and the bytes behind it.
    void Clear();

    // The copy of the resource bytes, held while the bitmap exists; null when empty.
    const QByteArray* Buffer() const { return m_buffer.get(); }

  private:
    std::unique_ptr<QByteArray> m_buffer;
};
