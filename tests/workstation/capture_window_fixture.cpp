#include "tests/workstation/capture_window_fixture.h"

#include <QFile>
#include <QTest>

#include "capture/dscapture.h"
#include "platform/win_app.h"

namespace workstation_testing {

void CaptureWindowTest::SetUp() {
    m_folder = std::make_unique<testing_support::CAppFolder>();
    CWinApp& app = AfxGetApp();
    app.m_langFile = m_folder->Path() + QStringLiteral("/Language/English.ini");
    app.m_log.Close();
    m_logPath = m_folder->Path() + QStringLiteral("/test-log.txt");
    app.m_log.Open(m_logPath.toStdString());
    platform::SetMessageBoxHookForTesting(
        [this](const QString&, const QString& text, platform::MessageBoxIcon) {
            m_boxes.push_back({text, LogLines()});
        });
    DsCapture::SetSettleDelayForTesting(0);
}

void CaptureWindowTest::TearDown() {
    Close();
    m_cameras.reset();
    platform::SetMessageBoxHookForTesting(nullptr);
    AfxGetApp().m_log.Close();
    platform::SetLocalTimeForTesting(nullptr);
    m_folder.reset();
}

void CaptureWindowTest::Install(std::vector<platform::v4l2::EmulatedCameraConfig> cameras) {
    m_cameras = std::make_unique<platform::v4l2::CEmulatedCameraSystem>(std::move(cameras));
}

bool CaptureWindowTest::Open() {
    m_dlg = std::make_unique<CVideoCaptureDlgUnderTest>();
    if (!m_dlg->Create()) return false;
    if (!m_dlg->isVisible()) return false;
    return QTest::qWaitForWindowExposed(m_dlg.get());
}

void CaptureWindowTest::Close() {
    if (!m_dlg) return;
    m_dlg->DestroyWindow();
    m_dlg.reset();
}

QStringList CaptureWindowTest::LogLines() const {
    QFile f(m_logPath);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split('\n');
}

void CaptureWindowTest::LogMarker(const char* text) {
    AfxGetApp().m_log.WriteLog("%s", text);
}

int CaptureWindowTest::FramesBetween(const QString& from, const QString& to) const {
    const QStringList lines = LogLines();
    const qsizetype a = lines.indexOf(from);
    const qsizetype b = lines.indexOf(to);
    if (a < 0 || b < a) return -1;
    int n = 0;
    for (qsizetype i = a; i < b; ++i) n += lines[i] == QStringLiteral("frame triger!");
    return n;
}

int CaptureWindowTest::FramesHandled() const {
    return static_cast<int>(LogLines().count(QStringLiteral("frame triger!")));
}

bool CaptureWindowTest::WaitFrames(int count, int timeoutMs) {
    const int start = FramesHandled();
    return testing_support::WaitUntil([&] { return FramesHandled() - start >= count; }, timeoutMs);
}

bool CaptureWindowTest::WaitCameraIdle(int camera) {
    return testing_support::WaitUntil([&] {
        const int mapped = m_cameras->MappedNow(camera);
        return mapped > 0 && m_cameras->QueuedNow(camera) == mapped;
    });
}

QString CaptureWindowTest::Lang(const char* key) const {
    return AfxGetApp().GetLangString(QString::fromLatin1(key));
}

void CaptureWindowTest::Click(QWidget* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

bool CaptureWindowTest::Visible(int id) const {
    QWidget* w = m_dlg->GetDlgItem(id);
    return w && w->isVisible();
}

}  // namespace workstation_testing
