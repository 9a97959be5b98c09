// The exam store against other processes: one killed in the middle of saves, one that may only
// read the file.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <set>

#include "exam/clip_file_scan.h"
#include "exam/exam_store.h"
#include "exam_test_support.h"

extern char** environ;

using testing_support::CExamFolder;

namespace {

// Runs the helper process with args; its wait status.
int RunChild(const std::vector<std::string>& args) {
    std::vector<std::string> all = {EXAM_CHILD};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, EXAM_CHILD, nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

TEST(ExamCrashTest, SavesKilledAtRandomStepsLeaveNoRowWithoutItsFile) {
    CExamFolder folder;
    long long visit = 0;
    {
        CExamStore store;
        ASSERT_TRUE(store.Open(folder.Root()).ok());
        const long long patient = store.CreatePatient({0, "1234", "A", "", ""}).value;
        visit = store.VisitOn(patient, "2026-12-11").value.row;
        ASSERT_GT(visit, 0);
    }
    std::mt19937 rng(20261211);
    std::uniform_int_distribution<int> step(1, 120);
    int next = 0, kills = 0, killsAfterWholeFile = 0;
    while (next < 50) {
        const int status = RunChild({"save", folder.Root(), std::to_string(visit),
                                     std::to_string(next), "50", std::to_string(step(rng))});
        const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        ASSERT_TRUE(killed || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
        kills += killed;

        CExamStore store;
        ASSERT_TRUE(store.Open(folder.Root()).ok());
        EXPECT_EQ(folder.Query("SELECT count(*) FROM pragma_integrity_check "
                               "WHERE integrity_check = 'ok'"),
                  1);
        std::set<std::string> rows;
        for (const Clip& clip : store.ClipsOfVisit(visit).value) {
            EXPECT_TRUE(folder.Exists(clip.record.relPath)) << clip.record.relPath;
            rows.insert(clip.record.relPath);
        }
        const std::vector<std::string> files = CClipFileScan::List(folder.Root());
        std::vector<std::string> withoutRow;
        for (const std::string& f : files)
            if (!rows.count(f)) withoutRow.push_back(f);
        EXPECT_EQ(store.FindOrphans().value, withoutRow);
        // Killed once the newest file was whole: inside the store's part of the save.
        killsAfterWholeFile +=
            killed && !files.empty() &&
            std::filesystem::file_size(folder.Root() + "/" + files.back()) == 4 * 64 * 1024;
        // The next process goes on after every file begun, the cut-off one stays an orphan.
        next = static_cast<int>(files.size());
    }
    EXPECT_GT(kills, 3);
    RecordProperty("kills", kills);
    RecordProperty("kills_after_whole_file", killsAfterWholeFile);
}

TEST(ExamOpenTest, ReadOnlyFileIsRefusedAndLeftAlone) {
    CExamFolder folder;
    {
        CExamStore store;
        ASSERT_TRUE(store.Open(folder.Root()).ok());
        ASSERT_TRUE(store.CreatePatient({0, "1234", "A", "", ""}).ok());
    }
    // Root may write anything: the other process runs as nobody then.
    const uid_t uid = ::geteuid() == 0 ? 65534 : ::geteuid();
    ASSERT_EQ(::chmod(folder.DbPath().c_str(), 0444), 0);
    ASSERT_EQ(::chmod(folder.Root().c_str(), 0755), 0);
    const std::string bytes = folder.FileBytes();
    const int status = RunChild({"open", folder.Root(), std::to_string(uid)});
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(ExamError::ReadOnly));
    EXPECT_EQ(folder.FileBytes(), bytes);
}

}  // namespace
