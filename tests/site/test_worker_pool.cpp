// Tasks handed to several worker threads: each only after those it waits for,
// every one exactly once, and a failing task stops the rest.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "platform/netservice/net_service.h"
#include "site/worker_pool.h"

using namespace zelmar;
using site::TaskQueue;

TEST(WorkerPool, TasksRunOnceEachAfterThoseTheyWaitForAndNoMoreAtOnceThanJobs) {
    // A chain 0 <- 1 <- 2, task 5 waits for 3 and 4, the others are free.
    TaskQueue queue({{}, {0}, {1}, {}, {}, {3, 4}, {}, {}});
    std::mutex m;
    std::vector<int> finishedAt(8, -1);
    int order = 0;
    std::atomic<int> running{0}, most{0};
    net::ServiceConfig config;  // loopback only, no targets: nothing is sent
    std::set<const net::NetService*> services;
    site::runOnWorkers(3, config, "", queue, [&](net::NetService& service, std::size_t task) {
        const int now = ++running;
        most = std::max(most.load(), now);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        --running;
        std::lock_guard hold(m);
        services.insert(&service);
        EXPECT_EQ(finishedAt[task], -1) << "task " << task << " twice";
        finishedAt[task] = order++;
    });
    for (int t = 0; t < 8; ++t)
        EXPECT_GE(finishedAt[std::size_t(t)], 0) << "task " << t << " never ran";
    EXPECT_LT(finishedAt[0], finishedAt[1]);
    EXPECT_LT(finishedAt[1], finishedAt[2]);
    EXPECT_LT(finishedAt[3], finishedAt[5]);
    EXPECT_LT(finishedAt[4], finishedAt[5]);
    EXPECT_LE(most.load(), 3);
    EXPECT_GE(services.size(), 2u) << "each worker has a service object of its own";
}

TEST(WorkerPool, WaitsInACircleDoNotHangAndAFailureStopsTheQueue) {
    TaskQueue circle({{1}, {0}});
    std::vector<std::size_t> ran;
    site::runOnWorkers(2, net::ServiceConfig{}, "", circle, [&](net::NetService&, std::size_t task) {
        ran.push_back(task);
    });
    EXPECT_EQ(ran, (std::vector<std::size_t>{0, 1}));

    TaskQueue many(100);
    std::atomic<int> started{0};
    EXPECT_THROW(site::runOnWorkers(4, net::ServiceConfig{}, "", many,
                                      [&](net::NetService&, std::size_t task) {
                                          ++started;
                                          if (task == 3)
                                              throw std::runtime_error("service failed");
                                          std::this_thread::sleep_for(std::chrono::milliseconds(2));
                                      }),
                 std::runtime_error);
    EXPECT_LT(started.load(), 100);
}
