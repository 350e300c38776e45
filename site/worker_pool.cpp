#include "site/worker_pool.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "platform/netservice/net_service.h"

namespace zelmar::site {

TaskQueue::TaskQueue(std::size_t count) : TaskQueue(std::vector<std::vector<std::size_t>>(count)) {}

TaskQueue::TaskQueue(std::vector<std::vector<std::size_t>> waitsFor)
    : dependents_(waitsFor.size()), unfinishedBefore_(waitsFor.size(), 0) {
    for (std::size_t task = 0; task < waitsFor.size(); ++task) {
        for (std::size_t before : waitsFor[task]) {
            if (before >= waitsFor.size() || before == task)
                continue;
            dependents_[before].push_back(task);
            ++unfinishedBefore_[task];
        }
        (unfinishedBefore_[task] == 0 ? ready_ : waiting_).insert(task);
    }
}

std::optional<std::size_t> TaskQueue::take() {
    std::unique_lock lock(m_);
    changed_.wait(lock, [&] { return stopped_ || !ready_.empty() || waiting_.empty() || running_ == 0; });
    if (stopped_ || (ready_.empty() && waiting_.empty()))
        return std::nullopt;
    std::set<std::size_t>& from = ready_.empty() ? waiting_ : ready_;  // waiting only if nothing runs: a circle
    const std::size_t task = *from.begin();
    from.erase(from.begin());
    ++running_;
    return task;
}

void TaskQueue::finished(std::size_t task) {
    {
        std::lock_guard lock(m_);
        --running_;
        for (std::size_t next : dependents_[task])
            if (unfinishedBefore_[next] > 0 && --unfinishedBefore_[next] == 0 && waiting_.erase(next) == 1)
                ready_.insert(next);
    }
    changed_.notify_all();
}

void TaskQueue::stop() {
    {
        std::lock_guard lock(m_);
        stopped_ = true;
    }
    changed_.notify_all();
}

ServicePool::ServicePool(int jobs, const net::ServiceConfig& config, const std::vector<std::string>& passwords) {
    for (int i = 0; i < std::max(jobs, 1); ++i) {
        services_.push_back(std::make_unique<net::NetService>(config));
        services_.back()->setPasswords(passwords);
    }
}

ServicePool::~ServicePool() = default;

void ServicePool::learnFrom(const net::NetService& found) {
    for (auto& service : services_)
        service->LearnControllers(found);
}

void runOnWorkers(int jobs, const net::ServiceConfig& config, const std::vector<std::string>& passwords,
                  TaskQueue& queue, const ServiceWork& work) {
    ServicePool pool(jobs, config, passwords);
    PaceGate pace(Pace::fixed(jobs));
    runOnWorkers(pool, queue, pace, nullptr, work);
}

void runOnWorkers(ServicePool& pool, TaskQueue& queue, PaceGate& pace, const StopFlag* stop, const ServiceWork& work) {
    std::mutex failureLock;
    std::exception_ptr failure;
    auto worker = [&](net::NetService& service) {
        try {
            for (;;) {
                // The place first, then the task: the tasks still start in queue order.
                pace.enter();
                const auto task = queue.take();
                if (!task || (stop && stop->requested())) {
                    if (task)
                        queue.stop();
                    pace.leave();
                    return;
                }
                {
                    Turn turn(pace);
                    work(service, *task, turn);
                }
                queue.finished(*task);
            }
        } catch (...) {
            std::lock_guard lock(failureLock);
            if (!failure)
                failure = std::current_exception();
            queue.stop();
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < pool.size() && std::size_t(i) < queue.size(); ++i)
        threads.emplace_back(worker, std::ref(pool.at(i)));
    for (std::thread& t : threads)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
}

}  // namespace zelmar::site
