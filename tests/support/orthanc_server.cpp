#include "tests/support/orthanc_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/v4l2/unique_fd.h"
#include "tests/support/test_support.h"

namespace archive_testing {

namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

int FreePort() {
    platform::v4l2::CUniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = Loopback(0);
    if (!fd.Valid() || ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return 0;
    socklen_t length = sizeof address;
    if (::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

bool Accepts(int port) {
    platform::v4l2::CUniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = Loopback(port);
    return fd.Valid() &&
           ::connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

std::string HttpGet(int port, const std::string& path, int* status) {
    if (status) *status = 0;
    platform::v4l2::CUniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) return {};
    timeval patience{testing_support::kPatienceMs / 1000, 0};
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    sockaddr_in address = Loopback(port);
    if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return {};
    const std::string request =
        "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (::send(fd.Get(), request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size()))
        return {};
    std::string reply;
    char buffer[65536];
    ssize_t n;
    while ((n = ::recv(fd.Get(), buffer, sizeof buffer, 0)) > 0)
        reply.append(buffer, static_cast<size_t>(n));
    const size_t body = reply.find("\r\n\r\n");
    if (n < 0 || body == std::string::npos || reply.compare(0, 5, "HTTP/") != 0) return {};
    const size_t space = reply.find(' ');
    if (status && space != std::string::npos) *status = std::atoi(reply.c_str() + space + 1);
    return reply.substr(body + 4);
}

COrthanc::COrthanc() = default;

COrthanc::~COrthanc() {
    Stop();
}

bool COrthanc::Installed() {
    return QFile::exists(QString::fromLatin1(kOrthancBinary));
}

bool COrthanc::Start(int dicomPort) {
    if (m_process.Running()) return true;
    if (!m_dir.isValid()) return false;
    // Ports are chosen anew at each start: another test process may have taken the old ones.
    m_dicomPort = dicomPort != 0 ? dicomPort : FreePort();
    m_httpPort = FreePort();
    QJsonObject config{
        {"Name", "QuorvelTest"},
        {"StorageDirectory", m_dir.filePath("storage")},
        {"IndexDirectory", m_dir.filePath("index")},
        {"DicomAet", kArchiveAet},
        {"DicomPort", m_dicomPort},
        {"HttpPort", m_httpPort},
        {"RemoteAccessAllowed", false},
        {"AuthenticationEnabled", false},
        {"DicomCheckCalledAet", true},
        {"DicomAlwaysAllowStore", true},
        {"Plugins", QJsonArray()},
        {"LuaScripts", QJsonArray()},
        {"SaveJobs", false},
        {"HttpsVerifyPeers", false},
        {"StorageCompression", false},
    };
    QFile file(m_dir.filePath("orthanc.json"));
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(config).toJson()) <= 0)
        return false;
    file.close();
    const QString log = m_dir.filePath("orthanc.log");
    if (!m_process.Start(kOrthancBinary, {file.fileName().toStdString()},
                         QFile::encodeName(log).toStdString())) {
        std::fprintf(stderr, "%s\n", m_process.Error().c_str());
        return false;
    }
    const bool up = testing_support::WaitUntil([this] {
        int status = 0;
        Get("/system", &status);
        return status == 200 || !m_process.Running();
    });
    if (!up || !m_process.Running()) {
        QFile out(log);
        out.open(QIODevice::ReadOnly);
        std::fprintf(stderr, "Orthanc did not start:\n%s\n", out.readAll().constData());
        Stop();
        return false;
    }
    return true;
}

void COrthanc::Stop() {
    m_process.Stop();
}

std::vector<std::string> COrthanc::Instances() const {
    std::vector<std::string> ids;
    const QJsonArray list =
        QJsonDocument::fromJson(QByteArray::fromStdString(Get("/instances"))).array();
    for (const QJsonValue& id : list) ids.push_back(id.toString().toStdString());
    return ids;
}

}  // namespace archive_testing
