#include "platform/Workers.h"

#include <algorithm>
#include <atomic>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace kz {

namespace {

struct Registry {
    std::mutex mutex;
    std::list<std::thread> threads;
    std::vector<std::thread::id> finished;
    std::atomic<bool> stopping{false};

    // With the mutex held: joins the threads that said they are done.
    void Reap() {
        for (auto it = threads.begin(); it != threads.end();) {
            if (std::find(finished.begin(), finished.end(), it->get_id()) != finished.end()) {
                it->join();
                it = threads.erase(it);
            } else {
                ++it;
            }
        }
        finished.clear();
    }
};

// Never destroyed: a worker may still be finishing when static objects go away in a process
// that ends without StopWorkers.
Registry &Workers() {
    static Registry *registry = new Registry;
    return *registry;
}

} // namespace

bool StartWorker(std::function<void()> work) {
    Registry &r = Workers();
    std::lock_guard lock(r.mutex);
    if (r.stopping)
        return false;
    r.Reap();
    r.threads.emplace_back([&r, work = std::move(work)] {
        work();
        std::lock_guard done(r.mutex);
        r.finished.push_back(std::this_thread::get_id());
    });
    return true;
}

bool WorkersStopping() {
    return Workers().stopping;
}

void StopWorkers() {
    Registry &r = Workers();
    r.stopping = true;
    for (;;) {
        std::list<std::thread> threads;
        {
            std::lock_guard lock(r.mutex);
            threads.swap(r.threads);
            r.finished.clear();
        }
        if (threads.empty())
            return;
        for (std::thread &t : threads)
            t.join();
    }
}

int RunningWorkers() {
    Registry &r = Workers();
    std::lock_guard lock(r.mutex);
    r.Reap();
    return int(r.threads.size());
}

} // namespace kz
