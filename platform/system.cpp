#include "platform/system.h"

#include <sys/time.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringConverter>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <optional>

namespace platform {
namespace {

std::mutex g_folderMutex;
QString g_folderOverride;

std::mutex g_clockMutex;
std::optional<SYSTEMTIME> g_fixedTime;

}  // namespace

QString GetModuleFolder() {
    {
        std::lock_guard lock(g_folderMutex);
        if (!g_folderOverride.isEmpty()) return g_folderOverride;
    }
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return QDir::currentPath();
    return QString::fromStdString(exe.parent_path().string());
}

void SetModuleFolderForTesting(const QString& folder) {
    std::lock_guard lock(g_folderMutex);
    g_folderOverride = folder;
}

std::uint16_t PrimaryLanguageFromLocale(const QString& locale) {
    // ISO 639-1 code to Windows primary language id (LANG_*).
    struct Entry {
        const char* code;
        std::uint16_t id;
    };
    static const Entry kTable[] = {
        {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},
        {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C},
        {"he", 0x0D}, {"hu", 0x0E}, {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
        {"nl", 0x13}, {"nb", 0x14}, {"no", 0x14}, {"nn", 0x14}, {"pl", 0x15}, {"pt", 0x16},
        {"rm", 0x17}, {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sr", 0x1A}, {"bs", 0x1A},
        {"sk", 0x1B}, {"sq", 0x1C}, {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F}, {"ur", 0x20},
        {"id", 0x21}, {"uk", 0x22}, {"be", 0x23}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26},
        {"lt", 0x27}, {"fa", 0x29}, {"vi", 0x2A}, {"hy", 0x2B}, {"az", 0x2C}, {"eu", 0x2D},
        {"mk", 0x2F}, {"af", 0x36}, {"ka", 0x37}, {"fo", 0x38}, {"hi", 0x39}, {"ms", 0x3E},
        {"kk", 0x3F}, {"sw", 0x41}, {"uz", 0x43}, {"bn", 0x45}, {"ta", 0x49}, {"te", 0x4A},
        {"mn", 0x50}, {"gl", 0x56},
    };
    // "zh_TW.UTF-8@euro" -> "zh"; a list such as LANGUAGE's "ja:en" takes its first entry.
    QString name = locale.section(':', 0, 0).trimmed().toLower();
    for (QChar stop : {QChar('_'), QChar('-'), QChar('.'), QChar('@')}) {
        const qsizetype at = name.indexOf(stop);
        if (at >= 0) name.truncate(at);
    }
    for (const Entry& e : kTable) {
        if (name == QLatin1String(e.code)) return e.id;
    }
    return 0;
}

std::uint16_t GetUserDefaultUILanguage() {
    for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value && *value) {
            // A sublanguage of "default" (1) over the primary language.
            return static_cast<std::uint16_t>((1u << 10) |
                                              PrimaryLanguageFromLocale(QString::fromUtf8(value)));
        }
    }
    return 0x0409;  // no locale set at all: English (United States)
}

SYSTEMTIME GetLocalTime() {
    {
        std::lock_guard lock(g_clockMutex);
        if (g_fixedTime) return *g_fixedTime;
    }
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm local{};
    localtime_r(&tv.tv_sec, &local);
    SYSTEMTIME st;
    st.wYear = local.tm_year + 1900;
    st.wMonth = local.tm_mon + 1;
    st.wDayOfWeek = local.tm_wday;
    st.wDay = local.tm_mday;
    st.wHour = local.tm_hour;
    st.wMinute = local.tm_min;
    st.wSecond = local.tm_sec;
    st.wMilliseconds = static_cast<int>(tv.tv_usec / 1000);
    return st;
}

void SetLocalTimeForTesting(const SYSTEMTIME* fixed) {
    std::lock_guard lock(g_clockMutex);
    if (fixed)
        g_fixedTime = *fixed;
    else
        g_fixedTime.reset();
}

bool PathFileExistsW(const QString& path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool CreateDirectoryW(const QString& path) {
    if (path.isEmpty() || QFileInfo::exists(path)) return false;
    return QDir().mkdir(path);
}

bool CopyFileW(const QString& source, const QString& target, bool failIfExists) {
    std::error_code ec;
    const auto options = failIfExists ? std::filesystem::copy_options::none
                                      : std::filesystem::copy_options::overwrite_existing;
    const std::filesystem::path from(QFile::encodeName(source).toStdString());
    const std::filesystem::path to(QFile::encodeName(target).toStdString());
    if (!std::filesystem::is_regular_file(from, ec)) return false;
    return std::filesystem::copy_file(from, to, options, ec) && !ec;
}

QString PathFindFileNameW(const QString& path) {
    const qsizetype slash = std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
    return slash < 0 ? path : path.mid(slash + 1);
}

std::string ToNarrowPath(const QString& path) {
    // The locale's narrow encoding; every current Linux uses UTF-8, which carries any path.
    QStringEncoder encoder(QStringEncoder::System);
    QByteArray bytes = encoder.encode(path);
    if (encoder.hasError()) return {};
    return bytes.toStdString();
}

}  // namespace platform
