#include "ui/event_core.h"

#include <utility>

namespace kv::ui {

namespace {
thread_local int suppressDepth = 0;
}  // namespace

EventCore::SuppressScope::SuppressScope() {
    ++suppressDepth;
}
EventCore::SuppressScope::~SuppressScope() {
    --suppressDepth;
}
bool EventCore::SuppressScope::Active() {
    return suppressDepth > 0;
}

void EventCore::Reset(std::function<void()> waker) {
    std::deque<Inbox> abandoned;
    {
        std::lock_guard lock(mutex_);
        queue_.clear();
        abandoned.swap(inbox_);
        handlers_.clear();
        paintHandlers_.clear();
        waker_ = std::move(waker);
        windowThread_ = std::this_thread::get_id();
        record_ = Event{};
        released_ = false;
        direct_ = false;
        for (auto& item : abandoned) {
            if (auto* call = std::get_if<std::shared_ptr<PendingCall>>(&item))
                (*call)->finished = true;
        }
    }
    served_.notify_all();
}

void EventCore::Produce(const Event& event, bool posted) {
    if (!posted && SuppressScope::Active()) return;
    ControlHandler handler = nullptr;
    {
        std::lock_guard lock(mutex_);
        // Only the newest waiting event is compared: the same event twice in a row while the
        // program is busy (a modal box, a slow handler) reaches the loop once.
        if (queue_.empty() || !(queue_.back() == event)) queue_.push_back(event);
        if (event.kind == ControlEvent) {
            auto found = handlers_.find({event.window, event.object, event.type});
            if (found != handlers_.end()) handler = found->second;
        }
    }
    if (handler) {
        const Event saved = record_;
        record_ = event;
        handler();
        record_ = saved;
    }
}

bool EventCore::TakeQueued(Event& out) {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return false;
    out = queue_.front();
    queue_.pop_front();
    return true;
}

void EventCore::Bind(int window, int control, int type, ControlHandler handler) {
    std::lock_guard lock(mutex_);
    if (handler)
        handlers_[{window, control, type}] = handler;
    else
        handlers_.erase({window, control, type});
}

void EventCore::BindPaint(int window, int control, PaintHandler handler) {
    std::lock_guard lock(mutex_);
    if (handler)
        paintHandlers_[{window, control}] = handler;
    else
        paintHandlers_.erase({window, control});
}

PaintHandler EventCore::PaintHandlerOf(int window, int control) const {
    std::lock_guard lock(mutex_);
    auto found = paintHandlers_.find({window, control});
    return found == paintHandlers_.end() ? nullptr : found->second;
}

void EventCore::BindCellTip(int window, int control, CellTipHandler handler) {
    std::lock_guard lock(mutex_);
    if (handler)
        cellTipHandlers_[{window, control}] = handler;
    else
        cellTipHandlers_.erase({window, control});
}

CellTipHandler EventCore::CellTipHandlerOf(int window, int control) const {
    std::lock_guard lock(mutex_);
    auto found = cellTipHandlers_.find({window, control});
    return found == cellTipHandlers_.end() ? nullptr : found->second;
}

void EventCore::ServePending() {
    for (;;) {
        Inbox item;
        {
            std::lock_guard lock(mutex_);
            if (inbox_.empty()) return;
            item = std::move(inbox_.front());
            inbox_.pop_front();
        }
        if (auto* event = std::get_if<Event>(&item)) {
            Produce(*event, /*posted=*/true);
            continue;
        }
        auto& call = std::get<std::shared_ptr<PendingCall>>(item);
        call->call();
        {
            std::lock_guard lock(mutex_);
            call->ran = true;
            call->finished = true;
        }
        served_.notify_all();
    }
}

void EventCore::WaitForPending() {
    std::unique_lock lock(mutex_);
    arrived_.wait(lock, [&] { return !inbox_.empty() || released_; });
}

void EventCore::Post(const Event& event) {
    std::function<void()> waker;
    {
        std::lock_guard lock(mutex_);
        inbox_.push_back(event);
        waker = waker_;
    }
    arrived_.notify_all();
    if (waker) waker();
}

bool EventCore::RunOnWindowThread(std::function<void()> call) {
    auto pending = std::make_shared<PendingCall>();
    pending->call = std::move(call);
    std::function<void()> waker;
    {
        std::lock_guard lock(mutex_);
        if (released_) return false;
        inbox_.push_back(pending);
        waker = waker_;
    }
    arrived_.notify_all();
    if (waker) waker();
    std::unique_lock lock(mutex_);
    served_.wait(lock, [&] { return pending->finished; });
    return pending->ran;
}

void EventCore::Release() {
    {
        std::lock_guard lock(mutex_);
        released_ = true;
        for (auto& item : inbox_) {
            if (auto* call = std::get_if<std::shared_ptr<PendingCall>>(&item))
                (*call)->finished = true;
        }
        inbox_.clear();
        queue_.clear();
        handlers_.clear();
    }
    served_.notify_all();
    arrived_.notify_all();
}

bool EventCore::Released() const {
    std::lock_guard lock(mutex_);
    return released_;
}

}  // namespace kv::ui
