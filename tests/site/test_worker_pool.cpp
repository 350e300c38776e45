// Tasks handed to several worker threads: each only after those it waits for,
// every one exactly once, no more sending at once than the pace lets in, and
// a failing task stops the rest.
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
    site::runOnWorkers(3, config, {}, queue, [&](net::NetService& service, std::size_t task, site::Turn&) {
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
    site::runOnWorkers(2, net::ServiceConfig{}, {}, circle, [&](net::NetService&, std::size_t task, site::Turn&) {
        ran.push_back(task);
    });
    EXPECT_EQ(ran, (std::vector<std::size_t>{0, 1}));

    TaskQueue many(100);
    std::atomic<int> started{0};
    EXPECT_THROW(site::runOnWorkers(4, net::ServiceConfig{}, {}, many,
                                      [&](net::NetService&, std::size_t task, site::Turn&) {
                                          ++started;
                                          if (task == 3)
                                              throw std::runtime_error("service failed");
                                          std::this_thread::sleep_for(std::chrono::milliseconds(2));
                                      }),
                 std::runtime_error);
    EXPECT_LT(started.load(), 100);
}

// Six workers, a pace of two: no more than two tasks send at once, and a task
// that has gone quiet (a controller restarting) leaves its place to the next
// while its worker still waits for it.
TEST(WorkerPool, ThePaceBoundsTheTasksThatSendAndAQuietTaskGivesUpItsPlace) {
    site::ServicePool pool(6, net::ServiceConfig{}, {});
    site::PaceGate pace(site::Pace::fixed(2));
    TaskQueue queue(12);
    std::atomic<int> sending{0}, mostSending{0}, inHand{0}, mostInHand{0};
    site::runOnWorkers(pool, queue, pace, nullptr, [&](net::NetService&, std::size_t, site::Turn& turn) {
        const int hand = ++inHand;
        mostInHand = std::max(mostInHand.load(), hand);
        const int now = ++sending;
        mostSending = std::max(mostSending.load(), now);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        --sending;
        turn.quiet();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));  // restarting
        --inHand;
    });
    EXPECT_LE(mostSending.load(), 2);
    EXPECT_LE(pace.mostAtOnce(), 2);
    EXPECT_GT(mostInHand.load(), 2) << "the quiet tasks kept their places";
    EXPECT_LE(mostInHand.load(), 6);

    // A stop lets no task in that has not started; a task that throws gives its place back.
    site::PaceGate one(site::Pace::fixed(1));
    TaskQueue more(20);
    site::StopFlag stop;
    std::atomic<int> ran{0};
    site::runOnWorkers(pool, more, one, &stop, [&](net::NetService&, std::size_t, site::Turn&) {
        if (++ran == 3)
            stop.request();
    });
    EXPECT_EQ(ran.load(), 3);
    TaskQueue failing(5);
    EXPECT_THROW(site::runOnWorkers(pool, failing, one, nullptr,
                                    [&](net::NetService&, std::size_t, site::Turn&) { throw std::runtime_error("x"); }),
                 std::runtime_error);
    TaskQueue after(3);
    int done = 0;
    site::runOnWorkers(pool, after, one, nullptr, [&](net::NetService&, std::size_t, site::Turn&) { ++done; });
    EXPECT_EQ(done, 3) << "the place of the task that threw was given back";
}
