// Helpers shared by the test executables.
#pragma once

#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <functional>

#include "platform/system.h"

namespace testing_support {

// The repository's res/ folder (language packs, images).
QString SourceDir();

// A local date and time to fix the clock at.
platform::SYSTEMTIME LocalTime(int year, int month, int day, int hour, int minute, int second);

// How long a wait for something that surely comes may take before the test gives up. The
// machines that run the suite are shared and loaded, and the sanitizers slow it several times:
// a wait returns as soon as its condition holds, so a long limit costs nothing when all is well.
constexpr int kPatienceMs = 30000;

// Pumps the Qt event loop until pred holds or timeoutMs passes; true when it held.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = kPatienceMs);
// Pumps the event loop for ms milliseconds.
void Pump(int ms);

// How many file descriptors the process holds now.
int OpenDescriptors();

// An application folder of its own for one test: Language/ with the shipped packs (unless
// withPacks is false), and platform::GetModuleFolder() pointing at it while the object lives.
class CAppFolder {
  public:
    explicit CAppFolder(bool withPacks = true);
    ~CAppFolder();
    QString Path() const { return m_dir.path(); }

  private:
    QTemporaryDir m_dir;
};

}  // namespace testing_support
