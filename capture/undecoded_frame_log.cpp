#include "capture/undecoded_frame_log.h"

#include "platform/win_app.h"

CUndecodedFrameLog::CUndecodedFrameLog(Clock clock) : m_clock(std::move(clock)) {
    if (!m_clock) m_clock = [] { return std::chrono::steady_clock::now(); };
}

void CUndecodedFrameLog::Failed(const std::string& why, long bytes) {
    ++m_total;
    ++m_untold;
    m_lastWhy = why;
    m_lastBytes = bytes;
    TellIfDue();
}

void CUndecodedFrameLog::TellIfDue() {
    const auto now = m_clock();
    if (m_told && now - m_lastLine < kInterval) return;
    AfxGetApp().m_log.WriteLog(
        "camera frames not decoded: %lld (%lld since the start); last: %s, %ld bytes\n", m_untold,
        m_total, m_lastWhy.c_str(), m_lastBytes);
    m_told = true;
    m_lastLine = now;
    m_untold = 0;
}
