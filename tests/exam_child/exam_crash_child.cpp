// A second process for the exam store's tests.
//   exam_crash_child save <root> <visit row> <first> <last> <kill at step>
//     writes clip files <first>..<last>-1 and records each, as a save does, and SIGKILLs itself
//     at the given step (a chunk of a clip file, or a write, sync, truncate or lock of SQLite).
//   exam_crash_child open <root> <uid>
//     opens the store as that user; the exit status is the ExamError.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "counting_vfs.h"
#include "exam/exam_store.h"

namespace {

long long g_steps = 0;
long long g_killAt = 0;

void CountStep() {
    if (++g_steps == g_killAt) raise(SIGKILL);
}

std::string ClipName(int index) {
    char name[64];
    std::snprintf(name, sizeof name, "2026-12-11/%06d.avi", 100000 + index);
    return name;
}

int Save(const std::string& root, long long visit, int first, int last) {
    testing_support::InstallCountingVfs(CountStep);
    CExamStore store;
    if (!store.Open(root).ok()) return 10;
    ::mkdir((root + "/2026-12-11").c_str(), 0755);
    const std::vector<char> chunk(64 * 1024, 'q');
    for (int i = first; i < last; ++i) {
        const std::string rel = ClipName(i);
        const int fd = ::open((root + "/" + rel).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0) return 11;
        for (int part = 0; part < 4; ++part) {
            CountStep();
            if (::write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size()))
                return 12;
        }
        ::close(fd);
        ClipRecord clip;
        clip.visitRow = visit;
        clip.finger = "R3";
        clip.relPath = rel;
        clip.savedAt = "2026-12-11 10:00:00";
        clip.frameCount = i;
        clip.frameRate = 30.0;
        if (!store.SaveClip(clip).ok()) return 13;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 6 && args[0] == "save") {
        g_killAt = std::atoll(args[5].c_str());
        return Save(args[1], std::atoll(args[2].c_str()), std::atoi(args[3].c_str()),
                    std::atoi(args[4].c_str()));
    }
    if (args.size() == 3 && args[0] == "open") {
        const uid_t uid = static_cast<uid_t>(std::atoi(args[2].c_str()));
        if (uid != ::geteuid() && (::setgid(uid) != 0 || ::setuid(uid) != 0)) return 100;
        CExamStore store;
        return static_cast<int>(store.Open(args[1]).code);
    }
    return 101;
}
