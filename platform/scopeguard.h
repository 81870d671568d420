#pragma once

#include <utility>

namespace platform {

// Runs a function when the scope is left, on every way out.
template<typename F> class ScopeGuard
{
public:
    explicit ScopeGuard(F f)
        : m_f(std::move(f))
    { }
    ~ScopeGuard() { m_f(); }
    ScopeGuard(const ScopeGuard &) = delete;
    ScopeGuard &operator=(const ScopeGuard &) = delete;

private:
    F m_f;
};

} // namespace platform
