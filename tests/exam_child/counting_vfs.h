// A SQLite VFS over the default one that calls a hook before every write, sync, truncate and
// lock step, so a test can end the process at a chosen step of a transaction.
#pragma once

#include <functional>

namespace testing_support {

// Registers the counting VFS as SQLite's default; onStep runs before each counted step.
void InstallCountingVfs(std::function<void()> onStep);

}  // namespace testing_support
