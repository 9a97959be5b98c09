// The capture window with the state that tests, benchmarks and the screenshot tool look at
// made readable. It adds no behaviour; the window is a friend of it for this alone.
#pragma once

#include "workstation/video_capture_dlg.h"

class CVideoCaptureDlgUnderTest : public CVideoCaptureDlg {
  public:
    CVideoCaptureDlgUnderTest() = default;
    // The camera thread calls the window through its virtual functions until the engine stops.
    // The window's own destructor stops it, but only after this class's part is gone and the
    // object's type has turned back into the base's under the thread's feet: stop it first.
    ~CVideoCaptureDlgUnderTest() override {
        DestroyWindow();
        m_pCapture.reset();
    }
    CVideoCaptureDlgUnderTest(const CVideoCaptureDlgUnderTest&) = delete;
    CVideoCaptureDlgUnderTest& operator=(const CVideoCaptureDlgUnderTest&) = delete;

    using CVideoCaptureDlg::AccessDeniedText;
    using CVideoCaptureDlg::m_bDeviceLost;
    using CVideoCaptureDlg::m_bDualView;
    using CVideoCaptureDlg::m_bRecording;
    using CVideoCaptureDlg::m_btnCancel;
    using CVideoCaptureDlg::m_btnDeleteAll;
    using CVideoCaptureDlg::m_btnDeleteOne;
    using CVideoCaptureDlg::m_btnOpen;
    using CVideoCaptureDlg::m_btnRecord;
    using CVideoCaptureDlg::m_btnSave;
    using CVideoCaptureDlg::m_btnView;
    using CVideoCaptureDlg::m_cameraDlg;
    using CVideoCaptureDlg::m_devices;
    using CVideoCaptureDlg::m_imageList;
    using CVideoCaptureDlg::m_layoutRects;
    using CVideoCaptureDlg::m_livePane;
    using CVideoCaptureDlg::m_pacs;
    using CVideoCaptureDlg::m_pCapture;
    using CVideoCaptureDlg::m_pPlayer1;
    using CVideoCaptureDlg::m_pPlayer2;
    using CVideoCaptureDlg::m_recorder;
    using CVideoCaptureDlg::m_review;
    using CVideoCaptureDlg::m_settleTimer;
    using CVideoCaptureDlg::m_thumbnails;
    using CVideoCaptureDlg::m_videoDir;
    using CVideoCaptureDlg::m_videoList;
    using CVideoCaptureDlg::m_videoPaths;
    using CVideoCaptureDlg::OnDeviceWatch;
    using CVideoCaptureDlg::OpenCameraSettings;
};
