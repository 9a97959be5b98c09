#include "workstation/thumbnail_cache.h"

#include <QFileInfo>
#include <QPainter>
#include <algorithm>
#include <cstring>
#include <opencv2/imgproc.hpp>

CThumbnailCache::State CThumbnailCache::StateOf(const QString& path) const {
    const auto it = m_entries.constFind(path);
    return it == m_entries.constEnd() ? State::Unknown : it->state;
}

void CThumbnailCache::MarkPending(const QString& path) {
    Entry& e = m_entries[path];
    e.state = State::Pending;
    e.frame.release();
    e.thumbnail = QImage();
    e.stamp = StampOf(path);
}

bool CThumbnailCache::FileChanged(const QString& path) const {
    const auto it = m_entries.constFind(path);
    if (it == m_entries.constEnd()) return false;
    const FileStamp now = StampOf(path);
    return now.size >= 0 && !(now == it->stamp);
}

CThumbnailCache::FileStamp CThumbnailCache::StampOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return {};
    return {info.size(), info.lastModified().toMSecsSinceEpoch()};
}

cv::Size CThumbnailCache::FrameSize(const QString& path) const {
    const auto it = m_entries.constFind(path);
    return it == m_entries.constEnd() ? cv::Size() : it->frame.size();
}

bool CThumbnailCache::Store(const QString& path, const cv::Mat& frame) {
    const auto it = m_entries.find(path);
    if (it == m_entries.end() || it->state != State::Pending) return false;
    it->state = frame.empty() ? State::Failed : State::Ready;
    it->frame = frame;
    return true;
}

void CThumbnailCache::Forget(const QString& path) {
    m_entries.remove(path);
}

void CThumbnailCache::Clear() {
    m_entries.clear();
}

int CThumbnailCache::PendingCount() const {
    return static_cast<int>(std::count_if(m_entries.cbegin(), m_entries.cend(), [](const Entry& e) {
        return e.state == State::Pending;
    }));
}

QImage CThumbnailCache::Thumbnail(const QString& path, int width, int height) {
    const auto it = m_entries.find(path);
    if (it == m_entries.end() || it->state != State::Ready) return Placeholder(width, height);
    Entry& e = it.value();
    // Width below 1 keeps the frame's own size, whatever the height.
    const QSize wanted = width >= 1 ? QSize(width, height) : QSize(e.frame.cols, e.frame.rows);
    if (e.thumbnail.isNull() || e.thumbnail.size() != wanted)
        e.thumbnail = Scale(e.frame, width, height);
    return e.thumbnail.isNull() ? Placeholder(width, height) : e.thumbnail;
}

QImage CThumbnailCache::Placeholder(int width, int height) {
    const QSize size(std::max(width, 8), std::max(height, 8));
    if (m_placeholder.size() == size) return m_placeholder;
    QImage image(size, QImage::Format_RGB888);
    image.fill(QColor(96, 96, 96));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(200, 200, 200), std::max(1, image.height() / 30)));
    const int s = std::min(image.width(), image.height()) / 2;
    const QRect box(image.width() / 2 - s / 2, image.height() / 2 - s / 2, s, s);
    p.drawRect(box);
    p.drawLine(box.topLeft(), box.bottomRight());
    p.drawLine(box.topRight(), box.bottomLeft());
    p.end();
    m_placeholder = image;
    return m_placeholder;
}

QImage CThumbnailCache::Scale(const cv::Mat& frame, int width, int height) {
    if (frame.empty()) return {};
    cv::Mat bgr;
    if (frame.type() == CV_8UC3) {
        bgr = frame;
    } else if (frame.type() == CV_8UC1) {
        cv::cvtColor(frame, bgr, cv::COLOR_GRAY2BGR);
    } else if (frame.type() == CV_8UC4) {
        cv::cvtColor(frame, bgr, cv::COLOR_BGRA2BGR);
    } else {
        return {};
    }
    cv::Mat scaled;
    if (width >= 1 && height >= 1)
        cv::resize(bgr, scaled, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
    else
        scaled = bgr;
    if (scaled.empty()) return {};
    // QImage pads each row to 4 bytes itself, whatever the width.
    QImage image(scaled.cols, scaled.rows, QImage::Format_BGR888);
    for (int y = 0; y < scaled.rows; ++y)
        std::memcpy(image.scanLine(y), scaled.ptr(y), static_cast<size_t>(scaled.cols) * 3);
    return image;
}
