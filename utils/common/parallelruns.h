// Work split into numbered runs that several threads take in turn; the
// calling thread takes runs too. Each run is done exactly once, and all are
// done when RunInParallel returns.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

namespace ZmLib {

// Threads that pay off for memory-bound scans on this kind of machine.
constexpr unsigned PARALLEL_RUNS_MAX_THREADS = 8;

// Calls run(i) for every i below runs, on up to threads threads (one per
// processor when 0). run must be safe to call on several threads at once.
template <typename Run>
void RunInParallel(size_t runs, unsigned threads, const Run& run)
{
    if (threads == 0)
        threads = std::min(PARALLEL_RUNS_MAX_THREADS, std::max(1u, std::thread::hardware_concurrency()));
    threads = unsigned(std::min<size_t>(threads, std::max<size_t>(runs, 1)));
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < runs;)
            run(i);
    };
    std::vector<std::thread> helpers;
    try {
        for (unsigned t = 1; t < threads; ++t)
            helpers.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had: those running and this one share the runs.
    }
    work();
    for (std::thread& helper : helpers)
        helper.join();
}

} // namespace ZmLib
