#pragma once
// Threads that do blocking work beside the window: downloads, header probes, short waits. They
// never outlive the application object: StopWorkers(), at the end of main, asks every one to
// end (HTTP transfers end at once, see HttpClient) and joins them.

#include <functional>

namespace kz {

// Runs the work on a thread of its own. Once StopWorkers has begun the work is not run; false
// then.
bool StartWorker(std::function<void()> work);
// True once StopWorkers has begun: long work checks it between its steps.
bool WorkersStopping();
// Asks every worker to end and waits until they all have. Workers started by workers are
// joined too. Later calls of StartWorker run nothing.
void StopWorkers();
// Joins the workers that have finished and returns how many still run.
int RunningWorkers();

// At the end of its scope: StopWorkers(). Declared right after the application object, so the
// workers are joined before it goes away.
struct WorkersScope {
    WorkersScope() = default;
    WorkersScope(const WorkersScope &) = delete;
    WorkersScope &operator=(const WorkersScope &) = delete;
    ~WorkersScope() { StopWorkers(); }
};

} // namespace kz
