#include "platform/log_file.h"

#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <vector>

CLogFile::~CLogFile() {
    Close();
}

void CLogFile::Open(const std::string& path) {
    std::lock_guard lock(m_mutex);
    if (m_stream.is_open()) return;
    // Appending keeps the first run's log when two runs start within the same second.
    m_stream.open(path, std::ios::out | std::ios::app | std::ios::binary);
}

void CLogFile::Close() {
    std::lock_guard lock(m_mutex);
    if (m_stream.is_open()) m_stream.close();
}

void CLogFile::WriteLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int n = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::vector<char> text(n > 0 ? static_cast<size_t>(n) + 1 : 1, '\0');
    if (n > 0) std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);

    if (!m_stream.is_open()) {
        std::cerr << "Log file not opened." << std::endl;
        return;
    }
    std::lock_guard lock(m_mutex);
    m_stream << text.data() << '\n';
    m_stream.flush();
    m_stream.flush();
}
