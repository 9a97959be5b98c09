// Counts the camera samples that did not decode and tells the log, at most one line a minute:
// a camera whose frames never show leaves a trace without filling the log. The first failure is
// told at once; later ones are summed up when their minute is over, at the next sample.
// Streaming thread only.
#pragma once

#include <chrono>
#include <functional>
#include <string>

class CUndecodedFrameLog {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // clock: null for the steady clock.
    explicit CUndecodedFrameLog(Clock clock = nullptr);

    // A sample of bytes bytes did not decode, for the reason why.
    void Failed(const std::string& why, long bytes);
    // A sample decoded: failures not told yet are told once their minute is over.
    void Decoded() {
        if (m_untold > 0) TellIfDue();
    }

    // Failures since the start, and those not told yet.
    long long Total() const { return m_total; }
    long long Untold() const { return m_untold; }

    static constexpr std::chrono::seconds kInterval{60};

  private:
    void TellIfDue();

    Clock m_clock;
    long long m_total = 0;
    long long m_untold = 0;
    std::string m_lastWhy;
    long m_lastBytes = 0;
    bool m_told = false;
    std::chrono::steady_clock::time_point m_lastLine{};
};
