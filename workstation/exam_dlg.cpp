#include "workstation/exam_dlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "exam/finger.h"
#include "platform/win_app.h"

namespace {

constexpr int kRowRole = Qt::UserRole;

QString PatientText(const Patient& p) {
    QString text = QString::fromStdString(p.patientId);
    if (!p.name.empty()) text += QStringLiteral(" · ") + QString::fromStdString(p.name);
    if (!p.birthDate.empty()) text += QStringLiteral(" · ") + QString::fromStdString(p.birthDate);
    return text;
}

}  // namespace

QString CExamDlg::Text(const char* key) {
    return AfxGetApp().GetLangString(QString::fromLatin1(key));
}

CExamDlg::CExamDlg(CExamSession& session, CExamStore& store, const QString& today, QWidget* parent)
    : QDialog(parent), m_session(session), m_store(store), m_todayDate(today) {
    setWindowTitle(Text("IDS_EXAM_TITLE"));
    auto* columns = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);

    m_fromWorklist.setText(Text("IDS_WORKLIST_BUTTON"));
    m_fromWorklist.hide();
    left->addWidget(&m_fromWorklist);
    left->addWidget(new QLabel(Text("IDS_EXAM_FIND")));
    left->addWidget(&m_search);
    left->addWidget(&m_patients, 1);
    auto* add = new QGroupBox(Text("IDS_EXAM_NEW_PATIENT"));
    auto* form = new QFormLayout(add);
    form->addRow(Text("IDS_EXAM_PATIENT_ID"), &m_newId);
    form->addRow(Text("IDS_EXAM_NAME"), &m_newName);
    m_newBirth.setPlaceholderText(QStringLiteral("YYYY-MM-DD"));
    form->addRow(Text("IDS_EXAM_BIRTH_DATE"), &m_newBirth);
    m_newSex.addItem(QString(), QString());
    m_newSex.addItem(Text("IDS_EXAM_SEX_F"), QStringLiteral("F"));
    m_newSex.addItem(Text("IDS_EXAM_SEX_M"), QStringLiteral("M"));
    m_newSex.addItem(Text("IDS_EXAM_SEX_O"), QStringLiteral("O"));
    form->addRow(Text("IDS_EXAM_SEX"), &m_newSex);
    m_create.setText(Text("IDS_EXAM_CREATE"));
    form->addRow(QString(), &m_create);
    left->addWidget(add);

    right->addWidget(new QLabel(Text("IDS_EXAM_VISITS")));
    m_visits.setMaximumHeight(110);
    right->addWidget(&m_visits);
    m_toStrip.setText(Text("IDS_EXAM_TO_STRIP"));
    right->addWidget(&m_toStrip);
    auto* orderForm = new QFormLayout;
    m_accession.setReadOnly(true);
    m_procedure.setReadOnly(true);
    orderForm->addRow(Text("IDS_WORKLIST_ACCESSION"), &m_accession);
    orderForm->addRow(Text("IDS_WORKLIST_PROCEDURE"), &m_procedure);
    right->addLayout(orderForm);

    // The hand map: both hands as the operator faces the patient's backs of the hands, thumbs
    // towards the middle.
    auto* hands = new QGroupBox(Text("IDS_EXAM_FINGER"));
    auto* grid = new QGridLayout(hands);
    grid->addWidget(new QLabel(Text("IDS_EXAM_LEFT")), 0, 0, 1, 5, Qt::AlignCenter);
    grid->addWidget(new QLabel(Text("IDS_EXAM_RIGHT")), 0, 5, 1, 5, Qt::AlignCenter);
    const char* order[] = {"L5", "L4", "L3", "L2", "L1", "R1", "R2", "R3", "R4", "R5"};
    for (int i = 0; i < 10; ++i) {
        auto* b = new QPushButton(QString::fromLatin1(order[i]));
        b->setCheckable(true);
        b->setObjectName(QString::fromLatin1(order[i]));
        b->setMinimumHeight(i % 5 == 0 || i % 5 == 4 ? 34 : 46);  // little fingers and thumbs
        b->setMaximumWidth(48);
        m_fingers.addButton(b, i);
        grid->addWidget(b, 1, i, Qt::AlignBottom);
    }
    m_fingers.setExclusive(true);
    right->addWidget(hands);
    const std::string finger =
        m_session.Current() ? m_session.Current()->finger : exam::FingerOrder().front();
    if (QPushButton* b = FingerButton(finger)) b->setChecked(true);

    m_today.setText(Text("IDS_EXAM_TODAY"));
    m_today.setDefault(true);
    right->addWidget(&m_today);
    right->addWidget(new QLabel(Text("IDS_EXAM_ORPHANS")));
    right->addWidget(&m_orphans, 1);
    m_assign.setText(Text("IDS_EXAM_ASSIGN"));
    right->addWidget(&m_assign);
    m_status.setWordWrap(true);
    right->addWidget(&m_status);
    auto* buttons = new QDialogButtonBox;
    auto* end = buttons->addButton(Text("IDS_EXAM_END"), QDialogButtonBox::ResetRole);
    end->setEnabled(m_session.Current().has_value());
    m_report = buttons->addButton(Text("IDS_REPORT_MENU"), QDialogButtonBox::ActionRole);
    m_report->setEnabled(false);
    m_report->hide();
    buttons->addButton(Text("IDS_EXAM_CLOSE"), QDialogButtonBox::RejectRole);
    right->addWidget(buttons);

    connect(&m_search, &QLineEdit::textChanged, this, [this] { FindPatients(); });
    connect(&m_patients, &QListWidget::currentRowChanged, this, [this] { OnPatientChosen(); });
    connect(&m_create, &QPushButton::clicked, this, [this] { CreatePatient(); });
    connect(&m_today, &QPushButton::clicked, this, [this] { StartToday(); });
    connect(&m_toStrip, &QPushButton::clicked, this, [this] { PutVisitIntoStrip(); });
    connect(&m_visits, &QListWidget::currentRowChanged, this,
            [this](int row) { m_report->setEnabled(row >= 0); });
    connect(&m_assign, &QPushButton::clicked, this, [this] { AssignOrphan(); });
    connect(&m_fromWorklist, &QPushButton::clicked, this, [this] { AskWorklist(); });
    connect(&m_fingers, &QButtonGroup::idClicked, this,
            [this] { m_session.SetFinger(ChosenFinger()); });
    connect(end, &QPushButton::clicked, this, [this] {
        m_session.Clear();
        reject();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    resize(900, 600);
    FindPatients();
    if (m_session.Current()) {
        m_search.setText(QString::fromStdString(m_session.Current()->patient.patientId));
        if (m_patients.count() > 0) m_patients.setCurrentRow(0);
        // The exam's visit is the one a report is written of, unless another is chosen.
        for (int i = 0; i < m_visits.count(); ++i)
            if (m_visits.item(i)->data(kRowRole).toLongLong() == m_session.Current()->visit.row)
                m_visits.setCurrentRow(i);
    }
    ListOrphans();
}

CExamDlg::~CExamDlg() {
    // A query still running answers no one.
    if (m_worklist) m_worklist->Forget();
}

void CExamDlg::SetReport(std::function<void(const Visit&)> report) {
    m_report->setVisible(static_cast<bool>(report));
    disconnect(m_report, &QPushButton::clicked, this, nullptr);
    if (report)
        connect(m_report, &QPushButton::clicked, this, [this, report = std::move(report)] {
            if (const std::optional<Visit> visit = ChosenVisit()) report(*visit);
        });
}

std::optional<Visit> CExamDlg::ChosenVisit() const {
    const int row = m_visits.currentRow();
    if (row < 0 || row >= static_cast<int>(m_patientVisits.size())) return std::nullopt;
    return m_patientVisits[static_cast<size_t>(row)];
}

QPushButton* CExamDlg::FingerButton(const std::string& code) {
    for (QAbstractButton* b : m_fingers.buttons())
        if (b->objectName() == QString::fromStdString(code)) return static_cast<QPushButton*>(b);
    return nullptr;
}

std::string CExamDlg::ChosenFinger() const {
    const QAbstractButton* b = m_fingers.checkedButton();
    return b ? b->objectName().toStdString() : exam::FingerOrder().front();
}

void CExamDlg::ShowError(const ExamStatus& status) {
    const char* key = "IDS_EXAM_ERR_FAILED";
    switch (status.code) {
        case ExamError::EmptyPatientId:
            key = "IDS_EXAM_ERR_EMPTY_ID";
            break;
        case ExamError::DuplicatePatientId:
            key = "IDS_EXAM_ERR_DUPLICATE";
            break;
        case ExamError::BadDate:
            key = "IDS_EXAM_ERR_DATE";
            break;
        case ExamError::BirthDateInFuture:
            key = "IDS_EXAM_ERR_FUTURE";
            break;
        case ExamError::Locked:
            key = "IDS_EXAM_ERR_LOCKED";
            break;
        default:
            AfxGetApp().m_log.WriteLog("exam dialog: %s\n", status.detail.c_str());
            break;
    }
    m_status.setText(Text(key));
}

void CExamDlg::FindPatients() {
    const auto found = m_store.SearchPatients(m_search.text().toStdString());
    m_patients.clear();
    if (!found.ok()) return ShowError(found.status);
    for (const Patient& p : found.value) {
        auto* item = new QListWidgetItem(PatientText(p), &m_patients);
        item->setData(kRowRole, p.row);
    }
}

void CExamDlg::OnPatientChosen() {
    m_visits.clear();
    m_patientVisits.clear();
    m_patient.reset();
    const QListWidgetItem* item = m_patients.currentItem();
    if (!item) return;
    const auto patient = m_store.PatientByRow(item->data(kRowRole).toLongLong());
    if (!patient.ok()) return ShowError(patient.status);
    m_patient = patient.value;
    if (m_order && m_order->patientRow != m_patient->row) m_order.reset();
    ShowOrder();
    const auto visits = m_store.VisitsOf(m_patient->row);
    if (!visits.ok()) return ShowError(visits.status);
    m_patientVisits = visits.value;
    for (const Visit& v : visits.value) {
        QString text = QString::fromStdString(v.date);
        if (!v.accessionNumber.empty())
            text += QStringLiteral(" · ") + QString::fromStdString(v.accessionNumber);
        auto* entry = new QListWidgetItem(text, &m_visits);
        entry->setData(kRowRole, v.row);
    }
}

void CExamDlg::CreatePatient() {
    Patient p;
    p.patientId = m_newId.text().toStdString();
    p.name = m_newName.text().toStdString();
    p.birthDate = m_newBirth.text().trimmed().toStdString();
    p.sex = m_newSex.currentData().toString().toStdString();
    const auto made = m_store.CreatePatient(p);
    if (!made.ok()) return ShowError(made.status);
    AfxGetApp().m_log.WriteLog("exam: patient %lld added\n", made.value);
    m_status.clear();
    m_newId.clear();
    m_newName.clear();
    m_newBirth.clear();
    m_search.setText(QString::fromStdString(p.patientId).trimmed());
    for (int i = 0; i < m_patients.count(); ++i)
        if (m_patients.item(i)->data(kRowRole).toLongLong() == made.value)
            m_patients.setCurrentRow(i);
}

void CExamDlg::StartToday() {
    if (!m_patient) return m_status.setText(Text("IDS_EXAM_NO_PATIENT"));
    auto visit = m_store.VisitOn(m_patient->row, m_todayDate.toStdString());
    if (!visit.ok()) return ShowError(visit.status);
    if (m_order && m_order->patientRow == m_patient->row) {
        const ExamStatus kept = m_store.SetVisitOrder(visit.value.row, m_order->accessionNumber,
                                                      m_order->requestedProcedure);
        if (!kept.ok()) return ShowError(kept);
        visit.value.accessionNumber = m_order->accessionNumber;
        visit.value.requestedProcedure = m_order->requestedProcedure;
    }
    m_session.Choose({*m_patient, visit.value, ChosenFinger()});
    accept();
}

void CExamDlg::PutVisitIntoStrip() {
    const QListWidgetItem* item = m_visits.currentItem();
    if (!item || !m_put) return;
    const auto clips = m_store.ClipsOfVisit(item->data(kRowRole).toLongLong());
    if (!clips.ok()) return ShowError(clips.status);
    QStringList paths;
    const QString root = QString::fromStdString(m_store.Root());
    for (const Clip& c : clips.value)
        paths << root + QLatin1Char('/') + QString::fromStdString(c.record.relPath);
    m_put(paths);
}

void CExamDlg::ListOrphans() {
    m_orphans.clear();
    const auto orphans = m_store.FindOrphans();
    if (!orphans.ok()) return ShowError(orphans.status);
    for (const std::string& path : orphans.value) m_orphans.addItem(QString::fromStdString(path));
}

void CExamDlg::AssignOrphan() {
    const QListWidgetItem* item = m_orphans.currentItem();
    if (!item) return;
    if (!m_patient) return m_status.setText(Text("IDS_EXAM_NO_PATIENT"));
    // To the patient's visit of the clip's day, which its folder names.
    const std::string rel = item->text().toStdString();
    const auto visit = m_store.VisitOn(m_patient->row, rel.substr(0, 10));
    if (!visit.ok()) return ShowError(visit.status);
    ClipRecord clip;
    clip.visitRow = visit.value.row;
    clip.finger = ChosenFinger();
    clip.relPath = rel;
    clip.savedAt = rel.substr(0, 10) + " " + rel.substr(11, 2) + ":" + rel.substr(13, 2) + ":" +
                   rel.substr(15, 2);
    const auto saved = m_store.SaveClip(clip);
    if (!saved.ok()) return ShowError(saved.status);
    AfxGetApp().m_log.WriteLog("exam: clip %s assigned as row %lld (visit %lld, %s)\n", rel.c_str(),
                               saved.value, visit.value.row, clip.finger.c_str());
    ListOrphans();
    OnPatientChosen();
}

void CExamDlg::SetWorklist(CWorklistJob* job) {
    m_worklist = job;
    m_fromWorklist.setVisible(job != nullptr);
}

void CExamDlg::AskWorklist() {
    if (!m_worklist) return;
    const WorklistSettings settings = m_worklist->Settings();
    if (!settings.Complete()) {
        QStringList keys;
        for (const std::string& key : settings.missing) keys << QString::fromStdString(key);
        m_status.setText(Text("IDS_WORKLIST_NOT_SET")
                             .arg(keys.join(QStringLiteral(", ")), m_worklist->SettingsFile()));
        return;
    }
    m_fromWorklist.setEnabled(false);
    m_status.setText(Text("IDS_WORKLIST_ASKING").arg(QString::fromStdString(settings.Address())));
    m_worklist->Start(
        settings, m_todayDate.toStdString(),
        [this, settings](CWorklistQuery::Result&& r) { OnWorklistResult(settings, std::move(r)); });
}

void CExamDlg::OnWorklistResult(const WorklistSettings& settings, CWorklistQuery::Result&& result) {
    m_fromWorklist.setEnabled(true);
    const QString address = QString::fromStdString(settings.Address());
    switch (result.error) {
        case CWorklistQuery::Error::None:
            break;
        case CWorklistQuery::Error::Unreachable:
            return m_status.setText(Text("IDS_WORKLIST_UNREACHABLE").arg(address));
        case CWorklistQuery::Error::Refused:
            return m_status.setText(Text("IDS_WORKLIST_REFUSED")
                                        .arg(address,
                                             QString::fromStdString(settings.calledAeTitle),
                                             QString::fromStdString(settings.callingAeTitle)));
        case CWorklistQuery::Error::TimedOut:
            return m_status.setText(Text("IDS_WORKLIST_TIMEOUT").arg(address));
        case CWorklistQuery::Error::Failed:
            return m_status.setText(Text("IDS_WORKLIST_FAILED")
                                        .arg(address, QStringLiteral("0x%1").arg(
                                                          result.status, 4, 16, QLatin1Char('0'))));
    }
    if (result.entries.empty()) return m_status.setText(Text("IDS_WORKLIST_EMPTY"));
    m_status.clear();
    if (m_picker) m_picker->deleteLater();
    m_picker = new CWorklistDlg(std::move(result.entries), this);
    connect(m_picker, &QDialog::accepted, this, [this] {
        if (const WorklistEntry* e = m_picker->Chosen()) UseWorklistEntry(*e);
    });
    m_picker->open();
}

void CExamDlg::UseWorklistEntry(const WorklistEntry& entry) {
    if (entry.patientId.empty()) return m_status.setText(Text("IDS_WORKLIST_NO_ID"));
    // The patient with that ID, else a new one from the entry.
    long long row = 0;
    const auto found = m_store.SearchPatients(entry.patientId);
    if (!found.ok()) return ShowError(found.status);
    for (const Patient& p : found.value)
        if (p.patientId == entry.patientId) row = p.row;
    if (row == 0) {
        const auto made = m_store.CreatePatient(
            {0, entry.patientId, entry.patientName, entry.birthDate, entry.sex});
        if (!made.ok()) return ShowError(made.status);
        row = made.value;
        AfxGetApp().m_log.WriteLog("exam: patient %lld added from the worklist\n", row);
    }
    m_search.setText(QString::fromStdString(entry.patientId));
    for (int i = 0; i < m_patients.count(); ++i)
        if (m_patients.item(i)->data(kRowRole).toLongLong() == row) m_patients.setCurrentRow(i);
    if (!m_patient || m_patient->row != row) return m_status.setText(Text("IDS_EXAM_ERR_FAILED"));
    m_order = Order{row, entry.accessionNumber, entry.requestedProcedure};
    ShowOrder();
    m_status.setText(Text("IDS_WORKLIST_CHOSEN"));
}

void CExamDlg::ShowOrder() {
    m_accession.setText(m_order ? QString::fromStdString(m_order->accessionNumber) : QString());
    m_procedure.setText(m_order ? QString::fromStdString(m_order->requestedProcedure) : QString());
}
