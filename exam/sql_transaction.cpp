#include "exam/sql_transaction.h"

#include "exam/sql_statement.h"

CSqlTransaction::CSqlTransaction(sqlite3* db) : m_db(db) {
    m_beginRc = CSqlStatement::Exec(m_db, "BEGIN IMMEDIATE");
    m_open = m_beginRc == SQLITE_OK;
}

CSqlTransaction::~CSqlTransaction() {
    if (m_open) CSqlStatement::Exec(m_db, "ROLLBACK");
}

int CSqlTransaction::Commit() {
    const int rc = CSqlStatement::Exec(m_db, "COMMIT");
    // A failed COMMIT leaves the transaction open; the destructor rolls it back.
    if (rc == SQLITE_OK) m_open = false;
    return rc;
}
