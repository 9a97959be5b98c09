#include "platform/message_delivery.h"

#include <QCoreApplication>
#include <QEvent>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace platform {
namespace {

enum class PendingStatus { Queued, Running, Done, Failed };

struct Pending {
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
    PendingStatus status = PendingStatus::Queued;
};

// One lock and one condition for all targets: messages are few per second and the lock is held
// only for bookkeeping, never while a handler runs.
std::mutex g_mutex;
std::condition_variable g_done;
HWND g_nextHandle = 0x10000;

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

struct CMessageTarget::State {
    Dispatch dispatch;
    HWND hwnd = 0;  // guarded by g_mutex; mirrored in publishedHwnd for lock-free reads
    std::atomic<HWND> publishedHwnd{0};
    std::thread::id thread;
    QObject* waker = nullptr;                    // guarded by g_mutex; lives on the target's thread
    std::deque<std::shared_ptr<Pending>> queue;  // guarded by g_mutex
};

namespace {

std::unordered_map<HWND, std::shared_ptr<CMessageTarget::State>>& Targets() {
    static std::unordered_map<HWND, std::shared_ptr<CMessageTarget::State>> targets;
    return targets;
}

// Runs on the target's thread; the wake event carries nothing, the queue is the truth.
class CWaker : public QObject {
  public:
    explicit CWaker(std::weak_ptr<CMessageTarget::State> state) : m_state(std::move(state)) {}

    bool event(QEvent* e) override {
        QEvent::Type type;
        {
            // Wake events are made under g_mutex on the sender's thread; Qt's own queue lock
            // does not order that for ThreadSanitizer, this does.
            std::lock_guard lock(g_mutex);
            type = e->type();
        }
        if (type != kWakeEvent) return QObject::event(e);
        Drain();
        return true;
    }

  private:
    void Drain() {
        std::unique_lock lock(g_mutex);
        auto state = m_state.lock();
        if (!state) return;
        while (!state->queue.empty()) {
            std::shared_ptr<Pending> p = state->queue.front();
            state->queue.pop_front();
            if (p->status != PendingStatus::Queued || state->hwnd == 0) continue;
            p->status = PendingStatus::Running;
            const CMessageTarget::Dispatch dispatch = state->dispatch;
            lock.unlock();
            const LRESULT r = dispatch(p->msg, p->wParam, p->lParam);
            lock.lock();
            p->result = r;
            p->status = PendingStatus::Done;
            g_done.notify_all();
        }
    }

    std::weak_ptr<CMessageTarget::State> m_state;
};

}  // namespace

CMessageTarget::CMessageTarget(Dispatch dispatch) : m_state(std::make_shared<State>()) {
    m_state->dispatch = std::move(dispatch);
}

CMessageTarget::~CMessageTarget() {
    Destroy();
}

HWND CMessageTarget::Create() {
    std::lock_guard lock(g_mutex);
    if (m_state->hwnd != 0) return m_state->hwnd;
    m_state->hwnd = g_nextHandle;
    g_nextHandle += 4;
    m_state->thread = std::this_thread::get_id();
    if (!m_state->waker) m_state->waker = new CWaker(m_state);
    m_state->publishedHwnd.store(m_state->hwnd, std::memory_order_release);
    Targets()[m_state->hwnd] = m_state;
    return m_state->hwnd;
}

void CMessageTarget::Destroy() {
    QObject* waker = nullptr;
    {
        std::lock_guard lock(g_mutex);
        if (m_state->hwnd == 0 && !m_state->waker) return;
        if (m_state->hwnd != 0) Targets().erase(m_state->hwnd);
        m_state->hwnd = 0;
        m_state->publishedHwnd.store(0, std::memory_order_release);
        for (auto& p : m_state->queue) {
            if (p->status == PendingStatus::Queued) p->status = PendingStatus::Failed;
        }
        m_state->queue.clear();
        waker = m_state->waker;
        m_state->waker = nullptr;
        g_done.notify_all();
    }
    // The waker may be the object whose event() is running right now (a handler that destroys
    // its own window), so it goes through the event loop.
    if (waker) {
        if (QCoreApplication::instance())
            waker->deleteLater();
        else
            delete waker;
    }
}

HWND CMessageTarget::GetSafeHwnd() const {
    return m_state->publishedHwnd.load(std::memory_order_acquire);
}

bool SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (hwnd == 0) return false;
    std::unique_lock lock(g_mutex);
    auto it = Targets().find(hwnd);
    if (it == Targets().end()) return false;
    std::shared_ptr<CMessageTarget::State> state = it->second;
    if (state->thread == std::this_thread::get_id()) {
        const CMessageTarget::Dispatch dispatch = state->dispatch;
        lock.unlock();
        const LRESULT r = dispatch(msg, wParam, lParam);
        if (result) *result = r;
        return true;
    }
    auto p = std::make_shared<Pending>();
    p->msg = msg;
    p->wParam = wParam;
    p->lParam = lParam;
    state->queue.push_back(p);
    // Posted under the lock: Destroy cannot take the waker away in between.
    QCoreApplication::postEvent(state->waker, new QEvent(kWakeEvent));
    g_done.wait(lock, [&] {
        return p->status == PendingStatus::Done || p->status == PendingStatus::Failed;
    });
    if (p->status != PendingStatus::Done) return false;
    if (result) *result = p->result;
    return true;
}

bool PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (hwnd == 0) return false;
    std::lock_guard lock(g_mutex);
    auto it = Targets().find(hwnd);
    if (it == Targets().end()) return false;
    auto p = std::make_shared<Pending>();
    p->msg = msg;
    p->wParam = wParam;
    p->lParam = lParam;
    it->second->queue.push_back(p);
    QCoreApplication::postEvent(it->second->waker, new QEvent(kWakeEvent));
    return true;
}

bool IsWindow(HWND hwnd) {
    if (hwnd == 0) return false;
    std::lock_guard lock(g_mutex);
    return Targets().count(hwnd) != 0;
}

}  // namespace platform
