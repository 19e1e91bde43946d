// A small persistent pool behind parallelRows.
#include "core/parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon {
namespace {

int defaultThreads() {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(std::min(n, 64u));
}

std::atomic<int> g_threads{0};
thread_local bool t_inWorker = false;

struct Job {
    const std::function<void(int, int)>* fn = nullptr;
    int count = 0;
    int chunk = 1;
    int chunks = 0;
    std::atomic<int> next{0};
    std::atomic<int> remaining{0};
    std::exception_ptr error;
    std::mutex errorMutex;
};

class Pool {
public:
    static Pool& instance() {
        static Pool pool;
        return pool;
    }

    void run(Job& job, int helpers) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ensureWorkers(helpers);
            job_ = &job;
            wanted_ = helpers;
            ++generation_;
        }
        cv_.notify_all();
        work(job); // the calling thread works too
        std::unique_lock<std::mutex> lock(mutex_);
        doneCv_.wait(lock, [&] { return job.remaining.load() == 0 && active_ == 0; });
        job_ = nullptr;
    }

    ~Pool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        cv_.notify_all();
        for (auto& t : workers_) t.join();
    }

private:
    static void work(Job& job) {
        for (;;) {
            int c = job.next.fetch_add(1);
            if (c >= job.chunks) break;
            int first = c * job.chunk;
            int last = std::min(job.count, first + job.chunk);
            try {
                (*job.fn)(first, last);
            } catch (...) {
                std::lock_guard<std::mutex> lock(job.errorMutex);
                if (!job.error) job.error = std::current_exception();
            }
            job.remaining.fetch_sub(1);
        }
    }

    void ensureWorkers(int n) {
        while (static_cast<int>(workers_.size()) < n) {
            int index = static_cast<int>(workers_.size());
            workers_.emplace_back([this, index] { loop(index); });
        }
    }

    void loop(int index) {
        t_inWorker = true;
        unsigned long long seen = 0;
        for (;;) {
            Job* job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                cv_.wait(lock,
                         [&] { return stop_ || (generation_ != seen && job_ && index < wanted_); });
                if (stop_) return;
                seen = generation_;
                job = job_;
                ++active_;
            }
            work(*job);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                --active_;
            }
            doneCv_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::condition_variable doneCv_;
    std::vector<std::thread> workers_;
    Job* job_ = nullptr;
    int wanted_ = 0;
    int active_ = 0;
    unsigned long long generation_ = 0;
    bool stop_ = false;
};

std::mutex g_runMutex; // one parallel job at a time keeps the pool simple

} // namespace

int threadCount() {
    int n = g_threads.load();
    return n > 0 ? n : defaultThreads();
}

void setThreadCount(int n) {
    g_threads.store(n > 0 ? n : 0);
}

void parallelRows(int count, int minRows, const std::function<void(int, int)>& fn) {
    if (count <= 0) return;
    if (minRows < 1) minRows = 1;
    int threads = threadCount();
    int maxChunks = (count + minRows - 1) / minRows;
    if (threads <= 1 || maxChunks <= 1 || t_inWorker) {
        fn(0, count);
        return;
    }
    std::unique_lock<std::mutex> runLock(g_runMutex, std::try_to_lock);
    if (!runLock.owns_lock()) { // another thread is using the pool: do it here
        fn(0, count);
        return;
    }
    Job job;
    job.fn = &fn;
    job.count = count;
    job.chunks = std::min(maxChunks, threads * 4);
    job.chunk = (count + job.chunks - 1) / job.chunks;
    job.chunks = (count + job.chunk - 1) / job.chunk;
    job.remaining = job.chunks;
    bool wasWorker = t_inWorker;
    t_inWorker = true; // nested calls from fn on this thread run inline
    Pool::instance().run(job, std::min(threads, job.chunks) - 1);
    t_inWorker = wasWorker;
    if (job.error) std::rethrow_exception(job.error);
}

ScopedThreadCount::ScopedThreadCount(int n) : previous_(g_threads.load()) {
    setThreadCount(n);
}
ScopedThreadCount::~ScopedThreadCount() {
    g_threads.store(previous_);
}

} // namespace quillon
