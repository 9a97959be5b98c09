// A write transaction: BEGIN IMMEDIATE takes the write lock at once (waiting out the busy
// timeout), so a locked database fails before anything is changed. Rolled back unless committed.
#pragma once

#include <sqlite3.h>

class CSqlTransaction {
  public:
    explicit CSqlTransaction(sqlite3* db);
    ~CSqlTransaction();
    CSqlTransaction(const CSqlTransaction&) = delete;
    CSqlTransaction& operator=(const CSqlTransaction&) = delete;

    // SQLITE_OK when the transaction began.
    int BeginResult() const { return m_beginRc; }
    int Commit();

  private:
    sqlite3* m_db;
    int m_beginRc;
    bool m_open = false;
};
