#pragma once

// A search over a list of candidates that stops at the first one that
// passes, run on several threads: candidates are tested in batches, each
// batch at once, and the batch is then read in order. The answer, and the
// error raised, are those of a plain loop: the first passing candidate, or
// the error of a candidate before it.

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

// test(i) -> bool for i = 0 .. count-1 (may throw). Returns the index of the
// first candidate that passes, or -1.
template <typename Test>
int FindFirstInOrder(int count, Test&& test)
{
    const int width = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 4);
    for (int start = 0; start < count; start += width) {
        const int end = std::min(count, start + width);
        std::vector<char> passed(static_cast<size_t>(end - start), 0);
        std::vector<std::exception_ptr> failures(static_cast<size_t>(end - start));
        const auto run = [&](int i) {
            const size_t at = static_cast<size_t>(i - start);
            try {
                passed[at] = test(i) ? 1 : 0;
            } catch (...) {
                failures[at] = std::current_exception();
            }
        };
        std::vector<std::thread> workers;
        for (int i = start + 1; i < end; ++i)
            workers.emplace_back(run, i);
        run(start);
        for (std::thread& worker : workers)
            worker.join();
        for (int i = start; i < end; ++i) {
            const size_t at = static_cast<size_t>(i - start);
            if (failures[at])
                std::rethrow_exception(failures[at]);
            if (passed[at])
                return i;
        }
    }
    return -1;
}
