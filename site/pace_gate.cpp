#include "site/pace_gate.h"

#include <algorithm>
#include <exception>

namespace zelmar::site {

PaceGate::PaceGate(Pace pace) : pace_(std::move(pace)) {}

void PaceGate::enter() {
    std::unique_lock lock(m_);
    freed_.wait(lock, [&] { return held_ < pace_.window(); });
    mostHeld_ = std::max(mostHeld_, ++held_);
}

void PaceGate::leave() {
    {
        std::lock_guard lock(m_);
        --held_;
    }
    freed_.notify_all();
}

void PaceGate::leave(const Pace::Sample& sample) {
    {
        std::lock_guard lock(m_);
        --held_;
        pace_.ended(sample);
    }
    freed_.notify_all();  // a grown window lets several in
}

std::uint64_t PaceGate::epoch() const {
    std::lock_guard lock(m_);
    return pace_.epoch();
}

int PaceGate::mostAtOnce() const {
    std::lock_guard lock(m_);
    return mostHeld_;
}

Turn::Turn(PaceGate& gate)
    : gate_(gate), start_(std::chrono::steady_clock::now()), exceptions_(std::uncaught_exceptions()) {
    sample_.epoch = gate.epoch();
}

Turn::~Turn() {
    if (left_)
        return;
    if (std::uncaught_exceptions() > exceptions_)
        gate_.leave();  // the service failed: that says nothing of the link
    else
        quiet();
}

void Turn::quiet() {
    if (left_)
        return;
    left_ = true;
    sample_.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    gate_.leave(sample_);
}

}  // namespace zelmar::site
