// The thread helper: runs the independent parts of a step (scoring children,
// refining models) on a few threads; results never depend on the count.
#ifndef QIRO_PARALLEL_H
#define QIRO_PARALLEL_H

#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

// Runs body(0) .. body(n - 1) on up to `threads` threads; each index once.
// Should a body throw (an allocation that fails), the remaining indices are
// left, every thread is joined and the first exception is thrown again here,
// so that it reaches the caller's handler instead of ending the process. A
// thread that cannot be started leaves its share to the others.
template <typename Body>
void ParallelFor(int n, int threads, Body body) {
    if (threads > n) threads = n;
    if (threads <= 1) {
        for (int i = 0; i < n; ++i) body(i);
        return;
    }
    std::atomic<int> next(0);
    std::atomic<bool> failed(false);
    std::exception_ptr first;
    std::mutex firstLock;
    auto work = [&]() {
        try {
            for (int i = next++; i < n && !failed; i = next++) body(i);
        } catch (...) {
            std::lock_guard<std::mutex> hold(firstLock);
            if (!first) first = std::current_exception();
            failed = true;
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(static_cast<size_t>(threads - 1));
    for (int t = 1; t < threads; ++t) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& t : pool) t.join();
    if (first) std::rethrow_exception(first);
}

#endif
