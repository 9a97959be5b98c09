// libVLC engine instances made ahead of time on a thread of its own: libvlc_new loads the
// plugins and takes tens to hundreds of milliseconds, too long for the window's thread while
// camera frames wait on it.
#pragma once

#include <vlc/vlc.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "playback/vlc_handles.h"

class CVlcInstanceWarmer {
  public:
    // Starts making count instances.
    explicit CVlcInstanceWarmer(int count);
    // Waits for an instance in the making and releases those never taken.
    ~CVlcInstanceWarmer();
    CVlcInstanceWarmer(const CVlcInstanceWarmer&) = delete;
    CVlcInstanceWarmer& operator=(const CVlcInstanceWarmer&) = delete;

    // An instance made ahead, the caller's from now on. Waits for one still in the making; once
    // all were taken, makes one at once. Null when libVLC cannot make one.
    VlcInstancePtr Take();
    // Instances made and not taken yet.
    int ReadyCount() const;

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_made;
    std::deque<VlcInstancePtr> m_ready;  // guarded by m_mutex
    int m_inMaking;                      // guarded by m_mutex
    bool m_stop = false;                 // guarded by m_mutex
    std::thread m_thread;
};
