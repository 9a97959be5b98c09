#include "workstation/report_job.h"

#include <map>
#include <memory>

CReportJob::CReportJob(Done done)
    : m_results([this, done = std::move(done)](CReportWriter::Result&& r) {
          if (m_worker.joinable()) m_worker.join();
          m_busy = false;
          done(std::move(r));
      }) {}

CReportJob::~CReportJob() {
    if (m_worker.joinable()) m_worker.join();
}

bool CReportJob::Start(CExamStore& store, const Visit& visit, CReportWriter::Options options) {
    if (m_busy.exchange(true)) return false;
    if (m_worker.joinable()) m_worker.join();
    auto texts = std::make_shared<std::map<std::string, QString>>();
    for (const char* key : CReportWriter::TextKeys()) (*texts)[key] = options.text(key);
    options.text = [texts](const char* key) {
        const auto it = texts->find(key);
        return it != texts->end() ? it->second : QString::fromLatin1(key);
    };
    m_worker = std::thread([this, &store, visit, options = std::move(options)] {
        m_results.Post(CReportWriter::Write(store, visit, options));
    });
    return true;
}
