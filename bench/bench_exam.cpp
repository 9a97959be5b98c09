// The exam store at a clinic's scale: 10,000 patients, 50,000 visits, 200,000 clips. Prints
// how long opening the database, each keystroke of a patient search, a save's record and the
// compare look-up take, and how long the capture window takes to open with and without the
// database beside its clips. Asserts nothing.
#include <sqlite3.h>

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture/dscapture.h"
#include "emulated/emulated_camera_system.h"
#include "exam/exam_store.h"
#include "exam/finger.h"
#include "platform/app_paths.h"
#include "platform/system.h"
#include "platform/win_app.h"
#include "tests/workstation/video_capture_dlg_under_test.h"

namespace {

constexpr int kPatients = 10000;
constexpr int kVisits = 50000;
constexpr int kClips = 200000;

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Date(int visit) {
    // Five visits per patient, a few months apart, from 2022 on.
    const int n = visit % 5;
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", 2022 + n, 1 + (visit / 5) % 12,
                  1 + visit % 28);
    return text;
}

// Fills the tables in one transaction through a connection of its own.
void Populate(const std::string& dbPath) {
    sqlite3* db = nullptr;
    sqlite3_open(dbPath.c_str(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    const char* family[] = {"YAMADA",   "SATO", "SUZUKI",   "TAKAHASHI", "TANAKA",
                            "WATANABE", "ITO",  "NAKAMURA", "KOBAYASHI", "KATO"};
    const char* given[] = {"Hanako", "Taro", "Yuki", "Ken", "Aoi", "Sora", "Mei", "Ren"};
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO patients (id, patient_id, name, birth_date, sex, id_fold, "
                       "name_fold) VALUES (?1, ?2, ?3, '1960-01-01', 'F', lower(?2), lower(?3))",
                       -1, &s, nullptr);
    for (int p = 1; p <= kPatients; ++p) {
        const std::string id = "P" + std::to_string(100000 + p);
        const std::string name =
            std::string(family[p % 10]) + " " + given[p % 8] + std::to_string(p);
        sqlite3_bind_int(s, 1, p);
        sqlite3_bind_text(s, 2, id.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 3, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(s);
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    sqlite3_prepare_v2(db, "INSERT INTO visits (id, patient, visit_date) VALUES (?1, ?2, ?3)", -1,
                       &s, nullptr);
    for (int v = 1; v <= kVisits; ++v) {
        sqlite3_bind_int(s, 1, v);
        sqlite3_bind_int(s, 2, 1 + (v - 1) / 5);
        sqlite3_bind_text(s, 3, Date(v - 1).c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(s);
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    sqlite3_prepare_v2(db,
                       "INSERT INTO clips (visit, finger, rel_path, saved_at, frame_count, "
                       "frame_rate, um_per_px) VALUES (?1, ?2, ?3, '2024-01-01 10:00:00', 300, "
                       "29.9, 1.0)",
                       -1, &s, nullptr);
    const auto& fingers = exam::FingerOrder();
    for (int c = 0; c < kClips; ++c) {
        const int visit = 1 + c / 4;
        char rel[64];
        std::snprintf(rel, sizeof rel, "%s/%06d.avi", Date(visit - 1).c_str(), c);
        sqlite3_bind_int(s, 1, visit);
        sqlite3_bind_text(s, 2, fingers[c % 8].c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 3, rel, -1, SQLITE_TRANSIENT);
        sqlite3_step(s);
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

void Search(CExamStore& store, const std::string& typed) {
    double worst = 0, total = 0;
    size_t hits = 0;
    for (size_t n = 1; n <= typed.size(); ++n) {
        const auto start = Clock::now();
        auto found = store.SearchPatients(typed.substr(0, n));
        const double ms = MsSince(start);
        worst = std::max(worst, ms);
        total += ms;
        hits = found.value.size();
    }
    std::printf(
        "search \"%s\" typed key by key: %.2f ms per key on average, %.2f ms at worst "
        "(%zu found at the end)\n",
        typed.c_str(), total / typed.size(), worst, hits);
}

// The capture window's set-up, with the emulated camera: the best of five openings.
double WindowOpenMs() {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        CVideoCaptureDlgUnderTest dlg;
        if (!dlg.Create()) return -1;
        best = std::min(best, MsSince(start));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    platform::SetModuleFolderForTesting(dir.path());
    AfxGetApp().m_log.Open((dir.path() + "/bench.log").toStdString());
    auto cameras = platform::v4l2::CEmulatedCameraSystem::InstallDefault();
    DsCapture::SetSettleDelayForTesting(0);
    const std::string root = platform::CAppPaths::ForModule().VideoFolder().toStdString();
    std::filesystem::create_directories(root);
    const double windowWithout = WindowOpenMs();
    {
        CExamStore store;
        if (!store.Open(root).ok()) return 1;
    }
    auto start = Clock::now();
    Populate(CExamStore::PathIn(root));
    std::printf("filled %d patients, %d visits, %d clips in %.0f ms\n", kPatients, kVisits, kClips,
                MsSince(start));

    CExamStore store;
    double openWorst = 0;
    for (int i = 0; i < 5; ++i) {
        store.Close();
        start = Clock::now();
        store.Open(root);
        openWorst = std::max(openWorst, MsSince(start));
    }
    std::printf("open: %.2f ms at worst of 5\n", openWorst);

    Search(store, "P105432");
    Search(store, "yamada hanako");
    Search(store, "hanako80");  // found only inside the names: the scan

    const long long patient = store.CreatePatient({0, "NEW-1", "NEW Patient", "", ""}).value;
    const long long visit = store.VisitOn(patient, CExamStore::Today()).value.row;
    std::filesystem::create_directories(root + "/2026-12-11");
    const std::vector<char> bytes(20 * 1024 * 1024, 'q');  // about a 30 s clip
    for (bool sync : {false, true}) {
        const std::string rel = std::string("2026-12-11/10000") + (sync ? "1" : "0") + ".avi";
        std::ofstream(root + "/" + rel, std::ios::binary).write(bytes.data(), bytes.size());
        store.SetSyncClipFiles(sync);
        ClipRecord clip;
        clip.visitRow = visit;
        clip.finger = "R3";
        clip.relPath = rel;
        clip.savedAt = "2026-12-11 10:00:00";
        start = Clock::now();
        const bool ok = store.SaveClip(clip).ok();
        std::printf("save of a clip's record%s: %.2f ms%s\n",
                    sync ? ", with the 20 MB clip flushed to disk first" : "", MsSince(start),
                    ok ? "" : " (failed)");
    }
    start = Clock::now();
    // The last clip of the last patient's latest visit.
    auto earlier = store.EarlierClip(Date(kVisits - 1) + "/" + std::to_string(kClips - 1) + ".avi");
    std::printf("compare look-up: %.2f ms (%s)\n", MsSince(start),
                earlier.ok() ? earlier.value.record.relPath.c_str() : "none");
    // Clip files of the first visits (with their rows) and a hundred without one.
    for (int c = 0; c < 2100; ++c) {
        const int visit = 1 + c / 4;
        const std::string day = root + "/" + Date(visit - 1);
        std::filesystem::create_directories(day);
        char name[32];
        std::snprintf(name, sizeof name, "/%06d.avi", c < 2000 ? c : 900000 + c);
        std::ofstream(day + name) << "clip";
    }
    start = Clock::now();
    auto orphans = store.FindOrphans();
    std::printf("orphan scan over 2,100 clip files: %.2f ms (%zu found)\n", MsSince(start),
                orphans.value.size());
    store.Close();
    std::printf("capture window opening, best of 5: %.1f ms without a database, %.1f ms with it\n",
                windowWithout, WindowOpenMs());
    return 0;
}
