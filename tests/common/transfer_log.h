#pragma once
// The port OS transfers a simulated fleet logged, for tests that count how
// many ran at once and whether one controller ever had two.
#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace zelmar::testing {

// Each transfer the simulator logged: its controller and when it started and
// ended, as positions in the log (the order in which the fleet took the
// datagrams, exact also within one millisecond).
struct Transfer {
    std::string controller;
    std::size_t start = 0, end = std::size_t(-1);
};
inline std::vector<Transfer> transfersIn(const std::vector<std::string>& log) {
    static const QRegularExpression line(
        R"(^\+[0-9.]+ (\S+) <- \S+ .*(UpgradeStart transfer=(\d+) accepted|UpgradeCommit transfer=(\d+) (switched|refused)|UpgradeAbort transfer=(\d+)))");
    std::map<QString, Transfer> byId;
    for (std::size_t t = 0; t < log.size(); ++t) {
        const auto m = line.match(QString::fromStdString(log[t]));
        if (!m.hasMatch())
            continue;
        if (!m.captured(3).isEmpty())
            byId[m.captured(3)] = {m.captured(1).toStdString(), t};
        const QString ended = m.captured(4).isEmpty() ? m.captured(6) : m.captured(4);
        if (!ended.isEmpty() && byId.count(ended) && byId[ended].end > t)
            byId[ended].end = t;
    }
    std::vector<Transfer> out;
    for (const auto& [id, t] : byId)
        out.push_back(t);
    return out;
}

// The most transfers under way at one moment.
inline int mostAtOnce(const std::vector<Transfer>& transfers) {
    int most = 0;
    for (const Transfer& a : transfers) {
        const int during = int(std::count_if(transfers.begin(), transfers.end(),
                                             [&](const Transfer& b) { return b.start <= a.start && a.start < b.end; }));
        most = std::max(most, during);
    }
    return most;
}

}  // namespace zelmar::testing
