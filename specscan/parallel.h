// A pool of threads for the independent pieces of SpecScan's work (the
// filter's blocks, the frames). Only which thread computes a piece depends
// on the pool; how each piece is computed never does.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace sonvola {

// True when the library was built with its thread pool (oneTBB); without it
// a pool runs everything on the calling thread.
bool threadPoolAvailable();

class ThreadPool {
  public:
    // At most `threads` threads, the calling thread among them; with 1 (or
    // less) everything runs on the calling thread, without the pool.
    explicit ThreadPool(int threads);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    int threads() const { return threads_; }

    // Calls body(slot, begin, end) for ranges [begin, end) of at most
    // `grain` items that cover [0, count) once, side by side on the pool,
    // and returns when all are done. `slot` (below threads()) names the
    // thread that runs the range: two ranges with one slot never run at
    // once, so a slot can pick work space. A body must not wait for other
    // work of the pool. An exception leaving a body is rethrown here (the
    // ranges not yet started may then be left out).
    void forEach(int64_t count, int64_t grain,
                 const std::function<void(int slot, int64_t begin, int64_t end)>& body) const;

    // Runs `background` on the pool while the calling thread runs
    // `foreground`; returns when both are done. Either may call forEach.
    void alongside(const std::function<void()>& background,
                   const std::function<void()>& foreground) const;

  private:
    struct Pool;
    int threads_;
    std::unique_ptr<Pool> pool_;
};

}  // namespace sonvola
