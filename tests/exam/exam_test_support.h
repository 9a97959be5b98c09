// A video folder of its own for one exam store test, and a look into its database file that
// does not go through the store.
#pragma once

#include <sqlite3.h>

#include <QTemporaryDir>
#include <string>

#include "exam/exam_store.h"

namespace testing_support {

class CExamFolder {
  public:
    CExamFolder();
    std::string Root() const { return m_dir.path().toStdString(); }
    std::string DbPath() const { return CExamStore::PathIn(Root()); }
    // Writes a small file at rel below the root, making its folder.
    void WriteClipFile(const std::string& rel) const;
    bool Exists(const std::string& rel) const;
    // One number from the database through a connection of its own; -1 on any error.
    long long Query(const std::string& sql) const;
    // Runs sql through a connection of its own, as a damaged or foreign writer would.
    bool Exec(const std::string& sql) const;
    std::string FileBytes() const;

  private:
    QTemporaryDir m_dir;
};

}  // namespace testing_support
