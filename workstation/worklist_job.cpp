#include "workstation/worklist_job.h"

#include "platform/win_app.h"

CWorklistJob::CWorklistJob(QString settingsFile)
    : m_settingsFile(std::move(settingsFile)), m_results([this](CWorklistQuery::Result&& r) {
          if (m_worker.joinable()) m_worker.join();
          m_busy = false;
          // The server's address and DCMTK's words only: never a name or an ID.
          if (!r.ok())
              AfxGetApp().m_log.WriteLog("worklist: query failed: %s\n", r.detail.c_str());
          else if (!r.detail.empty())
              AfxGetApp().m_log.WriteLog("worklist: %zu entries; %s\n", r.entries.size(),
                                         r.detail.c_str());
          if (m_done) m_done(std::move(r));
      }) {}

CWorklistJob::~CWorklistJob() {
    if (m_worker.joinable()) m_worker.join();
}

QString CWorklistJob::SettingsFile() const {
    return m_settingsFile.isEmpty() ? WorklistSettings::DefaultFile() : m_settingsFile;
}

void CWorklistJob::Start(const WorklistSettings& settings, const std::string& date, Done done) {
    m_done = std::move(done);
    if (m_busy) return;
    m_busy = true;
    if (m_worker.joinable()) m_worker.join();
    AfxGetApp().m_log.WriteLog("worklist: asking %s (%s) for %s\n", settings.Address().c_str(),
                               settings.calledAeTitle.c_str(), date.c_str());
    m_worker = std::thread([this, settings, date] {
        CWorklistQuery::Result r = CWorklistQuery::Run(settings, date);
        if (!r.ok()) r.detail = settings.Address() + ": " + r.detail;
        m_results.Post(std::move(r));
    });
}
