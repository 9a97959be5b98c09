#include "playback/vlc_instance_warmer.h"

CVlcInstanceWarmer::CVlcInstanceWarmer(int count) : m_inMaking(count) {
    m_thread = std::thread([this] {
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                if (m_stop || m_inMaking <= 0) return;
            }
            VlcInstancePtr instance(libvlc_new(0, nullptr));
            {
                std::lock_guard lock(m_mutex);
                --m_inMaking;
                if (instance) m_ready.push_back(std::move(instance));
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
}

VlcInstancePtr CVlcInstanceWarmer::Take() {
    {
        std::unique_lock lock(m_mutex);
        m_made.wait(lock, [this] { return !m_ready.empty() || m_inMaking <= 0 || m_stop; });
        if (!m_ready.empty()) {
            VlcInstancePtr instance = std::move(m_ready.front());
            m_ready.pop_front();
            return instance;
        }
    }
    return VlcInstancePtr(libvlc_new(0, nullptr));
}

int CVlcInstanceWarmer::ReadyCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_ready.size());
}
