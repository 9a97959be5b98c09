#include "workstation/worklist_dlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QVBoxLayout>

#include "platform/win_app.h"

namespace {

QString Text(const char* key) {
    return AfxGetApp().GetLangString(QString::fromLatin1(key));
}

QString Sex(const std::string& code) {
    if (code == "F") return Text("IDS_EXAM_SEX_F");
    if (code == "M") return Text("IDS_EXAM_SEX_M");
    if (code == "O") return Text("IDS_EXAM_SEX_O");
    return QString();
}

}  // namespace

CWorklistDlg::CWorklistDlg(std::vector<WorklistEntry> entries, QWidget* parent)
    : QDialog(parent), m_entries(std::move(entries)) {
    setWindowTitle(Text("IDS_WORKLIST_TITLE"));
    auto* layout = new QVBoxLayout(this);
    m_list.setHeaderLabels({Text("IDS_WORKLIST_TIME"), Text("IDS_EXAM_NAME"),
                            Text("IDS_EXAM_PATIENT_ID"), Text("IDS_EXAM_BIRTH_DATE"),
                            Text("IDS_EXAM_SEX"), Text("IDS_WORKLIST_PROCEDURE"),
                            Text("IDS_WORKLIST_ACCESSION")});
    m_list.setRootIsDecorated(false);
    m_list.setAllColumnsShowFocus(true);
    for (const WorklistEntry& e : m_entries) {
        auto* item = new QTreeWidgetItem(&m_list);
        const std::string* texts[] = {&e.scheduledTime,  &e.patientName, &e.patientId,
                                      &e.birthDate,      nullptr,        &e.requestedProcedure,
                                      &e.accessionNumber};
        for (int c = 0; c < 7; ++c)
            item->setText(c, texts[c] ? QString::fromStdString(*texts[c]) : Sex(e.sex));
    }
    m_list.header()->resizeSections(QHeaderView::ResizeToContents);
    layout->addWidget(&m_list);

    auto* buttons = new QDialogButtonBox;
    m_use = buttons->addButton(Text("IDS_WORKLIST_USE"), QDialogButtonBox::AcceptRole);
    buttons->addButton(Text("IDS_EXAM_CLOSE"), QDialogButtonBox::RejectRole);
    m_use->setEnabled(false);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(&m_list, &QTreeWidget::currentItemChanged, this,
            [this] { m_use->setEnabled(Chosen() != nullptr); });
    connect(&m_list, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    resize(760, 360);
}

const WorklistEntry* CWorklistDlg::Chosen() const {
    const int row = m_list.currentItem() ? m_list.indexOfTopLevelItem(m_list.currentItem()) : -1;
    return row >= 0 && row < static_cast<int>(m_entries.size()) ? &m_entries[row] : nullptr;
}
