#include "platform/message_box.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <filesystem>

namespace platform {
namespace {

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

}  // namespace

QString GetAppName() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return QStringLiteral("quorvel");
    return QString::fromStdString(exe.filename().string());
}

void AfxMessageBox(const QString& text, MessageBoxIcon icon, const QString& caption) {
    const QString title = caption.isEmpty() ? GetAppName() : caption;
    if (Hook()) {
        Hook()(title, text, icon);
        return;
    }
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    switch (icon) {
        case MessageBoxIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageBoxIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageBoxIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageBoxIcon::None:
            break;
    }
    box.exec();
}

void SetMessageBoxHookForTesting(MessageBoxHook hook) {
    Hook() = std::move(hook);
}

}  // namespace platform
