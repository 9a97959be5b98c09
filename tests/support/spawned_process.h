// A server program a test starts and stops: posix_spawn, not fork, because the sanitizers do
// not follow a fork of a process with threads (QProcess forks). Its output goes to a log file.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testing_support {

class CSpawnedProcess {
  public:
    CSpawnedProcess() = default;
    ~CSpawnedProcess();
    CSpawnedProcess(const CSpawnedProcess&) = delete;
    CSpawnedProcess& operator=(const CSpawnedProcess&) = delete;

    // Starts program (looked up on PATH when it has no '/') with args, stdout and stderr
    // appended to logPath; false, with Error() saying why, when it cannot be started.
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::string& logPath);
    // Whether it still runs; reaps it once it has ended.
    bool Running();
    // SIGTERM, then SIGKILL when it does not end within the suite's patience.
    void Stop();
    const std::string& Error() const { return m_error; }

  private:
    pid_t m_pid = -1;
    std::string m_error;
};

}  // namespace testing_support
