#pragma once
// Working on many controllers at once. A service object belongs to one thread
// at a time (its socket, records and transactions are not shared), so each
// worker thread has a service object of its own, made from the same
// configuration and network password, and takes tasks from one queue. A task
// may have to wait for others to finish first. How many tasks send at once
// is the pace's (pace_gate.h).
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/netservice/config/service_config.h"
#include "site/pace_gate.h"
#include "site/stop_flag.h"

namespace zelmar::net {
class NetService;
}

namespace zelmar::site {

class TaskQueue {
public:
    explicit TaskQueue(std::size_t count);  // no task waits for another
    // Task i starts only once every task of waitsFor[i] has finished.
    explicit TaskQueue(std::vector<std::vector<std::size_t>> waitsFor);
    std::size_t size() const { return dependents_.size(); }

    // The lowest-numbered task that may start; waits while none may and others run.
    // Nothing once every task is handed out, or after stop(). Should the waits
    // ever form a circle, the lowest waiting task goes anyway rather than hang.
    std::optional<std::size_t> take();
    void finished(std::size_t task);
    void stop();  // hands out nothing more

private:
    std::mutex m_;
    std::condition_variable changed_;
    std::vector<std::vector<std::size_t>> dependents_;  // the tasks that wait for each
    std::vector<std::size_t> unfinishedBefore_;         // how many tasks each still waits for
    std::set<std::size_t> ready_, waiting_;
    std::size_t running_ = 0;
    bool stopped_ = false;
};

// One service object for each worker, with the network passwords set. A run
// of the workers hands each its own; between runs they keep what they learnt.
class ServicePool {
public:
    ServicePool(int jobs, const net::ServiceConfig& config, const std::vector<std::string>& passwords);
    ~ServicePool();
    // Each service object takes on the controllers `found` knows, so that no worker searches again.
    void learnFrom(const net::NetService& found);
    int size() const { return int(services_.size()); }
    net::NetService& at(int worker) { return *services_.at(std::size_t(worker)); }

private:
    std::vector<std::unique_ptr<net::NetService>> services_;
};

// Runs `work` for every task of `queue` on one thread for each service object
// of `pool` (no more threads than tasks), each task once `pace` lets it in;
// the task tells its turn how it went. The first exception a task throws
// stops the queue; it is thrown again here once every thread has ended. Once
// `stop` is requested no task starts; those running finish.
using ServiceWork = std::function<void(net::NetService& service, std::size_t task, Turn& turn)>;
void runOnWorkers(ServicePool& pool, TaskQueue& queue, PaceGate& pace, const StopFlag* stop, const ServiceWork& work);
// The same with `jobs` service objects of their own for this run, `jobs` at a time.
void runOnWorkers(int jobs, const net::ServiceConfig& config, const std::vector<std::string>& passwords, TaskQueue& queue,
                  const ServiceWork& work);

}  // namespace zelmar::site
