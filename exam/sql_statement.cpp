#include "exam/sql_statement.h"

CSqlStatement::CSqlStatement(sqlite3* db, const char* sql) {
    m_prepareRc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
}

CSqlStatement::~CSqlStatement() {
    sqlite3_finalize(m_stmt);
}

void CSqlStatement::Bind(int index, long long value) {
    sqlite3_bind_int64(m_stmt, index, value);
}

void CSqlStatement::Bind(int index, double value) {
    sqlite3_bind_double(m_stmt, index, value);
}

void CSqlStatement::Bind(int index, const std::string& value) {
    sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()),
                      SQLITE_TRANSIENT);
}

void CSqlStatement::BindNull(int index) {
    sqlite3_bind_null(m_stmt, index);
}

void CSqlStatement::Reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int CSqlStatement::Step() {
    if (m_prepareRc != SQLITE_OK) return m_prepareRc;
    return sqlite3_step(m_stmt);
}

long long CSqlStatement::Int(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

double CSqlStatement::Real(int column) const {
    return sqlite3_column_double(m_stmt, column);
}

std::string CSqlStatement::Text(int column) const {
    const auto* text = sqlite3_column_text(m_stmt, column);
    if (!text) return {};
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)));
}

bool CSqlStatement::IsNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::optional<long long> CSqlStatement::OptInt(int column) const {
    if (IsNull(column)) return std::nullopt;
    return Int(column);
}

std::optional<double> CSqlStatement::OptReal(int column) const {
    if (IsNull(column)) return std::nullopt;
    return Real(column);
}

int CSqlStatement::Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}
