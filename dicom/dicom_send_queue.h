// The queue of objects for the picture archive, kept in the exam database until the archive has
// confirmed each one, and the worker thread that sends them. A failed send waits longer after
// each failure; items left when Quorvel closed are sent after the next start. The worker never
// touches a widget: each outcome goes to the report callback, which hands it on
// (platform::CPostedQueue).
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dicom/dicom_sender.h"
#include "exam/exam_store.h"

struct DicomSendReport {
    long long itemRow = 0;
    std::string clipRelPath;
    std::string kind;  // "clip" or "snapshot"
    bool sent = false;
    bool refused = false;  // the archive answered with a failure status
    unsigned status = 0;
    std::string error;
};

class CDicomSendQueue {
  public:
    // Called on the worker's thread.
    using Report = std::function<void(DicomSendReport report)>;

    // store outlives the queue; objects are built in outgoingDir (made owner-only) while sent.
    CDicomSendQueue(CExamStore& store, std::string outgoingDir, Report report);
    ~CDicomSendQueue();
    CDicomSendQueue(const CDicomSendQueue&) = delete;
    CDicomSendQueue& operator=(const CDicomSendQueue&) = delete;

    // Queues the clip (its path below the video folder) and the snapshots saved beside it
    // (<clip's name>_<frame>.png). NotFound when the clip has no exam record.
    static ExamResult<std::vector<SendItem>> QueueClip(CExamStore& store,
                                                       const std::string& clipRelPath);
    // The seconds to wait after the attempts-th failure in a row: growing, at most an hour.
    static long long PauseAfter(int attempts);

    // Any thread. Nothing is sent while the archive's settings lack something; new settings
    // try every waiting item at once.
    void SetArchive(const DicomArchive& archive);
    void Start();
    // Waits for the send in progress, if any, to end.
    void Stop();
    // Something was queued: look at the queue now.
    void Wake();
    // Try every waiting item now, whatever its pause.
    void RetryNow();
    // For observing: called on the worker after the archive stored an item, before it is
    // marked sent.
    void SetAfterStore(std::function<void(const SendItem&)> afterStore);

  private:
    void Run();
    void Process(const SendItem& item, const DicomArchive& archive);
    // Builds item's object into path; its SOP class and transfer syntax, or false with *error.
    bool Build(const SendItem& item, const std::string& path, std::string* sopClass,
               std::string* syntax, std::string* error);

    CExamStore& m_store;
    const std::string m_outgoingDir;
    const Report m_report;
    std::string m_uidRoot;  // worker only
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    DicomArchive m_archive;                             // guarded by m_mutex
    bool m_stop = false;                                // guarded by m_mutex
    bool m_woken = false;                               // guarded by m_mutex
    bool m_retryNow = false;                            // guarded by m_mutex
    std::function<void(const SendItem&)> m_afterStore;  // guarded by m_mutex
};
