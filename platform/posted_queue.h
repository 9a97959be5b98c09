// Hands items from worker threads to the thread that made the queue, in order, through its event
// loop. Posting and delivering share one lock: besides guarding the items, it orders the hand-over
// for ThreadSanitizer, which cannot see the locks of Qt's own event queue. The wake event carries
// nothing; the items are the truth.
//
// Destroy the queue on its owner's thread, after every thread that posts to it has ended: items
// not delivered by then are dropped.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace platform {

template <class T>
class CPostedQueue {
  public:
    using Deliver = std::function<void(T&& item)>;

    explicit CPostedQueue(Deliver deliver)
        : m_deliver(std::move(deliver)), m_receiver(std::make_unique<CReceiver>(this)) {}
    CPostedQueue(const CPostedQueue&) = delete;
    CPostedQueue& operator=(const CPostedQueue&) = delete;

    // Any thread.
    void Post(T item) {
        std::lock_guard lock(m_mutex);
        m_items.push_back(std::move(item));
        QCoreApplication::postEvent(m_receiver.get(), new QEvent(WakeType()));
    }

  private:
    class CReceiver : public QObject {
      public:
        explicit CReceiver(CPostedQueue* queue) : m_queue(queue) {}
        bool event(QEvent* e) override {
            QEvent::Type type;
            {
                // The event was made under the lock on the poster's thread.
                std::lock_guard lock(m_queue->m_mutex);
                type = e->type();
            }
            if (type != WakeType()) return QObject::event(e);
            m_queue->DeliverAll();
            return true;
        }

      private:
        CPostedQueue* m_queue;
    };

    static QEvent::Type WakeType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    void DeliverAll() {
        std::deque<T> items;
        {
            std::lock_guard lock(m_mutex);
            items.swap(m_items);
        }
        for (T& item : items) m_deliver(std::move(item));
    }

    Deliver m_deliver;
    std::mutex m_mutex;
    std::deque<T> m_items;  // guarded by m_mutex
    // Lives on the owner's thread; what is queued to it dies with it.
    std::unique_ptr<CReceiver> m_receiver;
};

}  // namespace platform
