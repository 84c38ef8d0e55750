// A field that host threads share: the host may set the rate or switch
// programs on its UI thread while automation or audio threads read the same
// field. Every access is a relaxed atomic load or store (a plain aligned move
// on x86), so there is no data race and no lock, and code reads and writes it
// like the plain value it stands for.
#pragma once

#include <atomic>

template <class T>
class Relaxed {
public:
    Relaxed(T initial = T()) : value_(initial) {}
    Relaxed(const Relaxed&) = delete;
    Relaxed& operator=(const Relaxed&) = delete;

    operator T() const { return value_.load(std::memory_order_relaxed); }
    Relaxed& operator=(T v) {
        value_.store(v, std::memory_order_relaxed);
        return *this;
    }

private:
    static_assert(std::atomic<T>::is_always_lock_free, "shared fields must be lock-free");
    std::atomic<T> value_;
};
