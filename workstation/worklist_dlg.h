// The worklist's entries for today, to choose the patient being examined from.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QTreeWidget>
#include <vector>

#include "dicom/worklist_entry.h"

class CWorklistDlg : public QDialog {
    Q_OBJECT
  public:
    CWorklistDlg(std::vector<WorklistEntry> entries, QWidget* parent = nullptr);

    // The entry chosen, or null.
    const WorklistEntry* Chosen() const;

    // For tests.
    QTreeWidget& Entries() { return m_list; }
    QPushButton& UseButton() { return *m_use; }

  private:
    std::vector<WorklistEntry> m_entries;
    QTreeWidget m_list;
    QPushButton* m_use = nullptr;
};
