#include "playback/vlc_player_retirer.h"

CVlcPlayerRetirer::CVlcPlayerRetirer() : m_done([](std::function<void()>&& done) { done(); }) {
    m_thread = std::thread([this] { Run(); });
}

CVlcPlayerRetirer::~CVlcPlayerRetirer() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CVlcPlayerRetirer::Retire(VlcMediaPlayerPtr player, std::function<void()> done) {
    if (!player) return;
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back({std::move(player), std::move(done)});
    }
    m_wake.notify_one();
}

int CVlcPlayerRetirer::Retiring() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_jobs.size()) + m_busy;
}

void CVlcPlayerRetirer::Run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_jobs.empty()) return;  // stopping, and everything handed over is done
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            ++m_busy;
        }
        libvlc_media_player_stop(job.player.get());
        job.player.reset();
        if (job.done) m_done.Post(std::move(job.done));
        std::lock_guard lock(m_mutex);
        --m_busy;
    }
}
