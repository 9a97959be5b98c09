// quorvel-screenshots: the README's pictures, taken from the program itself with the emulated
// camera: the start window, the live capture window, the exam dialog, the dual view with two
// recorded clips playing side by side, a paused pane with a measured line and a count, a paused
// pane of an emulated row of loops with an assisted count and a width, and the first page and a
// finger's page of an examination report made from clips recorded into an exam. Run under an X
// server (xvfb-run) with poppler's pdftoppm on the PATH; argv[1] is the folder for the PNGs.
#include <linux/videodev2.h>
#include <vlc/vlc.h>

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QSlider>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/quorvel_app.h"
#include "app/quorvel_dlg.h"
#include "capture/clip_recorder.h"
#include "emulated/emulated_camera_system.h"
#include "emulated/emulated_capillary_scene.h"
#include "platform/message_box.h"
#include "platform/profile.h"
#include "platform/system.h"
#include "playback/clip_frame_reader.h"
#include "tests/workstation/video_capture_dlg_under_test.h"
#include "workstation/exam_dlg.h"
#include "workstation/playback_review.h"

namespace {

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

void Pump(int ms) {
    WaitUntil([] { return false; }, ms);
}

// The window as the screen shows it (the video is not painted by Qt), about 900 pixels wide.
bool Save(QWidget* window, const QString& path) {
    window->raise();
    Pump(100);
    const QRect r = window->frameGeometry();
    QImage image = QGuiApplication::primaryScreen()
                       ->grabWindow(0, r.x(), r.y(), r.width(), r.height())
                       .toImage();
    if (image.isNull()) return false;
    if (image.width() > 900) image = image.scaledToWidth(900, Qt::SmoothTransformation);
    const bool ok = image.convertToFormat(QImage::Format_RGB888).save(path, "PNG");
    std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "could not write", qPrintable(path),
                image.width(), image.height());
    return ok;
}

// A left-button drag over a widget between points given as fractions of its size.
void Drag(QWidget* w, QPointF from, QPointF to) {
    auto at = [&](QPointF f) { return QPointF(f.x() * w->width(), f.y() * w->height()); };
    auto send = [&](QEvent::Type type, QPointF f, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at(f), w->mapToGlobal(at(f)), Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(w, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
}

bool GrabPane(CVideoCaptureDlgUnderTest& dlg, const QString& path);

// Pane 1007 paused, with a kept measurement and a kept count, as the user makes them.
bool Review(CVideoCaptureDlgUnderTest& dlg, const QString& settingsFile, const QString& path) {
    CPlaybackReview& review = *dlg.m_review;
    CPaneReview& pane = review.Pane(0);
    // A calibration as a stage micrometer would give: 100 µm over 100 clip pixels.
    review.SetSettingsFile(settingsFile);
    if (platform::WritePrivateProfileStringW(QStringLiteral("Calibration"),
                                             QStringLiteral("MicrometresPerPixel"),
                                             QStringLiteral("1.0"), settingsFile) != 0)
        return false;
    pane.Pause();
    if (!WaitUntil([&] { return pane.ShowsPausedFrame(); }, 5000)) return false;
    QWidget* view = pane.View();
    review.StartTool(pane, CReviewTool::Kind::Measure);
    // Across the apex of the fourth loop, then along a line through all six.
    Drag(view, {0.560, 0.16}, {0.635, 0.16});
    review.KeepLine(pane);
    review.StartTool(pane, CReviewTool::Kind::Count);
    Drag(view, {0.03, 0.70}, {0.97, 0.70});
    // This line crosses both limbs of each loop: the marks proposed on the limbs are taken back
    // and one is put on each loop by hand.
    const std::vector<QPointF> proposed = pane.Tool().Pending()->crossings;
    for (const QPointF& p : proposed)
        Drag(view, {p.x() / 640, p.y() / 480}, {p.x() / 640, p.y() / 480});
    for (double x : {0.066, 0.207, 0.388, 0.567, 0.740, 0.910}) Drag(view, {x, 0.70}, {x, 0.70});
    review.KeepLine(pane);
    review.StartTool(pane, CReviewTool::Kind::Count);
    Pump(300);
    return GrabPane(dlg, path);
}

// The pane's picture on the screen, as PNG.
bool GrabPane(CVideoCaptureDlgUnderTest& dlg, const QString& path) {
    QWidget* w = dlg.GetDlgItem(1007);
    dlg.raise();
    Pump(100);
    const QPoint origin = w->mapToGlobal(QPoint(0, 0));
    const QImage image = QGuiApplication::primaryScreen()
                             ->grabWindow(0, origin.x(), origin.y(), w->width(), w->height())
                             .toImage();
    const bool ok =
        !image.isNull() && image.convertToFormat(QImage::Format_RGB888).save(path, "PNG");
    std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "could not write", qPrintable(path),
                image.width(), image.height());
    return ok;
}

void DropOn(CVideoCaptureDlg& dlg, QWidget* pane, const QString& path);

// A clip of an emulated row of loops, one of them giant, paused in pane 1007 at 2.5 µm per
// pixel: the count's line along the apices with the marks it proposed, and a giant limb's width.
bool Assisted(CVideoCaptureDlgUnderTest& dlg, const QString& folder, const QString& path) {
    using Scene = platform::v4l2::CEmulatedCapillaryScene;
    Scene::Options o;
    o.noiseSigma = 4;
    o.blurSigma = 0.8;
    o.unevenLight = 0.5;
    o.minWidthPx = 6;
    o.maxWidthPx = 26;
    Scene::Scene scene;
    const Scene::Limb* giant = nullptr;
    // The first seed with seven loops or more and a giant limb.
    for (o.seed = 1; o.seed < 200 && !giant; ++o.seed) {
        scene = Scene::Render(o);
        if (scene.loops.size() < 7) continue;
        for (const Scene::Loop& loop : scene.loops)
            if (loop.venous.widthPx > 21 && !giant) giant = &loop.venous;
    }
    if (!giant) return false;
    const QString clip = folder + QStringLiteral("/assisted.avi");
    CClipRecorder recorder;
    if (!recorder.Open(clip.toStdString(), 25, scene.picture.cols, scene.picture.rows))
        return false;
    for (int i = 0; i < 50; ++i)
        if (recorder.WriteOrClose(scene.picture) != CClipRecorder::WriteResult::Written)
            return false;
    recorder.Stop();
    if (!recorder.Finish()) return false;

    CPlaybackReview& review = *dlg.m_review;
    CPaneReview& pane = review.Pane(0);
    if (platform::WritePrivateProfileStringW(QStringLiteral("Calibration"),
                                             QStringLiteral("MicrometresPerPixel"),
                                             QStringLiteral("2.5"), review.SettingsFile()) != 0)
        return false;
    DropOn(dlg, dlg.GetDlgItem(1007), clip);
    if (!WaitUntil([&] { return pane.HasVideoOutput(); }, 8000)) return false;
    Pump(600);
    pane.Pause();
    if (!WaitUntil([&] { return pane.ShowsPausedFrame(); }, 5000)) return false;
    QWidget* view = pane.View();
    auto at = [](cv::Point2d p) { return QPointF(p.x / 640, p.y / 480); };
    review.StartTool(pane, CReviewTool::Kind::Count);
    Drag(view, at(scene.rowFrom + cv::Point2d(4, 0)), at(scene.rowTo - cv::Point2d(4, 0)));
    review.KeepLine(pane);
    review.StartTool(pane, CReviewTool::Kind::Width);
    const cv::Point2d click = giant->centre[giant->centre.size() / 3];
    Drag(view, at(click), at(click));
    review.KeepLine(pane);
    Pump(300);
    return GrabPane(dlg, path);
}

bool CopyLanguagePacks(const QString& to) {
    const QString exeDir = QCoreApplication::applicationDirPath();
    QDir from(exeDir + QStringLiteral("/Language"));
    if (!from.exists()) from.setPath(QStringLiteral(QUORVEL_SOURCE_DIR "/res/Language"));
    if (!QDir().mkpath(to)) return false;
    bool any = false;
    for (const QString& name : from.entryList({QStringLiteral("*.ini")}, QDir::Files))
        any |= QFile::copy(from.filePath(name), to + QLatin1Char('/') + name);
    return any;
}

// One recording through the window's own buttons; the save lists it in the strip.
bool Record(CVideoCaptureDlgUnderTest& dlg, int ms) {
    const size_t before = dlg.m_videoPaths.size();
    dlg.m_btnRecord.click();
    Pump(ms);
    dlg.m_btnRecord.click();
    Pump(100);
    dlg.m_btnSave.click();
    return WaitUntil([&] { return dlg.m_videoPaths.size() == before + 1; }, 5000);
}

void DropOn(CVideoCaptureDlg& dlg, QWidget* pane, const QString& path) {
    const QPoint target = pane->mapToGlobal(pane->rect().center());
    QCursor::setPos(target);
    WaitUntil([&] { return QCursor::pos() == target; }, 2000);
    platform::SendMessageW(dlg.GetSafeHwnd(), WM_LIST_DROP, reinterpret_cast<WPARAM>(&path),
                           MAKELPARAM(target.x(), target.y()));
}

// The exam dialog over the capture window, with a few made-up patients, one found as typed.
bool ExamDialog(CVideoCaptureDlgUnderTest& dlg, const QString& path) {
    CExamStore* store = dlg.Exam()->Store(true);
    if (!store) return false;
    const Patient patients[] = {{0, "1234", "YAMADA Hanako", "1962-05-14", "F"},
                                {0, "1240", "YAMAMOTO Ren", "1975-11-02", "M"},
                                {0, "2051", "SATO Yuki", "1988-03-21", "F"},
                                {0, "3107", "TANAKA Ken", "1954-08-09", "M"}};
    long long first = 0;
    for (const Patient& p : patients) {
        const long long row = store->CreatePatient(p).value;
        if (!first) first = row;
    }
    store->VisitOn(first, "2026-06-02");
    store->VisitOn(first, "2026-09-15");
    CExamDlg exam(*dlg.Exam(), *store, QStringLiteral("2026-12-11"), &dlg);
    exam.show();
    exam.move(dlg.x() + 60, dlg.y() + 60);
    exam.Search().setText(QStringLiteral("yama"));
    exam.Patients().setCurrentRow(0);
    exam.Visits().setCurrentRow(0);
    if (QPushButton* finger = exam.FingerButton("R3")) finger->setChecked(true);
    Pump(400);
    return Save(&exam, path);
}

// What the review tools keep of a frame, made as the pane would make it but without the pane:
// the count's line across the loops with one limb's mark of each loop kept, then the width of
// one limb found by a click on it.
std::vector<Measurement> MeasureAsTheToolsDo(const cv::Mat& frame, int index, double umPerPx,
                                             int limb) {
    const CCalibration calibration(umPerPx);
    CReviewTool tool;
    tool.SetFrame(frame);
    tool.SetCalibration(calibration);
    auto click = [&](QPointF at) {
        tool.Press(at);
        tool.Release(at);
    };
    auto row = [&](const char* kind) {
        const CReviewTool::Line& line = *tool.Pending();
        Measurement m;
        m.frame = index;
        m.kind = kind;
        m.x1 = line.from.x(), m.y1 = line.from.y(), m.x2 = line.to.x(), m.y2 = line.to.y();
        m.lengthPx = tool.PendingLengthPx();
        m.lengthUm = calibration.Micrometres(*m.lengthPx);
        return m;
    };
    std::vector<Measurement> rows;
    const double y = 0.70 * frame.rows;
    tool.Start(CReviewTool::Kind::Count);
    tool.Press({0.03 * frame.cols, y});
    tool.Move({0.97 * frame.cols, y});
    tool.Release({0.97 * frame.cols, y});
    if (!tool.Pending()) return rows;
    // The line crosses both limbs of each loop: the second mark of each is taken back.
    const std::vector<QPointF> limbs = tool.Pending()->crossings;
    for (size_t i = 1; i < limbs.size(); i += 2) click(limbs[i]);
    Measurement count = row("count");
    count.count = static_cast<int>(tool.Pending()->crossings.size());
    count.perMm = calibration.PerMillimetre(*count.count, *count.lengthPx);
    count.proposed = static_cast<int>(tool.Pending()->proposed.size());
    count.changed = tool.Pending()->Changed();
    for (const QPointF& p : tool.Pending()->crossings) count.marks.push_back({p.x(), p.y()});
    rows.push_back(count);
    if (limbs.empty()) return rows;
    tool.Start(CReviewTool::Kind::Width);
    click(limbs[static_cast<size_t>(limb) % limbs.size()]);
    if (!tool.Pending()) return rows;
    Measurement width = row("width");
    width.proposed = tool.Pending()->measured ? 1 : 0;
    width.changed = tool.Pending()->measured ? 0 : 1;
    rows.push_back(width);
    return rows;
}

// An examination report as the demo makes one: three clips recorded into an exam of a made-up
// patient (R2, R3, R4), a count and a width kept on a frame of each and stored, the report
// written by the window's Report… and its first two pages rendered by pdftoppm.
bool Report(CVideoCaptureDlgUnderTest& dlg, const QString& out) {
    CExamStore* store = dlg.Exam()->Store(true);
    if (!store) return false;
    // As a stage micrometer would give it: 1 µm per clip pixel.
    if (platform::WritePrivateProfileStringW(
            QStringLiteral("Calibration"), QStringLiteral("MicrometresPerPixel"),
            QStringLiteral("1.0"), dlg.m_review->SettingsFile()) != 0)
        return false;
    const auto found = store->SearchPatients("1234");
    if (!found.ok() || found.value.empty()) return false;
    const Patient patient = found.value.front();
    const auto visit = store->VisitOn(patient.row, CExamStore::Today());
    if (!visit.ok()) return false;
    dlg.Exam()->Choose({patient, visit.value, "R2"});
    for (int i = 0; i < 3; ++i)
        if (!Record(dlg, 1500)) return false;
    if (!WaitUntil([&] { return dlg.Exam()->PendingSaves() == 0; }, 10000)) return false;

    const auto clips = store->ClipsOfVisit(visit.value.row);
    if (!clips.ok() || clips.value.size() != 3) return false;
    int index = 0;
    for (const Clip& clip : clips.value) {
        CClipFrameReader reader;
        const int frame = 10 + 10 * index;
        const QString path = QDir(QString::fromStdString(store->Root()))
                                 .filePath(QString::fromStdString(clip.record.relPath));
        if (!reader.Open(path)) return false;
        const cv::Mat bgr = reader.Read(frame);
        if (bgr.empty() || !clip.record.umPerPx) return false;
        for (const Measurement& m :
             MeasureAsTheToolsDo(bgr, frame, *clip.record.umPerPx, 3 + 4 * index))
            if (!store->AddMeasurement(clip.record.relPath, m).ok()) return false;
        ++index;
    }

    QString written;
    dlg.SetReportOpener([&](const QString& pdf) { written = pdf; });
    dlg.OnReport(visit.value);
    if (!WaitUntil([&] { return !written.isEmpty(); }, 60000)) return false;
    dlg.SetReportOpener(nullptr);
    bool ok = true;
    // Page 1 whole; of R2's page the top, where its frame and rows are, large enough to show
    // the marks.
    struct Picture {
        int page;
        const char* name;
        QStringList size;
    };
    const Picture pictures[] = {
        {1, "report-page1", {"-r", "80"}},
        {2, "report-finger", {"-r", "120", "-x", "0", "-y", "0", "-W", "880", "-H", "560"}}};
    for (const Picture& p : pictures) {
        const QString png = out + QLatin1Char('/') + QLatin1String(p.name);
        QProcess render;
        render.start(
            QStringLiteral("pdftoppm"),
            p.size + QStringList{"-f", QString::number(p.page), "-l", QString::number(p.page),
                                 "-png", "-singlefile", written, png});
        const bool rendered = render.waitForFinished(60000) && render.exitCode() == 0 &&
                              QFile::exists(png + QStringLiteral(".png"));
        std::printf("%s %s.png\n", rendered ? "wrote" : "could not write", qPrintable(png));
        ok &= rendered;
    }
    return ok;
}

}  // namespace

// Camera settings reached as the user does: a right-click on the live pane, the menu's item;
// then exposure switched to manual and the brightness turned down a little.
bool CameraSettings(CVideoCaptureDlgUnderTest& dlg, const QString& path) {
    const QString item = AfxGetApp().GetLangString(QStringLiteral("IDS_CAMERA_SETTINGS"));
    QTimer::singleShot(300, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* action : menu->actions())
            if (action->text() == item) action->trigger();
        menu->close();
    });
    QWidget& pane = dlg.m_livePane;
    const QPoint at(pane.width() / 2, pane.height() / 2);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, pane.mapToGlobal(at));
    QApplication::sendEvent(&pane, &click);
    CCameraSettingsDlg* settings = dlg.m_cameraDlg.data();
    if (!settings) {
        std::fprintf(stderr, "the camera settings did not open\n");
        return false;
    }
    settings->move(dlg.x() + 60, dlg.y() + 60);
    settings->Change(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL);
    if (auto* slider = qobject_cast<QSlider*>(settings->EditorOf(V4L2_CID_BRIGHTNESS)))
        slider->setValue(-12);
    Pump(800);
    const bool ok = Save(settings, path);
    settings->ResetDefaults();
    settings->close();
    Pump(200);
    return ok;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    auto cameras = platform::v4l2::CEmulatedCameraSystem::InstallDefault();
    QTemporaryDir folder;
    if (!folder.isValid() || !CopyLanguagePacks(folder.path() + QStringLiteral("/Language"))) {
        std::fprintf(stderr, "no language packs to copy\n");
        return 1;
    }
    platform::SetModuleFolderForTesting(folder.path());
    AfxGetApp().m_langFile = folder.path() + QStringLiteral("/Language/English.ini");
    AfxGetApp().m_log.Open((folder.path() + QStringLiteral("/screenshots-log.txt")).toStdString());
    platform::SetMessageBoxHookForTesting(
        [](const QString&, const QString& text, platform::MessageBoxIcon) {
            std::fprintf(stderr, "message box: %s\n", qPrintable(text));
        });
    bool ok = true;

    {
        CQuorvelDlg start;
        if (!start.Create()) return 1;
        start.move(40, 40);
        Pump(400);
        ok &= Save(&start, out + QStringLiteral("/start-window.png"));
        start.DestroyWindow();
    }

    CVideoCaptureDlgUnderTest dlg;
    if (!dlg.Create() || !dlg.isVisible()) {
        std::fprintf(stderr, "the capture window did not open\n");
        return 1;
    }
    dlg.move(20, 20);
    Pump(1500);
    ok &= Save(&dlg, out + QStringLiteral("/capture-window.png"));
    ok &= ExamDialog(dlg, out + QStringLiteral("/exam-dialog.png"));
    ok &= CameraSettings(dlg, out + QStringLiteral("/camera-settings.png"));

    if (!Record(dlg, 2500) || !Record(dlg, 2500)) {
        std::fprintf(stderr, "the clips were not recorded\n");
        return 1;
    }
    dlg.m_btnView.click();
    DropOn(dlg, dlg.GetDlgItem(1007), dlg.m_videoPaths[0]);
    DropOn(dlg, dlg.GetDlgItem(1008), dlg.m_videoPaths[1]);
    const bool playing = WaitUntil(
        [&] {
            return dlg.Player(0) && dlg.Player(1) && dlg.Player(0)->GetState() == libvlc_Playing &&
                   dlg.Player(1)->GetState() == libvlc_Playing;
        },
        8000);
    if (!playing) {
        std::fprintf(stderr, "the clips do not play\n");
        ok = false;
    }
    QCursor::setPos(0, 0);
    Pump(1200);
    ok &= Save(&dlg, out + QStringLiteral("/dual-view.png"));
    ok &= Review(dlg, folder.path() + QStringLiteral("/Quorvel.ini"),
                 out + QStringLiteral("/review-tools.png"));
    ok &= Assisted(dlg, folder.path(), out + QStringLiteral("/assisted-tools.png"));
    if (!Report(dlg, out)) {
        std::fprintf(stderr, "the report's pictures were not made\n");
        ok = false;
    }
    dlg.DestroyWindow();
    platform::SetMessageBoxHookForTesting(nullptr);
    return ok ? 0 : 1;
}
