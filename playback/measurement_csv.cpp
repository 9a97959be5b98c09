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
