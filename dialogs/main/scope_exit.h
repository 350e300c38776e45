#pragma once
// Runs a piece of code when the scope ends, also when an error leaves it.
#include <utility>

namespace zelmar::dialogs {

template <typename F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit() { f_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F f_;
};

}  // namespace zelmar::dialogs
