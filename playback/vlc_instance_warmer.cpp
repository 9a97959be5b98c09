#include "playback/vlc_instance_warmer.h"

CVlcInstanceWarmer::CVlcInstanceWarmer(int count) : m_inMaking(count) {
    m_thread = std::thread([this] {
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                if (m_stop || m_inMaking <= 0) return;
            }
            libvlc_instance_t* instance = libvlc_new(0, nullptr);
            {
                std::lock_guard lock(m_mutex);
                --m_inMaking;
                if (instance) m_ready.push_back(instance);
            }
            m_made.notify_all();
        }
    });
}

CVlcInstanceWarmer::~CVlcInstanceWarmer() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_thread.join();
    for (libvlc_instance_t* instance : m_ready) libvlc_release(instance);
}

libvlc_instance_t* CVlcInstanceWarmer::Take() {
    {
        std::unique_lock lock(m_mutex);
        m_made.wait(lock, [this] { return !m_ready.empty() || m_inMaking <= 0 || m_stop; });
        if (!m_ready.empty()) {
            libvlc_instance_t* instance = m_ready.front();
            m_ready.pop_front();
            return instance;
        }
    }
    return libvlc_new(0, nullptr);
}

int CVlcInstanceWarmer::ReadyCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_ready.size());
}
