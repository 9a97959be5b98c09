#include "playback/measurement_csv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>

#include "platform/system.h"
#include "platform/write_all.h"

namespace {

QString Number(const std::optional<double>& v) {
    return v ? QString::number(*v, 'f', 2) : QString();
}

// Quoted when it holds a separator, a quote or a line end; quotes doubled.
QString Field(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The header of files written before counts told their proposals.
constexpr char kHeaderWithoutProposals[] =
    "clip,frame,kind,x1,y1,x2,y2,length_px,length_um,count,per_mm";

// The rows of text with two empty fields added at the end of each record, under the header of
// today. A line end inside a quoted field is part of its record.
QByteArray WithProposalColumns(const QByteArray& text) {
    const qsizetype firstEnd = text.indexOf('\n');
    QByteArray out = QByteArray(CMeasurementCsv::Header()) + '\n';
    out.reserve(text.size() + text.size() / 8 + 64);
    bool quoted = false;
    for (qsizetype i = firstEnd + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') quoted = !quoted;
        if (c == '\n' && !quoted) {
            const bool cr = out.endsWith('\r');
            if (cr) out.chop(1);
            out += ",,";
            if (cr) out += '\r';
        }
        out += c;
    }
    return out;
}

// A file begun under the old header gets today's, its rows the two empty fields, so that every
// row of a file has the same columns. 0 when the file needs nothing (or is not there) or was
// upgraded; else the errno.
int UpgradeHeader(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? 0 : errno;
    QByteArray text;
    char buffer[65536];
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        if (n <= 0) break;
        text.append(buffer, n);
        // The first line decides: a file under today's header is not read further.
        const qsizetype end = text.indexOf('\n');
        if (end >= 0 && text.left(end).trimmed() != kHeaderWithoutProposals) break;
    }
    ::close(fd);
    if (error != 0) return error;
    const qsizetype end = text.indexOf('\n');
    if (text.left(end < 0 ? text.size() : end).trimmed() != kHeaderWithoutProposals) return 0;
    if (!text.endsWith('\n')) text += '\n';
    const QByteArray upgraded = WithProposalColumns(text);
    return platform::ReplaceFile(path, upgraded.constData(), static_cast<size_t>(upgraded.size()));
}

}  // namespace

const char* CMeasurementCsv::Header() {
    return "clip,frame,kind,x1,y1,x2,y2,length_px,length_um,count,per_mm,proposed,changed";
}

QString CMeasurementCsv::PathFor(const QString& clipPath) {
    const QFileInfo info(clipPath);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".csv"));
}

QString CMeasurementCsv::Format(const Row& row) {
    auto x = [](const std::optional<QPointF>& p) {
        return p ? std::optional<double>(p->x()) : std::nullopt;
    };
    auto y = [](const std::optional<QPointF>& p) {
        return p ? std::optional<double>(p->y()) : std::nullopt;
    };
    auto integer = [](const std::optional<int>& v) { return v ? QString::number(*v) : QString(); };
    const QStringList fields = {
        Field(row.clip),      QString::number(row.frame), Field(row.kind),   Number(x(row.from)),
        Number(y(row.from)),  Number(x(row.to)),          Number(y(row.to)), Number(row.lengthPx),
        Number(row.lengthUm), integer(row.count),         Number(row.perMm), integer(row.proposed),
        integer(row.changed)};
    return fields.join(QLatin1Char(','));
}

int CMeasurementCsv::Append(const QString& clipPath, const Row& row) {
    const std::string narrow = platform::ToNarrowPath(PathFor(clipPath));
    if (narrow.empty()) return EILSEQ;
    if (const int error = UpgradeHeader(narrow)) return error;
    const int fd = ::open(narrow.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    struct stat st {};
    int error = ::fstat(fd, &st) == 0 ? 0 : errno;
    QByteArray text;
    if (st.st_size == 0) text = QByteArray(Header()) + '\n';
    text += Format(row).toUtf8() + '\n';
    // Header and row in one write, so that another writer's row never lands between them.
    if (error == 0)
        error = platform::WriteAll(fd, text.constData(), static_cast<size_t>(text.size()));
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
}
