// The exam dialog (Ctrl+E, or the live pane's menu): find or add a patient, start or continue
// today's visit, click the finger being filmed on the hand map, assign clips that have no
// record, and put a past visit's clips into the strip.
#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <functional>
#include <optional>
#include <vector>

#include "workstation/exam_session.h"

class CExamDlg : public QDialog {
    Q_OBJECT
  public:
    CExamDlg(CExamSession& session, CExamStore& store, const QString& today,
             QWidget* parent = nullptr);

    // Receives the absolute paths of a past visit's clips for the strip.
    void SetPutIntoStrip(std::function<void(const QStringList&)> put) { m_put = std::move(put); }

    // Writes the report of the visit chosen in the list (the exam's own when the dialog opens
    // on it); without it the button is not shown.
    void SetReport(std::function<void(const Visit&)> report);

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

    CExamSession& m_session;
    CExamStore& m_store;
    QString m_todayDate;
    std::optional<Patient> m_patient;
    std::vector<Visit> m_patientVisits;  // as listed in m_visits
    std::function<void(const QStringList&)> m_put;
    QPushButton* m_report = nullptr;

    QLineEdit m_search;
    QListWidget m_patients;
    QLineEdit m_newId, m_newName, m_newBirth;
    QComboBox m_newSex;
    QPushButton m_create;
    QListWidget m_visits;
    QPushButton m_today, m_toStrip;
    QButtonGroup m_fingers;
    QListWidget m_orphans;
    QPushButton m_assign;
    QLabel m_status;
};
