#include "platform/profile.h"

#include <QFile>
#include <QStringDecoder>

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
        if (line.front() == '[') {
            const qsizetype close = line.indexOf(']');
            const QStringView name = close < 0 ? line.mid(1) : line.mid(1, close - 1);
            inSection = name.trimmed().compare(section, Qt::CaseInsensitive) == 0;
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

}  // namespace platform
