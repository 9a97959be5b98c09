// Writes a visit's report on a worker of its own, so that the window's thread does not wait for
// the decoding and the disk; the result comes back to the window's thread as a posted item.
// One report at a time.
#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <thread>

#include "platform/posted_queue.h"
#include "report/report_writer.h"

class CReportJob {
  public:
    using Done = std::function<void(CReportWriter::Result&& result)>;
    // done runs on the thread that made the job.
    explicit CReportJob(Done done);
    // Waits for a report being written: the store it reads must outlive the job.
    ~CReportJob();
    CReportJob(const CReportJob&) = delete;
    CReportJob& operator=(const CReportJob&) = delete;

    // False, and nothing started, while one is being written. Options' texts are looked up on
    // the calling thread first, so the worker reads no application state.
    bool Start(CExamStore& store, const Visit& visit, CReportWriter::Options options);
    bool Busy() const { return m_busy; }

  private:
    platform::CPostedQueue<CReportWriter::Result> m_results;
    std::thread m_worker;
    std::atomic<bool> m_busy{false};
};
