#include "tests/support/worklist_server.h"

#include <arpa/inet.h>
#include <dcmtk/config/osconfig.h>  // before any other DCMTK header
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cstring>
#include <vector>

#include "tests/support/test_support.h"

namespace testing_support {

namespace {

// Whether a socket listens on port, from the kernel's tables: asking the server itself would
// leave it an aborted association to log.
bool Listening(int port) {
    const QString local = QStringLiteral(":%1 ").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile f(QString::fromLatin1(table));
        if (!f.open(QIODevice::ReadOnly)) continue;
        // sl local_address rem_address st ...; 0A is LISTEN.
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QStringList fields =
                QString::fromLatin1(line).simplified().split(QLatin1Char(' '));
            if (fields.size() > 3 && (fields[1] + QLatin1Char(' ')).endsWith(local) &&
                fields[3] == QLatin1String("0A"))
                return true;
        }
    }
    return false;
}

}  // namespace

CWorklistServer::CWorklistServer() {
    QDir(m_dir.path()).mkpath(QString::fromLatin1(kAeTitle));
    // wlmscpfs locks this file while it reads the folder.
    QFile lock(m_dir.filePath(QString::fromLatin1(kAeTitle) + QStringLiteral("/lockfile")));
    if (!lock.open(QIODevice::WriteOnly)) m_error = "lockfile not made";
}

CWorklistServer::~CWorklistServer() = default;

int CWorklistServer::FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

bool CWorklistServer::Add(const std::string& name, const Item& item) {
    DcmFileFormat file;
    DcmDataset& d = *file.getDataset();
    if (!item.charset.empty()) d.putAndInsertString(DCM_SpecificCharacterSet, item.charset.c_str());
    d.putAndInsertString(DCM_PatientID, item.patientId.c_str());
    d.putAndInsertString(DCM_PatientName, item.patientName.c_str());
    d.putAndInsertString(DCM_PatientBirthDate, item.birthDate.c_str());
    d.putAndInsertString(DCM_PatientSex, item.sex.c_str());
    d.putAndInsertString(DCM_AccessionNumber, item.accessionNumber.c_str());
    d.putAndInsertString(DCM_RequestedProcedureDescription, item.procedure.c_str());
    d.putAndInsertString(DCM_RequestedProcedureID, ("RP" + item.accessionNumber).c_str());
    d.putAndInsertString(DCM_StudyInstanceUID, "1.2.826.0.1.3680043.10.1.1");
    d.insertEmptyElement(DCM_ReferringPhysicianName);
    DcmItem* step = nullptr;
    d.findOrCreateSequenceItem(DCM_ScheduledProcedureStepSequence, step, -2);
    if (!step) {
        m_error = "no step item";
        return false;
    }
    step->putAndInsertString(DCM_Modality, item.modality.c_str());
    step->putAndInsertString(DCM_ScheduledStationAETitle, "CAPILLARY1");
    step->putAndInsertString(DCM_ScheduledProcedureStepStartDate, item.date.c_str());
    step->putAndInsertString(DCM_ScheduledProcedureStepStartTime, item.time.c_str());
    step->putAndInsertString(DCM_ScheduledProcedureStepID, ("SPS" + item.accessionNumber).c_str());
    step->putAndInsertString(DCM_ScheduledProcedureStepDescription, item.procedure.c_str());
    step->insertEmptyElement(DCM_ScheduledPerformingPhysicianName);
    const QString path = m_dir.filePath(QString::fromLatin1(kAeTitle) + QLatin1Char('/') +
                                        QString::fromStdString(name) + QStringLiteral(".wl"));
    const OFCondition saved =
        file.saveFile(QFile::encodeName(path).constData(), EXS_LittleEndianExplicit);
    if (saved.bad()) m_error = std::string("writing ") + name + ": " + saved.text();
    return saved.good();
}

bool CWorklistServer::Start() {
    const QByteArray log = QFile::encodeName(m_dir.filePath(QStringLiteral("wlmscpfs.log")));
    const QByteArray data = QFile::encodeName(m_dir.path());
    // The port may be taken between finding it free and the server's bind: then another.
    for (int attempt = 0; attempt < 5 && !m_process.Running(); ++attempt) {
        m_port = FreePort();
        const std::string port = std::to_string(m_port);
        // One process, no forks, so that stopping it leaves nothing behind; the character set
        // of each file goes out with its entry.
        std::vector<std::string> args = {"--single-process",      "--keep-char-set",
                                         "--disable-host-lookup", "-dfp",
                                         data.constData(),        port};
        if (!m_process.Start("wlmscpfs", args, log.constData())) {
            m_error = m_process.Error();
            return false;
        }
        if (WaitUntil([&] { return Listening(m_port) || !m_process.Running(); }) &&
            m_process.Running())
            return true;
        if (m_process.Running()) {
            m_error = "wlmscpfs does not listen";
            return false;
        }
    }
    QFile out(QString::fromLocal8Bit(log));
    out.open(QIODevice::ReadOnly);
    m_error = "wlmscpfs ended: " + out.readAll().toStdString();
    return false;
}

}  // namespace testing_support
