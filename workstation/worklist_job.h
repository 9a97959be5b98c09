// Asks the modality worklist on a worker of its own, so that the window's thread never waits for
// the network; the result comes back to the thread that made the job as a posted item. One query
// at a time: asking again while one runs takes over its result.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <thread>

#include "dicom/worklist_query.h"
#include "platform/posted_queue.h"

class CWorklistJob {
  public:
    using Done = std::function<void(CWorklistQuery::Result&& result)>;

    // settingsFile: the INI file; empty means Quorvel.ini in the settings folder.
    explicit CWorklistJob(QString settingsFile = QString());
    // Waits for a query in flight, which its timeouts bound.
    ~CWorklistJob();
    CWorklistJob(const CWorklistJob&) = delete;
    CWorklistJob& operator=(const CWorklistJob&) = delete;

    // Read afresh at each call, so an edit of the file counts without a restart.
    WorklistSettings Settings() const { return WorklistSettings::Load(m_settingsFile); }
    QString SettingsFile() const;

    // Asks for the steps of date (YYYY-MM-DD); done runs on this thread with the result.
    void Start(const WorklistSettings& settings, const std::string& date, Done done);
    // The asker is gone: its result is dropped.
    void Forget() { m_done = nullptr; }
    bool Busy() const { return m_busy; }

  private:
    QString m_settingsFile;
    Done m_done;          // this thread only
    bool m_busy = false;  // this thread only
    platform::CPostedQueue<CWorklistQuery::Result> m_results;
    std::thread m_worker;
};
