// The clip strip: entries with a thumbnail of the clip's first frame. Files on disk are never
// touched here.
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "workstation/video_capture_dlg.h"

namespace {

constexpr QRgb kMaskColor = 0xFFFFFF;
// The first frames are kept at least this large, whatever the screen.
constexpr int kMinCachedFrameWidth = 320;

}  // namespace

int CVideoCaptureDlg::ListClientHeight() const {
    return m_videoList.height() - 2 * m_videoList.frameWidth();
}

int CVideoCaptureDlg::ThumbnailWidth(int height) {
    // Double precision, then truncation: 180 gives 251.99999999999997, so 251, so 248.
    const int w = static_cast<int>(height * 1.4);
    return w - w % 4;
}

cv::Size CVideoCaptureDlg::CachedFrameSize() const {
    int screenHeight = 0;
    for (const QScreen* screen : QGuiApplication::screens())
        screenHeight = std::max(screenHeight, screen->availableGeometry().height());
    return CachedFrameSize(screenHeight);
}

cv::Size CVideoCaptureDlg::CachedFrameSize(int screenHeight) const {
    // The strip grows with the window, so the tallest thumbnail is the list's share of the
    // tallest screen. A square box keeps a 4:3 frame at least as wide and as high as it.
    int width = kMinCachedFrameWidth;
    if (height() > 0 && screenHeight > 0) {
        const double share = static_cast<double>(ListClientHeight()) / height();
        width = std::max(width, ThumbnailWidth(static_cast<int>(std::ceil(share * screenHeight))));
    }
    return cv::Size(width, width);
}

QImage CVideoCaptureDlg::MakeThumbnailBitmap(const cv::Mat& frame, int width, int height) {
    return CThumbnailCache::Scale(frame, width, height);
}

void CVideoCaptureDlg::AddVideo(const QString& path) {
    m_videoPaths.push_back(path);
    m_videoList.SetPaths(m_videoPaths);
    // A clip listed again is read again: a file that could not be read may be whole by now.
    if (m_thumbnails.StateOf(path) == CThumbnailCache::State::Failed) m_thumbnails.Forget(path);
    AddVideoItem(path);
    PreparePlayback();
}

// Entry i shows image i of the image list, always: every change keeps the two in step.
void CVideoCaptureDlg::AddVideoItem(QString path) {
    // A file that changed since its first frame was read (temp.avi recorded again) is read again.
    if (m_thumbnails.StateOf(path) != CThumbnailCache::State::Pending &&
        m_thumbnails.FileChanged(path))
        m_thumbnails.Forget(path);
    if (m_thumbnails.StateOf(path) == CThumbnailCache::State::Unknown) {
        // Read off the window's thread; the placeholder stands in until the frame arrives.
        m_thumbnails.MarkPending(path);
        if (!m_frameReader) {
            m_frameReader = std::make_unique<CFirstFrameReader>(
                CachedFrameSize(),
                [this](const QString& p, const cv::Mat& frame) { OnFirstFrame(p, frame); });
        }
        m_frameReader->Request(path);
    }
    auto* item = new QListWidgetItem(QFileInfo(path).fileName());
    if (m_imageList) {
        const QSize size = m_imageList->ImageSize();
        const int image = m_imageList->AddMasked(
            m_thumbnails.Thumbnail(path, size.width(), size.height()), kMaskColor);
        if (image >= 0) item->setIcon(m_imageList->GetIcon(image));
    }
    m_videoList.insertItem(m_videoList.count(), item);
    ShowSendState(path);
}

void CVideoCaptureDlg::OnFirstFrame(const QString& path, const cv::Mat& frame) {
    if (!m_thumbnails.Store(path, frame) || !m_imageList) return;
    const QSize size = m_imageList->ImageSize();
    const QImage thumbnail = m_thumbnails.Thumbnail(path, size.width(), size.height());
    for (size_t i = 0; i < m_videoPaths.size(); ++i) {
        const int row = static_cast<int>(i);
        if (m_videoPaths[i] != path || !m_imageList->ReplaceMasked(row, thumbnail, kMaskColor))
            continue;
        if (QListWidgetItem* item = m_videoList.item(row)) item->setIcon(m_imageList->GetIcon(row));
    }
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
    // The first frames are at hand (or on their way): this only rescales.
    for (const QString& path : m_videoPaths) AddVideoItem(path);
}

void CVideoCaptureDlg::OnDeleteSelectedVideo() {
    const QList<QListWidgetItem*> selected = m_videoList.selectedItems();
    if (selected.isEmpty()) return;
    const int i = m_videoList.row(selected.front());
    if (i < 0 || i >= static_cast<int>(m_videoPaths.size())) return;
    const QString path = m_videoPaths[static_cast<size_t>(i)];
    const struct {
        VlcPlayer* player;
        int label;
    } panes[] = {{m_pPlayer1.get(), IDC_LABEL1}, {m_pPlayer2.get(), IDC_LABEL2}};
    for (const auto& pane : panes) {
        if (pane.player && pane.player->m_path.compare(path, Qt::CaseInsensitive) == 0) {
            StopPlayer(*pane.player);
            SetLabelText(pane.label, QString());
            update();
        }
    }
    m_videoPaths.erase(m_videoPaths.begin() + i);
    m_videoList.SetPaths(m_videoPaths);
    // The other entries keep their pictures: only entry i and its image go.
    if (m_imageList) m_imageList->Remove(i);
    delete m_videoList.takeItem(i);
    if (std::find(m_videoPaths.begin(), m_videoPaths.end(), path) == m_videoPaths.end())
        m_thumbnails.Forget(path);
}

void CVideoCaptureDlg::OnDeleteAllVideos() {
    if (m_imageList) {
        while (m_imageList->GetImageCount() > 0)
            m_imageList->Remove(m_imageList->GetImageCount() - 1);
    }
    m_videoList.clear();
    m_videoPaths.clear();
    m_videoList.SetPaths(m_videoPaths);
    m_thumbnails.Clear();
    if (m_frameReader) m_frameReader->CancelPending();
    if (m_pPlayer1) {
        StopPlayer(*m_pPlayer1);
        SetLabelText(IDC_LABEL1, QString());
    }
    if (m_pPlayer2) {
        StopPlayer(*m_pPlayer2);
        SetLabelText(IDC_LABEL2, QString());
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
