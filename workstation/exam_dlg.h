// The exam dialog (Ctrl+E, or the live pane's menu): find or add a patient, or take one from
// the hospital's worklist with its order, start or continue today's visit, click the finger being
// filmed on the hand map, assign clips that have no record, and put a past visit's clips into the
// strip.
#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <functional>
#include <optional>
#include <vector>

#include "workstation/exam_session.h"
#include "workstation/worklist_dlg.h"
#include "workstation/worklist_job.h"

class CExamDlg : public QDialog {
    Q_OBJECT
  public:
    CExamDlg(CExamSession& session, CExamStore& store, const QString& today,
             QWidget* parent = nullptr);
    ~CExamDlg() override;

    // Receives the absolute paths of a past visit's clips for the strip.
    void SetPutIntoStrip(std::function<void(const QStringList&)> put) { m_put = std::move(put); }

    // Writes the report of the visit chosen in the list (the exam's own when the dialog opens
    // on it); without it the button is not shown.
    void SetReport(std::function<void(const Visit&)> report);

    // Asks the worklist through job, which outlives the dialog; without it the button is not
    // shown.
    void SetWorklist(CWorklistJob* job);

    // For tests and the screenshot tool.
    QLineEdit& Search() { return m_search; }
    QListWidget& Patients() { return m_patients; }
    QListWidget& Visits() { return m_visits; }
    QListWidget& Orphans() { return m_orphans; }
    QLineEdit& NewId() { return m_newId; }
    QLineEdit& NewName() { return m_newName; }
    QLineEdit& NewBirthDate() { return m_newBirth; }
    QPushButton& CreateButton() { return m_create; }
    QPushButton& TodayButton() { return m_today; }
    QPushButton& AssignButton() { return m_assign; }
    QPushButton& ToStripButton() { return m_toStrip; }
    QPushButton& ReportButton() { return *m_report; }
    QPushButton* FingerButton(const std::string& code);
    QLabel& Status() { return m_status; }
    QPushButton& WorklistButton() { return m_fromWorklist; }
    CWorklistDlg* WorklistPicker() { return m_picker; }
    QLineEdit& Accession() { return m_accession; }
    QLineEdit& Procedure() { return m_procedure; }

  private:
    void FindPatients();
    void OnPatientChosen();
    void CreatePatient();
    void StartToday();
    void PutVisitIntoStrip();
    // The visit chosen in the list.
    std::optional<Visit> ChosenVisit() const;
    void AssignOrphan();
    void ListOrphans();
    std::string ChosenFinger() const;
    void ShowError(const ExamStatus& status);
    static QString Text(const char* key);
    void AskWorklist();
    void OnWorklistResult(const WorklistSettings& settings, CWorklistQuery::Result&& result);
    void UseWorklistEntry(const WorklistEntry& entry);
    void ShowOrder();

    // The order of the worklist entry chosen, kept on today's visit when it is started.
    struct Order {
        long long patientRow = 0;
        std::string accessionNumber, requestedProcedure;
    };

    CExamSession& m_session;
    CExamStore& m_store;
    QString m_todayDate;
    std::optional<Patient> m_patient;
    std::vector<Visit> m_patientVisits;  // as listed in m_visits
    std::function<void(const QStringList&)> m_put;
    QPushButton* m_report = nullptr;
    CWorklistJob* m_worklist = nullptr;
    QPointer<CWorklistDlg> m_picker;
    std::optional<Order> m_order;

    QLineEdit m_search;
    QListWidget m_patients;
    QLineEdit m_newId, m_newName, m_newBirth;
    QComboBox m_newSex;
    QPushButton m_create;
    QPushButton m_fromWorklist;
    QListWidget m_visits;
    QLineEdit m_accession, m_procedure;
    QPushButton m_today, m_toStrip;
    QButtonGroup m_fingers;
    QListWidget m_orphans;
    QPushButton m_assign;
    QLabel m_status;
};
