// The exam database's tables, by version. PRAGMA user_version holds the version a file has;
// each step from one version to the next runs in a transaction of its own, so a file is always
// at one whole version.
#pragma once

#include <sqlite3.h>

class CExamSchema {
  public:
    static constexpr int kVersion = 4;
    // Marks the file as ours (PRAGMA application_id, "QVL1").
    static constexpr int kApplicationId = 0x51564C31;

    // Brings the database from version `from` up to `to` (at most kVersion); SQLite's result
    // code of the first step that failed, SQLITE_OK when all held.
    static int Migrate(sqlite3* db, int from, int to);

  private:
    static const char* Step(int toVersion);
};
