// The clip strip: entries with a thumbnail of the clip's first frame. Files on disk are never
// touched here.
#include <QFileDialog>
#include <QFileInfo>
#include <QPainter>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "platform/system.h"
#include "workstation/video_capture_dlg.h"

namespace {

constexpr QRgb kMaskColor = 0xFFFFFF;

// Stands in for a clip that cannot be opened or has no first frame.
QImage PlaceholderThumbnail(int width, int height) {
    QImage image(std::max(width, 8), std::max(height, 8), QImage::Format_RGB888);
    image.fill(QColor(96, 96, 96));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(200, 200, 200), std::max(1, image.height() / 30)));
    const int s = std::min(image.width(), image.height()) / 2;
    const QRect box(image.width() / 2 - s / 2, image.height() / 2 - s / 2, s, s);
    p.drawRect(box);
    p.drawLine(box.topLeft(), box.bottomRight());
    p.drawLine(box.topRight(), box.bottomLeft());
    return image;
}

}  // namespace

int CVideoCaptureDlg::ListClientHeight() const {
    return m_videoList.height() - 2 * m_videoList.frameWidth();
}

int CVideoCaptureDlg::ThumbnailWidth(int height) {
    // Double precision, then truncation: 180 gives 251.99999999999997, so 251, so 248.
    const int w = static_cast<int>(height * 1.4);
    return w - w % 4;
}

QImage CVideoCaptureDlg::MakeThumbnailBitmap(const cv::Mat& frame, int width, int height) {
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

void CVideoCaptureDlg::AddVideo(const QString& path) {
    m_videoPaths.push_back(path);
    m_videoList.m_paths = m_videoPaths;
    AddVideoItem(path);
}

void CVideoCaptureDlg::AddVideoItem(QString path) {
    const QFileInfo info(path);
    const QString label = info.fileName();
    const int h = ListClientHeight() - 20;
    const int w = ThumbnailWidth(h);

    cv::Mat frame;
    const std::string narrow = platform::ToNarrowPath(path);
    if (!narrow.empty() && info.isFile()) {
        cv::VideoCapture reader;
        try {
            if (reader.open(narrow, cv::CAP_ANY)) reader >> frame;
        } catch (const cv::Exception&) {
            frame.release();
        }
    }
    QImage bitmap = MakeThumbnailBitmap(frame, w, h);
    if (bitmap.isNull()) bitmap = PlaceholderThumbnail(w, h);

    const int image = m_imageList ? m_imageList->AddMasked(bitmap, kMaskColor) : -1;
    auto* item = new QListWidgetItem(label);
    if (image >= 0) item->setIcon(m_imageList->GetIcon(image));
    m_videoList.insertItem(m_videoList.count(), item);
}

void CVideoCaptureDlg::RebuildVideoList(int h) {
    if (m_imageList) {
        m_imageList.reset();
        m_videoList.clear();
    }
    const int w = ThumbnailWidth(h);
    m_imageList = std::make_unique<platform::CImageList>(w, h);
    m_videoList.setViewMode(QListView::IconMode);
    m_videoList.setFlow(QListView::LeftToRight);
    m_videoList.setWrapping(false);
    m_videoList.setSelectionMode(QAbstractItemView::SingleSelection);
    m_videoList.setIconSize(QSize(std::max(w, 1), std::max(h, 1)));
    // Horizontal spacing 1.6 h. A Qt grid cell also holds the label, which the list's spare 20
    // pixels below the thumbnail are for: a cell only h high would cut the name off.
    m_videoList.setGridSize(QSize(static_cast<int>(h * 1.6), std::max(h + 20, 1)));
    for (const QString& path : m_videoPaths) AddVideoItem(path);
}

void CVideoCaptureDlg::OnDeleteSelectedVideo() {
    const QList<QListWidgetItem*> selected = m_videoList.selectedItems();
    if (selected.isEmpty()) return;
    const int i = m_videoList.row(selected.front());
    if (i < 0 || i >= static_cast<int>(m_videoPaths.size())) return;
    const QString& path = m_videoPaths[static_cast<size_t>(i)];
    const struct {
        VlcPlayer* player;
        int label;
    } panes[] = {{m_pPlayer1.get(), 1012}, {m_pPlayer2.get(), 1013}};
    for (const auto& pane : panes) {
        if (pane.player && pane.player->m_path.compare(path, Qt::CaseInsensitive) == 0) {
            pane.player->Stop();
            SetLabelText(pane.label, QString());
            update();
        }
    }
    m_videoPaths.erase(m_videoPaths.begin() + i);
    m_videoList.m_paths = m_videoPaths;
    if (m_imageList) m_imageList->Remove(i);
    m_videoList.clear();
    for (const QString& p : m_videoPaths) AddVideoItem(p);
}

void CVideoCaptureDlg::OnDeleteAllVideos() {
    if (m_imageList) {
        while (m_imageList->GetImageCount() > 0)
            m_imageList->Remove(m_imageList->GetImageCount() - 1);
    }
    m_videoList.clear();
    m_videoPaths.clear();
    m_videoList.m_paths = m_videoPaths;
    if (m_pPlayer1) {
        m_pPlayer1->Stop();
        SetLabelText(1012, QString());
    }
    if (m_pPlayer2) {
        m_pPlayer2->Stop();
        SetLabelText(1013, QString());
    }
    update();
}

void CVideoCaptureDlg::OnOpenVideoFile() {
    QFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(QStringLiteral("avi"));
    dialog.setNameFilters({QStringLiteral("AVI Files (*.avi)"), QStringLiteral("All Files (*)")});
    if (dialog.exec() != QDialog::Accepted) return;
    const QStringList files = dialog.selectedFiles();
    if (!files.isEmpty()) AddVideo(files.front());
}
