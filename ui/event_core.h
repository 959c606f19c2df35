// The event rules every toolkit implementation shares: the window thread's event queue with
// its dedupe rule, bound handlers, suppression of the program's own changes, events posted
// from any thread, and calls from other threads carried out on the window thread in order.
// Implementations only report what the user did (Produce) and wake the window thread when
// asked (the waker); everything else about events lives here, once.
#pragma once
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>
#include <variant>

#include "ui/toolkit.h"

namespace kv::ui {

struct Event {
    int kind = IgnoredEvent;
    int window = 0;
    int object = 0;
    int type = 0;
    bool operator==(const Event&) const = default;
};

class EventCore {
  public:
    // Starts afresh: the calling thread becomes the window thread; queue, handlers and
    // pending calls are dropped; the released state is cleared.
    void Reset(std::function<void()> waker);
    bool OnWindowThread() const { return std::this_thread::get_id() == windowThread_; }

    // --- window thread ------------------------------------------------------------------
    // A user action happened. Suppressed while the window thread carries out a change of the
    // program (SuppressScope) unless the event was posted.
    void Produce(const Event& event, bool posted = false);
    bool TakeQueued(Event& out);
    void SetRecord(const Event& event) { record_ = event; }
    const Event& Record() const { return record_; }
    void Bind(int window, int control, int type, ControlHandler handler);
    void BindPaint(int window, int control, PaintHandler handler);
    PaintHandler PaintHandlerOf(int window, int control) const;
    void BindCellTip(int window, int control, CellTipHandler handler);
    CellTipHandler CellTipHandlerOf(int window, int control) const;
    // Runs posted events and calls from other threads, in the order they arrived.
    void ServePending();
    // Blocks until something is waiting to be served (posted event, call) or the toolkit is
    // released. Used by implementations without an event loop of their own.
    void WaitForPending();

    // Programmatic changes made by the calling thread produce no events while one is alive.
    // The per-thread depth stays inside event_core.cpp: reached from other files through
    // the thread-local wrapper, optimised GCC 12 code under -fsanitize=null tests the flags
    // of an add that the linker relaxes into a lea, and reports a null pointer where there
    // is none.
    class SuppressScope {
      public:
        SuppressScope();
        ~SuppressScope();
        SuppressScope(const SuppressScope&) = delete;
        SuppressScope& operator=(const SuppressScope&) = delete;
        static bool Active();
    };

    // --- any thread ---------------------------------------------------------------------
    void Post(const Event& event);
    // Carries `call` out on the window thread and returns once it ran (true). Returns false
    // without running it when the toolkit is released before the window thread served it.
    // Calls from one thread run in the order issued.
    bool RunOnWindowThread(std::function<void()> call);
    // Abandons every call still waiting (their callers return without effect) and makes
    // later calls from other threads return at once. Never blocks on a waiting caller.
    void Release();
    bool Released() const;
    // Tests without a looping window thread: calls from other threads run at once on the
    // calling thread (the implementation's own lock keeps its state consistent).
    void SetDirectCalls(bool direct) { direct_ = direct; }
    bool DirectCalls() const { return direct_; }

  private:
    struct PendingCall {
        std::function<void()> call;
        bool finished = false;
        bool ran = false;
    };
    using Inbox = std::variant<Event, std::shared_ptr<PendingCall>>;

    mutable std::mutex mutex_;
    std::condition_variable served_;   // a pending call finished or was abandoned
    std::condition_variable arrived_;  // something was put in the inbox
    std::deque<Event> queue_;
    std::deque<Inbox> inbox_;
    std::map<std::tuple<int, int, int>, ControlHandler> handlers_;
    std::map<std::pair<int, int>, PaintHandler> paintHandlers_;
    std::map<std::pair<int, int>, CellTipHandler> cellTipHandlers_;
    std::function<void()> waker_;
    std::thread::id windowThread_;
    Event record_;
    bool released_ = false;
    std::atomic<bool> direct_{false};
};

}  // namespace kv::ui
