// For the DICOM tests: an Orthanc archive of their own on 127.0.0.1 (free ports, storage in a
// temporary folder, never the system's service), a GET on its REST API, and a video folder with
// an exam whose clip and snapshot are written here.
#pragma once

#include <QProcess>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "exam/exam_store.h"

namespace dicom_testing {

constexpr const char* kOrthancBinary = "/usr/sbin/Orthanc";
constexpr const char* kArchiveAet = "QVTESTPACS";

// A free TCP port on 127.0.0.1 (bound and let go).
int FreePort();

// The body of a GET on 127.0.0.1:port; empty on any failure. *status gets the HTTP status.
std::string HttpGet(int port, const std::string& path, int* status = nullptr);

class COrthanc {
  public:
    COrthanc();
    ~COrthanc();
    static bool Installed();
    // Starts it with its storage kept from an earlier start, on dicomPort when that is not 0
    // (else a free one); true when its REST API answers.
    bool Start(int dicomPort = 0);
    void Stop();
    int DicomPort() const { return m_dicomPort; }
    int HttpPort() const { return m_httpPort; }
    std::string Get(const std::string& path, int* status = nullptr) const {
        return HttpGet(m_httpPort, path, status);
    }
    // The Orthanc ids of the stored instances.
    std::vector<std::string> Instances() const;

  private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_dicomPort = 0;
    int m_httpPort = 0;
};

// A video folder with an open store: patient 山田^花子, a visit on 2026-12-11 and clip
// 2026-12-11/101500.avi of finger L3 (calibrated, 12.5 real frames per second) whose first frame
// has no Huffman tables, and a snapshot 2026-12-11/101500_000003.png beside it.
class CExamWithClip {
  public:
    static constexpr const char* kClip = "2026-12-11/101500.avi";
    static constexpr const char* kSnapshot = "2026-12-11/101500_000003.png";
    static constexpr const char* kPatientName = "山田^花子";
    static constexpr double kUmPerPx = 2.5;
    static constexpr int kFrames = 8;

    CExamWithClip();
    bool ok() const { return m_ok; }
    CExamStore& Store() { return m_store; }
    std::string Root() const { return m_dir.path().toStdString(); }
    // The clip's frames as they lie in the AVI.
    const std::vector<std::vector<unsigned char>>& Frames() const { return m_frames; }

  private:
    QTemporaryDir m_dir;
    CExamStore m_store;
    std::vector<std::vector<unsigned char>> m_frames;
    bool m_ok = false;
};

}  // namespace dicom_testing
