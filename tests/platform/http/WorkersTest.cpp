// The worker threads of the application's end: a program of its own, since stopping the
// workers is for good.

#include "platform/Workers.h"
#include "platform/http/HttpClient.h"

#include "support/TestHttpServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace kz;

// Workers blocked in HTTP waits (headers that never come, a body that stalls, each with
// minute-long time-outs) end when the workers are stopped, and every one is joined, also one a
// worker started; after that nothing more runs.
TEST(Workers, StoppingEndsTransfersAndJoinsEveryWorker) {
    ASSERT_TRUE(test::SharedServer().Running());
    const QUrl headers = test::SharedServer().Url("/stall-headers");
    const QUrl body = test::SharedServer().Url("/stall-body/2000");
    HttpOptions slow;
    slow.connectTimeoutMs = 120000;
    slow.readTimeoutMs = 120000;
    std::atomic<int> waiting{0}, ended{0}, failed{0};

    // Finished workers are joined as new ones start.
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(StartWorker([] {}));
    EXPECT_TRUE(test::PumpUntil([] { return RunningWorkers() == 0; }, 5000));

    ASSERT_TRUE(StartWorker([&] {
        auto session = CreateHttpSession(slow);
        ++waiting;
        if (!session->Open(headers))
            ++failed;
        ++ended;
    }));
    ASSERT_TRUE(StartWorker([&] {
        auto session = CreateHttpSession(slow);
        auto connection = session->Open(body);
        char buf[4096];
        ++waiting;
        std::int64_t n = 1;
        while (connection && n > 0)
            n = connection->Read(buf, sizeof buf);
        if (n < 0)
            ++failed;
        ++ended;
    }));
    ASSERT_TRUE(StartWorker([&] {
        StartWorker([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ++ended;
        });
        ++ended;
    }));
    ASSERT_TRUE(test::PumpUntil([&] { return waiting == 2; }, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // inside their waits
    EXPECT_GE(RunningWorkers(), 2);
    EXPECT_FALSE(WorkersStopping());

    StopWorkers();
    EXPECT_TRUE(WorkersStopping());
    EXPECT_EQ(ended, 4);
    EXPECT_EQ(failed, 2);
    EXPECT_EQ(RunningWorkers(), 0);
    bool ran = false;
    EXPECT_FALSE(StartWorker([&] { ran = true; }));
    StopWorkers(); // again: nothing to do
    EXPECT_FALSE(ran);
    // A session made now fails at once rather than wait.
    EXPECT_TRUE(CreateHttpSession(slow)->Cancelled());
    EXPECT_FALSE(CreateHttpSession(slow)->Open(test::SharedServer().Url("/bytes/10")));
}
