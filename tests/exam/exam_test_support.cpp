#include "exam_test_support.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace testing_support {

CExamFolder::CExamFolder() = default;

void CExamFolder::WriteClipFile(const std::string& rel) const {
    const std::filesystem::path path = Root() + "/" + rel;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << "RIFF clip " << rel;
}

bool CExamFolder::Exists(const std::string& rel) const {
    return std::filesystem::exists(Root() + "/" + rel);
}

long long CExamFolder::Query(const std::string& sql) const {
    sqlite3* db = nullptr;
    long long value = -1;
    if (sqlite3_open_v2(DbPath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW)
            value = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
    }
    sqlite3_close_v2(db);
    return value;
}

bool CExamFolder::Exec(const std::string& sql) const {
    sqlite3* db = nullptr;
    bool ok = false;
    if (sqlite3_open_v2(DbPath().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 10000);
        ok = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    sqlite3_close_v2(db);
    return ok;
}

std::string CExamFolder::FileBytes() const {
    std::ifstream in(DbPath(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace testing_support
