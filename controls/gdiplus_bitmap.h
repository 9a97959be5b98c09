// A decoded image (CGdiPlusBitmap) and one loaded from the executable's PNG resources.
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

    // The decoded image, or null before a successful load.
    const QImage* Bitmap() const { return m_bitmap.get(); }

  protected:
    std::unique_ptr<QImage> m_bitmap;
};

class CGdiPlusBitmapResource : public CGdiPlusBitmap {
  public:
    CGdiPlusBitmapResource() = default;
    ~CGdiPlusBitmapResource() override;

    // Loads the "PNG" resource with this id; true when the image decoded.
    bool LoadPng(int id);
    // Decodes PNG bytes as LoadPng does with a resource's bytes.
    bool LoadFromBytes(const QByteArray& bytes);
    void Clear();

    const QByteArray* Buffer() const { return m_buffer.get(); }

  private:
    // The PNG bytes, kept for as long as the bitmap exists.
    std::unique_ptr<QByteArray> m_buffer;
};
