// The capture window's exam: the database (opened when an exam is first chosen, or at start
// when it exists already), the patient, visit and finger chosen, and the records a save or a
// kept measurement adds. Without an exam nothing is written: a save then leaves only its clip.
//
// A save's record (a flush of the clip and one insert) and the look at an existing database at
// start (opening it, finding clips without a record) run on a worker of its own, so the window's
// thread does not wait for the disk; a failure comes back to it as a posted item for the one
// message the user sees.
#pragma once

#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "exam/exam_store.h"
#include "platform/posted_queue.h"

class CExamSession {
  public:
    struct Choice {
        Patient patient;
        Visit visit;
        std::string finger;
    };

    explicit CExamSession(const QString& videoDir);
    ~CExamSession();
    CExamSession(const CExamSession&) = delete;
    CExamSession& operator=(const CExamSession&) = delete;

    // The open store; with create, the file is made when there is none. Null when it cannot be
    // opened: the log says why, the user hears it once.
    CExamStore* Store(bool create);
    // At the window's start: when the database exists, the worker opens it and logs the clips
    // without a record.
    void CheckAtStart();

    void Choose(Choice choice);
    void Clear();
    const std::optional<Choice>& Current() const { return m_choice; }
    void SetFinger(const std::string& finger);
    // "1234 · YAMADA Hanako · R3" while an exam is chosen, else empty.
    QString OverlayLine() const;
    // Runs whenever the choice or its finger changed.
    void SetChangedHook(std::function<void()> hook) { m_changed = std::move(hook); }

    struct SavedClip {
        QString path;  // absolute, as saved
        std::optional<long long> frameCount;
        std::optional<double> frameRate;
        std::optional<double> umPerPx;
    };
    // After a clip's file was written: with an exam chosen, its record is handed to the worker
    // and the finger moves on to the next. Without one nothing happens.
    void RecordSave(const SavedClip& clip);
    // A kept measurement, against the clip's record when the clip has one.
    void RecordMeasurement(const QString& clipPath, const Measurement& measurement);
    // Records handed to the worker and not yet written.
    int PendingSaves() const;
    // Runs on the worker: after the database found at start was opened (with an empty path),
    // and after each save's record was written (with the clip's path below the video folder).
    // Set it to nothing before its target goes.
    void SetRecordedHook(std::function<void(const std::string& relPath)> hook);

  private:
    struct Failure {
        bool opening = false;  // else a save's record
        ExamStatus status;
    };

    void Work();
    // Worker: opens the database found at start and logs its clips without a record.
    void CheckExisting();
    // Opens the store; a failure is logged and remembered, so it is tried and told once.
    ExamStatus OpenOnce();
    void Changed();
    void Tell(const char* key);
    void Recorded(const std::string& relPath);

    QString m_videoDir;
    CExamStore m_store;
    std::optional<Choice> m_choice;
    std::function<void()> m_changed;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<ClipRecord> m_jobs;  // guarded by m_mutex
    int m_pending = 0;              // guarded by m_mutex
    bool m_stop = false;            // guarded by m_mutex
    bool m_checking = false;        // guarded by m_mutex: the start's look is to come or running
    bool m_openFailed = false;      // guarded by m_mutex
    std::condition_variable m_checked;
    std::function<void(const std::string&)> m_recorded;  // guarded by m_mutex
    platform::CPostedQueue<Failure> m_failures;
    std::thread m_worker;
};
