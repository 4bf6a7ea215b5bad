#include "arrival.h"

void Arrival::Arm(std::string what) {
    std::lock_guard lock(mutex_);
    what_ = std::move(what);
    at_.reset();
    armed_ = true;
}

void Arrival::Offer(std::string_view what, Clock::time_point at) {
    {
        std::lock_guard lock(mutex_);
        if (!armed_ || at_ || what != what_)
            return;
        at_ = at;
    }
    stamped_.notify_one();
}

std::optional<Arrival::Clock::time_point> Arrival::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    stamped_.wait_for(lock, timeout, [this] { return at_.has_value(); });
    armed_ = false;
    return at_;
}

std::string Arrival::Awaited() const {
    std::lock_guard lock(mutex_);
    return what_;
}
