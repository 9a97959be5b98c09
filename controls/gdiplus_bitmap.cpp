#include "controls/gdiplus_bitmap.h"

#include "platform/resources.h"

CGdiPlusBitmapResource::~CGdiPlusBitmapResource() {
    Clear();
}

void CGdiPlusBitmapResource::Clear() {
    m_bitmap.reset();
    m_buffer.reset();
}

bool CGdiPlusBitmapResource::LoadPng(int id) {
    Clear();
    const std::optional<QByteArray> bytes = platform::FindPngResource(id);
    if (!bytes || bytes->isEmpty()) return false;
    return LoadFromBytes(*bytes);
}

bool CGdiPlusBitmapResource::LoadFromBytes(const QByteArray& bytes) {
    Clear();
    if (bytes.isEmpty()) return false;
    m_buffer = std::make_unique<QByteArray>(bytes);
    // The decoder recognises the format from the bytes, as a stream decoder does; a PNG
    // resource that holds something else decodes if it is a picture at all.
    auto image = std::make_unique<QImage>();
    if (!image->loadFromData(*m_buffer) || image->isNull()) {
        Clear();
        return false;
    }
    // Premultiplied ARGB is what QPainter composites fastest.
    *image = image->convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image->isNull()) {
        Clear();
        return false;
    }
    m_bitmap = std::move(image);
    return true;
}
