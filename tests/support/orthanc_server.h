// For the tests that send to a picture archive: an Orthanc of their own on 127.0.0.1 (free
// ports, storage in a temporary folder, never the system's service) and a GET on its REST API.
#pragma once

#include <QTemporaryDir>
#include <string>
#include <vector>

#include "tests/support/spawned_process.h"

namespace archive_testing {

constexpr const char* kOrthancBinary = "/usr/sbin/Orthanc";
constexpr const char* kArchiveAet = "QVTESTPACS";

// A free TCP port on 127.0.0.1 (bound and let go).
int FreePort();

// Whether something accepts a TCP connection on 127.0.0.1:port.
bool Accepts(int port);

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
    testing_support::CSpawnedProcess m_process;
    int m_dicomPort = 0;
    int m_httpPort = 0;
};

}  // namespace archive_testing
