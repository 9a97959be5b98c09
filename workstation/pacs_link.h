// The capture window's way to the picture archive: the [PACS] settings of Quorvel.ini, "Send to
// PACS" on a clip of the strip, AutoSend of each clip saved during an exam, and what the strip
// shows of each clip's objects (waiting, sent, failed with the reason). The sending itself runs
// on the send queue's worker; its outcomes come back to the window's thread as posted items.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <set>

#include "dicom/dicom_send_queue.h"
#include "platform/posted_queue.h"
#include "workstation/exam_session.h"

class CPacsLink {
  public:
    enum class State { None, Waiting, Sent, Failed };

    // session outlives the link. settingsFile is Quorvel.ini.
    CPacsLink(CExamSession& session, const QString& videoDir, const QString& settingsFile);
    ~CPacsLink();
    CPacsLink(const CPacsLink&) = delete;
    CPacsLink& operator=(const CPacsLink&) = delete;

    // [PACS] Host, Port (104 when not set), CalledAETitle, CallingAETitle, AutoSend.
    static DicomArchive ReadSettings(const QString& settingsFile, bool* autoSend);

    // The strip's menu item: "Send to PACS", or what to set first when a setting is missing.
    QString MenuText() const;
    bool Configured() const { return m_archive.Missing().empty(); }
    // Queues the clip (absolute path) and its snapshots and wakes the sender; a clip without an
    // exam gets a message saying to choose the patient first.
    void Send(const QString& clipPath);
    // What the strip shows of the clip; reason gets the last failure.
    State StateOf(const QString& clipPath, QString* reason) const;
    // Runs on the window's thread when a clip's state may have changed.
    void SetStateChanged(std::function<void(const QString& clipPath)> changed) {
        m_stateChanged = std::move(changed);
    }

  private:
    // The window's thread: the store was opened at start, or a save's record was written.
    void OnRecorded(const std::string& relPath);
    void OnReport(DicomSendReport&& report);
    // The queue over the session's store, made when the store is open; null before.
    CDicomSendQueue* Queue();

    CExamSession& m_session;
    const QString m_videoDir;
    DicomArchive m_archive;
    bool m_autoSend = false;
    std::function<void(const QString&)> m_stateChanged;
    std::set<long long> m_toldRefused;  // items whose refusal the user heard of
    platform::CPostedQueue<std::string> m_recorded;
    platform::CPostedQueue<DicomSendReport> m_reports;
    // Declared last: its worker, which posts to m_reports, ends before the queues go.
    std::unique_ptr<CDicomSendQueue> m_queue;
};
