// Stops and releases libVLC media players on a thread of its own: libVLC's stop waits for the
// player's decoding and output threads, tens of milliseconds that the window's thread, with
// camera frames waiting on it, must not spend.
#pragma once

#include <vlc/vlc.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/posted_queue.h"
#include "playback/vlc_handles.h"

class CVlcPlayerRetirer {
  public:
    CVlcPlayerRetirer();
    // Stops and releases every player handed over before it returns.
    ~CVlcPlayerRetirer();
    CVlcPlayerRetirer(const CVlcPlayerRetirer&) = delete;
    CVlcPlayerRetirer& operator=(const CVlcPlayerRetirer&) = delete;

    // Takes player over (null: nothing). done runs on the thread that made the retirer once
    // the player is stopped and released (its video output gone from the window it drew in);
    // it is dropped if the retirer goes first.
    void Retire(VlcMediaPlayerPtr player, std::function<void()> done);
    // Players handed over and not released yet.
    int Retiring() const;

  private:
    struct Job {
        VlcMediaPlayerPtr player;
        std::function<void()> done;
    };
    void Run();

    // The done calls, run on the owner's thread; dropped with it.
    platform::CPostedQueue<std::function<void()>> m_done;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;  // guarded by m_mutex
    int m_busy = 0;          // guarded by m_mutex: taken from m_jobs, not released yet
    bool m_stop = false;     // guarded by m_mutex
    std::thread m_thread;
};
