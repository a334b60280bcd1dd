#pragma once
// Ordered read-ahead: work items run on several threads, a bounded number
// ahead of one consumer that takes the results strictly in index order, so
// the output of a run does not depend on how many threads read for it.
//
//   extract::OrderedReadAhead<SpaceRead> ahead(paths.size(), [&](std::size_t i) { return ReadSpace(paths[i], "M"); });
//   SpaceRead r;
//   while (ahead.next(r)) write(r);
//
// `work` is called from the worker threads, at most once per index, and must
// be safe to call for different indexes at once.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace extract {

// Threads a run uses when not told: one per core.
inline unsigned DefaultJobs() { return std::max(1u, std::thread::hardware_concurrency()); }

template <class Result>
class OrderedReadAhead {
public:
    // jobs 0: DefaultJobs(); window 0: four items per thread. Memory holds at
    // most `window` results that the consumer has not taken yet.
    OrderedReadAhead(std::size_t count, std::function<Result(std::size_t)> work, unsigned jobs = 0,
                     std::size_t window = 0)
        : count_(count), work_(std::move(work))
    {
        if (jobs == 0)
            jobs = DefaultJobs();
        window_ = window != 0 ? window : std::size_t{4} * jobs;
        slots_.resize(std::min(window_, std::max<std::size_t>(count_, 1)));
        jobs = static_cast<unsigned>(std::min<std::size_t>(jobs, std::max<std::size_t>(count_, 1)));
        for (unsigned i = 0; i < jobs; ++i) threads_.emplace_back([this] { serve(); });
    }

    OrderedReadAhead(const OrderedReadAhead&) = delete;
    OrderedReadAhead& operator=(const OrderedReadAhead&) = delete;

    ~OrderedReadAhead()
    {
        stop();
        for (auto& t : threads_) t.join();
    }

    // The next result in index order, waiting for it if need be; false after
    // the last one or once stop() was called.
    bool next(Result& out)
    {
        std::unique_lock lock(mutex_);
        if (stopped_ || taken_ == count_)
            return false;
        auto& slot = slots_[taken_ % slots_.size()];
        ready_.wait(lock, [&] { return stopped_ || slot.has_value(); });
        if (stopped_)
            return false;
        out = std::move(*slot);
        slot.reset();
        ++taken_;
        lock.unlock();
        space_.notify_all();
        return true;
    }

    // How many results next() has handed out.
    std::size_t taken() const
    {
        std::lock_guard lock(mutex_);
        return taken_;
    }

    // No item starts after this; items being worked on finish and are dropped.
    void stop()
    {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        ready_.notify_all();
        space_.notify_all();
    }

private:
    void serve()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            space_.wait(lock, [&] { return stopped_ || started_ == count_ || started_ < taken_ + slots_.size(); });
            if (stopped_ || started_ == count_)
                return;
            const std::size_t index = started_++;
            lock.unlock();
            Result r = work_(index);
            lock.lock();
            if (stopped_)
                return;
            slots_[index % slots_.size()] = std::move(r);
            ready_.notify_all();
        }
    }

    const std::size_t count_;
    const std::function<Result(std::size_t)> work_;
    std::size_t window_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable ready_;  // a slot was filled, or stop
    std::condition_variable space_;  // a slot was taken, or stop
    std::vector<std::optional<Result>> slots_;
    std::size_t started_ = 0;  // items handed to a worker
    std::size_t taken_ = 0;    // items handed to the consumer
    bool stopped_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace extract
