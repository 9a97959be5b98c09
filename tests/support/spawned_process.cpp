#include "tests/support/spawned_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>

#include "tests/support/test_support.h"

extern char** environ;

namespace testing_support {

CSpawnedProcess::~CSpawnedProcess() {
    Stop();
}

bool CSpawnedProcess::Start(const std::string& program, const std::vector<std::string>& args,
                            const std::string& logPath) {
    Stop();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0600);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    const int rc = posix_spawnp(&m_pid, program.c_str(), &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (rc != 0) {
        m_pid = -1;
        m_error = program + " does not start: " + std::strerror(rc);
        return false;
    }
    return true;
}

bool CSpawnedProcess::Running() {
    if (m_pid <= 0) return false;
    if (waitpid(m_pid, nullptr, WNOHANG) == 0) return true;
    m_pid = -1;
    return false;
}

void CSpawnedProcess::Stop() {
    if (!Running()) return;
    kill(m_pid, SIGTERM);
    if (!WaitUntil([&] { return !Running(); })) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

}  // namespace testing_support
