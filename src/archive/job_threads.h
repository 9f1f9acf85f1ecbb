#pragma once

// A few threads that work the jobs handed to them, in any order, each with a worker of its own (its zlib stream);
// the caller waits for the job it needs next. Destroying them abandons what is still queued and waits for the jobs
// being worked on. The block writer and the block reader of a member share them.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace vestrum::zlb {

// `Job` has `bool done` and `bool worked`. Each thread makes its `Worker` once with `makeWorker`; `work` does one
// job with it. A job has not worked when its thread's worker could not be made, memory ran out, or `work` said so.
template <typename Job, typename Worker>
class JobThreads {
public:
    using MakeWorker = std::function<std::unique_ptr<Worker>()>;
    using Work = std::function<bool(Worker&, Job&)>;

    JobThreads(int count, MakeWorker makeWorker, Work work) : makeWorker_(std::move(makeWorker)), work_(std::move(work))
    {
        try {
            for (int i = 0; i < count; ++i)
                threads_.emplace_back([this] { run(); });
        } catch (const std::system_error&) {
            // Fewer threads do the same work; with none the caller fails as it would without memory.
            if (threads_.empty())
                throw;
        }
    }
    ~JobThreads()
    {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        queued_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }
    JobThreads(const JobThreads&) = delete;
    JobThreads& operator=(const JobThreads&) = delete;

    void submit(Job& job)
    {
        {
            const std::lock_guard lock(mutex_);
            job.done = false;
            job.worked = false;
            queue_.push_back(&job);
        }
        queued_.notify_one();
    }

    // Whether the job worked, once it is done.
    bool waitFor(const Job& job)
    {
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [&job] { return job.done; });
        return job.worked;
    }

    // Works the job queued first on the calling thread, with the caller's own worker, when more than `leaving`
    // jobs are queued: the caller then inflates beside the threads instead of waiting, and one thread fewer shares
    // the cores. False when it took none.
    bool workOneHere(Worker& worker, size_t leaving)
    {
        Job* job = nullptr;
        {
            const std::lock_guard lock(mutex_);
            if (queue_.size() <= leaving)
                return false;
            job = queue_.front();
            queue_.pop_front();
        }
        finish(*job, workSafely(&worker, *job));
        return true;
    }

    bool isDone(const Job& job)
    {
        const std::lock_guard lock(mutex_);
        return job.done;
    }

private:
    void run()
    {
        std::unique_ptr<Worker> worker;
        try {
            worker = makeWorker_();
        } catch (const std::bad_alloc&) {
            // Every job this thread takes then has not worked.
        }
        for (;;) {
            Job* job = nullptr;
            {
                std::unique_lock lock(mutex_);
                queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (stopping_)
                    return;
                job = queue_.front();
                queue_.pop_front();
            }
            finish(*job, workSafely(worker.get(), *job));
        }
    }

    bool workSafely(Worker* worker, Job& job)
    {
        try {
            return worker && work_(*worker, job);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

    void finish(Job& job, bool worked)
    {
        {
            const std::lock_guard lock(mutex_);
            job.worked = worked;
            job.done = true;
        }
        finished_.notify_all();
    }

    MakeWorker makeWorker_;
    Work work_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable finished_;
    std::deque<Job*> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace vestrum::zlb
