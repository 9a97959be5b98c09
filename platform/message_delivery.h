// Window messages with SendMessage semantics across threads.
//
// A window owns a CMessageTarget. On the target's own thread SendMessageW runs the handler at
// once. From any other thread the message is queued to the target's thread and the sender waits
// until it has been handled. Sending to a destroyed window fails at once; destroying a window
// fails every sender still waiting on it, and what was queued for it is never handled.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "platform/win_types.h"

namespace platform {

class CMessageTarget {
  public:
    using Dispatch = std::function<LRESULT(UINT msg, WPARAM wParam, LPARAM lParam)>;

    explicit CMessageTarget(Dispatch dispatch);
    ~CMessageTarget();
    CMessageTarget(const CMessageTarget&) = delete;
    CMessageTarget& operator=(const CMessageTarget&) = delete;

    // Gives the target a fresh handle, bound to the calling thread. A target that already
    // has a handle keeps it.
    HWND Create();
    // Takes the handle away and fails every sender waiting on it. Call on the target's thread.
    void Destroy();
    // The current handle, 0 when there is none; safe from any thread.
    HWND GetSafeHwnd() const;

    struct State;  // shared with the delivery machinery

  private:
    std::shared_ptr<State> m_state;
};

// Delivers msg to the window and waits until it was handled. True when a handler ran; the
// handler's result goes to *result when given. False when there is no such window, or the
// window was destroyed before handling it.
bool SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result = nullptr);

// Queues msg for the window's thread and returns at once, from any thread (the target's own
// included: the handler runs later, from the event loop). False when there is no such window.
// A message still queued when the window is destroyed is never handled; one whose wParam owns
// memory must therefore carry nothing that needs freeing.
bool PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// True while the window handle names a live target.
bool IsWindow(HWND hwnd);

}  // namespace platform
