// One prepared SQLite statement, finalized with its holder.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>

class CSqlStatement {
  public:
    CSqlStatement(sqlite3* db, const char* sql);
    ~CSqlStatement();
    CSqlStatement(const CSqlStatement&) = delete;
    CSqlStatement& operator=(const CSqlStatement&) = delete;

    // SQLITE_OK when the statement compiled.
    int PrepareResult() const { return m_prepareRc; }

    // Parameters count from 1.
    void Bind(int index, long long value);
    void Bind(int index, double value);
    void Bind(int index, const std::string& value);
    void BindNull(int index);
    template <typename T>
    void Bind(int index, const std::optional<T>& value) {
        if (value)
            Bind(index, *value);
        else
            BindNull(index);
    }
    void Bind(int index, int value) { Bind(index, static_cast<long long>(value)); }
    // Binds the values to parameters 1, 2, ... in order.
    template <typename... Values>
    void BindAll(const Values&... values) {
        int index = 0;
        (Bind(++index, values), ...);
    }

    // Ready to run again with new parameters.
    void Reset();
    // SQLITE_ROW, SQLITE_DONE, or the error.
    int Step();

    // Columns count from 0.
    long long Int(int column) const;
    double Real(int column) const;
    std::string Text(int column) const;
    bool IsNull(int column) const;
    std::optional<long long> OptInt(int column) const;
    std::optional<double> OptReal(int column) const;

    // Runs sql (one or more statements without results); SQLite's result code.
    static int Exec(sqlite3* db, const char* sql);

  private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_prepareRc = SQLITE_OK;
};
