#include "platform/profile.h"

#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <optional>

#include "platform/system.h"
#include "platform/write_all.h"

namespace platform {
namespace {

QString DecodeProfile(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder decoder(QStringDecoder::Utf16LE);
        return decoder.decode(bytes.mid(2));
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
    return QString::fromUtf8(bytes);
}

QString StripQuotes(const QString& value) {
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == '"' || first == '\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

QString Truncate(const QString& text, int bufferSize) {
    if (bufferSize <= 0) return {};
    return text.left(bufferSize - 1);
}

// The section name of a "[name]" line, or none for any other line.
std::optional<QStringView> SectionName(QStringView line) {
    if (line.isEmpty() || line.front() != '[') return std::nullopt;
    const qsizetype close = line.indexOf(']');
    return (close < 0 ? line.mid(1) : line.mid(1, close - 1)).trimmed();
}

bool IsKey(QStringView line, const QString& key) {
    if (line.isEmpty() || line.front() == ';') return false;
    const qsizetype eq = line.indexOf('=');
    return eq >= 0 && line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0;
}

// Writes text to path through a file beside it that then takes its name.
int ReplaceFile(const QString& path, const QByteArray& text) {
    const std::string narrow = platform::ToNarrowPath(path);
    if (narrow.empty()) return EILSEQ;
    return platform::ReplaceFile(narrow, text.constData(), static_cast<size_t>(text.size()));
}

}  // namespace

QString GetPrivateProfileStringW(const QString& section, const QString& key,
                                 const QString& defaultValue, int bufferSize, const QString& file) {
    QFile f(file);
    if (file.isEmpty() || section.isEmpty() || key.isEmpty() || !f.open(QIODevice::ReadOnly))
        return Truncate(defaultValue, bufferSize);
    const QString text = DecodeProfile(f.readAll());

    bool inSection = false;
    for (QStringView line : QStringView(text).split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.front() == ';') continue;
        if (const std::optional<QStringView> name = SectionName(line)) {
            inSection = name->compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection) continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0) continue;
        if (line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) != 0) continue;
        return Truncate(StripQuotes(line.mid(eq + 1).trimmed().toString()), bufferSize);
    }
    return Truncate(defaultValue, bufferSize);
}

int WritePrivateProfileStringW(const QString& section, const QString& key, const QString& value,
                               const QString& file) {
    if (file.isEmpty() || section.isEmpty() || key.isEmpty()) return EINVAL;
    QString text;
    QFile f(file);
    if (f.open(QIODevice::ReadOnly)) {
        text = DecodeProfile(f.readAll());
    } else if (QFileInfo::exists(file)) {
        return EACCES;
    }
    QStringList lines = text.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    const QString entry = key + QLatin1Char('=') + value;
    qsizetype sectionAt = -1;
    qsizetype insertAt = -1;  // after the section's last non-empty line
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString trimmed = lines[i].trimmed();
        if (const std::optional<QStringView> name = SectionName(trimmed)) {
            if (sectionAt >= 0) break;
            if (name->compare(section, Qt::CaseInsensitive) == 0) sectionAt = insertAt = i;
            continue;
        }
        if (sectionAt < 0) continue;
        if (IsKey(trimmed, key)) {
            lines[i] = entry;
            return ReplaceFile(file, lines.join(QLatin1Char('\n')).toUtf8() + '\n');
        }
        if (!trimmed.isEmpty()) insertAt = i;
    }
    if (sectionAt >= 0) {
        lines.insert(insertAt + 1, entry);
    } else {
        if (!lines.isEmpty() && !lines.back().trimmed().isEmpty()) lines << QString();
        lines << QLatin1Char('[') + section + QLatin1Char(']') << entry;
    }
    return ReplaceFile(file, lines.join(QLatin1Char('\n')).toUtf8() + '\n');
}

}  // namespace platform
