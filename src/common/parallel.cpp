#include "tavlo/parallel.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

void ParallelFor(int count, const std::function<void(int)>& work) {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int workers = std::min(cores, count);
    if (workers <= 1) {
        for (int i = 0; i < count; ++i)
            work(i);
        return;
    }
    std::atomic<int> next{0};
    auto run = [&] {
        for (int i = next++; i < count; i = next++)
            work(i);
    };
    std::vector<std::thread> threads;
    threads.reserve(static_cast<size_t>(workers - 1));
    for (int t = 1; t < workers; ++t)
        threads.emplace_back(run);
    run();
    for (std::thread& t : threads)
        t.join();
}
