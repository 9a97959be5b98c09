// The application message box: a text, an OK button, an optional icon.
#pragma once

#include <QString>
#include <functional>

namespace platform {

enum class MessageBoxIcon { None, Exclamation, Information, Error };

// Runs a modal box with an OK button, captioned with the executable's base name unless a caption
// is given. Returns when the user dismissed it.
void AfxMessageBox(const QString& text, MessageBoxIcon icon = MessageBoxIcon::None,
                   const QString& caption = {});

// The executable's base name, the caption of the application's message boxes.
QString GetAppName();

// Tests observe boxes instead of clicking them away: while a hook is set, no box is shown and
// the hook receives what would have been shown.
using MessageBoxHook =
    std::function<void(const QString& caption, const QString& text, MessageBoxIcon icon)>;
void SetMessageBoxHookForTesting(MessageBoxHook hook);

}  // namespace platform
