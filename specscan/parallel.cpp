#include "specscan/parallel.h"

#include <algorithm>
#include <exception>

#ifdef SONVOLA_WITH_TBB
#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/partitioner.h>
#include <oneapi/tbb/task_arena.h>
#include <oneapi/tbb/task_group.h>
#endif

namespace sonvola {

bool threadPoolAvailable() {
#ifdef SONVOLA_WITH_TBB
    return true;
#else
    return false;
#endif
}

#ifdef SONVOLA_WITH_TBB

struct ThreadPool::Pool {
    explicit Pool(int threads) : arena(threads) {
        // More threads than the machine has are allowed when asked for.
        if (threads > tbb::info::default_concurrency()) {
            control = std::make_unique<tbb::global_control>(
                tbb::global_control::max_allowed_parallelism, static_cast<size_t>(threads));
        }
    }
    std::unique_ptr<tbb::global_control> control;
    tbb::task_arena arena;
};

namespace {
int currentSlot(int threads) {
    const int index = tbb::this_task_arena::current_thread_index();
    return index >= 0 && index < threads ? index : 0;
}
}  // namespace

#else

struct ThreadPool::Pool {};

#endif

ThreadPool::ThreadPool(int threads) : threads_(std::max(threads, 1)) {
#ifdef SONVOLA_WITH_TBB
    if (threads_ > 1) pool_ = std::make_unique<Pool>(threads_);
#else
    threads_ = 1;
#endif
}

ThreadPool::~ThreadPool() = default;

void ThreadPool::forEach(
    int64_t count, int64_t grain,
    const std::function<void(int slot, int64_t begin, int64_t end)>& body) const {
    if (count <= 0) return;
    grain = std::max<int64_t>(grain, 1);
#ifdef SONVOLA_WITH_TBB
    if (pool_ && count > grain) {
        const int threads = threads_;
        pool_->arena.execute([&] {
            tbb::parallel_for(
                tbb::blocked_range<int64_t>(0, count, static_cast<size_t>(grain)),
                [&](const tbb::blocked_range<int64_t>& r) {
                    body(currentSlot(threads), r.begin(), r.end());
                },
                tbb::simple_partitioner());
        });
        return;
    }
    // A single range runs on the calling thread, which may be one of the
    // pool's: its own slot.
    const int slot = pool_ ? currentSlot(threads_) : 0;
#else
    const int slot = 0;
#endif
    for (int64_t begin = 0; begin < count; begin += grain) {
        body(slot, begin, std::min(count, begin + grain));
    }
}

void ThreadPool::alongside(const std::function<void()>& background,
                           const std::function<void()>& foreground) const {
#ifdef SONVOLA_WITH_TBB
    if (pool_) {
        pool_->arena.execute([&] {
            tbb::task_group group;
            group.run([&] { background(); });
            try {
                foreground();
            } catch (...) {
                // The background work still uses what the caller holds.
                try {
                    group.wait();
                } catch (...) {
                }
                throw;
            }
            group.wait();
        });
        return;
    }
#endif
    background();
    foreground();
}

}  // namespace sonvola
