// The run's log: one line per WriteLog call, from any thread.
#pragma once

#include <fstream>
#include <mutex>
#include <string>

class CLogFile {
  public:
    CLogFile() = default;
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Opens the log for appending; a failed open leaves it closed and says nothing.
    void Open(const std::string& path);
    bool IsOpen() const { return m_stream.is_open(); }
    void Close();

    void WriteLog(const char* format, ...) __attribute__((format(printf, 2, 3)));

  private:
    std::ofstream m_stream;
    std::mutex m_mutex;
};
