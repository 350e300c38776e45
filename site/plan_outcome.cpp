#include "site/plan_outcome.h"

#include <QJsonArray>
#include <algorithm>
#include <iomanip>
#include <ostream>

namespace zelmar::site {

namespace {
constexpr Outcome kAll[] = {Outcome::Applied,    Outcome::Skipped, Outcome::Refused, Outcome::NoAnswer,
                            Outcome::Unverified, Outcome::Waiting, Outcome::Parked};

std::string explanation(const RowOutcome& o) {
    const std::string detail = english(o.detail);
    if (o.column.empty())
        return detail;
    return o.column + (detail.empty() ? "" : ": " + detail);
}
}  // namespace

std::string outcomeName(Outcome o) {
    switch (o) {
    case Outcome::Applied: return "applied";
    case Outcome::Skipped: return "skipped";
    case Outcome::Refused: return "refused";
    case Outcome::NoAnswer: return "no answer";
    case Outcome::Unverified: return "unverified";
    case Outcome::Waiting: return "waiting";
    case Outcome::Parked: return "parked";
    }
    return {};
}

std::string progressLine(int done, int total, const RowOutcome& o) {
    const std::string why = explanation(o);
    return std::to_string(done) + "/" + std::to_string(total) + " " + o.serialNo + " " + outcomeName(o.outcome) +
           (why.empty() ? "" : " (" + why + ")");
}

void printOutcomeTable(const std::vector<RowOutcome>& outcomes, std::ostream& out) {
    std::size_t serialWidth = 6;
    for (const RowOutcome& o : outcomes)
        serialWidth = std::max(serialWidth, o.serialNo.size());
    out << std::left << std::setw(6) << "row" << std::setw(int(serialWidth) + 2) << "serial" << std::setw(12)
        << "outcome" << "detail\n";
    for (const RowOutcome& o : outcomes)
        out << std::setw(6) << o.row << std::setw(int(serialWidth) + 2) << o.serialNo << std::setw(12)
            << outcomeName(o.outcome) << explanation(o) << "\n";
    out << std::right;
}

std::string outcomeSummary(const std::vector<RowOutcome>& outcomes) {
    std::string text = std::to_string(outcomes.size()) + (outcomes.size() == 1 ? " row:" : " rows:");
    bool first = true;
    for (Outcome kind : kAll) {
        const auto n = std::count_if(outcomes.begin(), outcomes.end(), [&](const RowOutcome& o) { return o.outcome == kind; });
        text += (first ? " " : ", ") + std::to_string(n) + " " + outcomeName(kind);
        first = false;
    }
    return text;
}

QJsonObject outcomesJson(const std::vector<RowOutcome>& outcomes) {
    QJsonArray rows;
    QJsonObject counts;
    for (Outcome kind : kAll)
        counts[QString::fromStdString(outcomeName(kind))] = 0;
    for (const RowOutcome& o : outcomes) {
        rows.append(QJsonObject{{"row", o.row},
                                {"SerialNo", QString::fromStdString(o.serialNo)},
                                {"outcome", QString::fromStdString(outcomeName(o.outcome))},
                                {"field", QString::fromStdString(o.column)},
                                {"detail", QString::fromStdString(english(o.detail))}});
        const QString key = QString::fromStdString(outcomeName(o.outcome));
        counts[key] = counts[key].toInt() + 1;
    }
    return QJsonObject{{"rows", rows}, {"counts", counts}, {"ok", allDone(outcomes)}};
}

bool allDone(const std::vector<RowOutcome>& outcomes) {
    return std::all_of(outcomes.begin(), outcomes.end(), [](const RowOutcome& o) {
        return o.outcome == Outcome::Applied || o.outcome == Outcome::Skipped;
    });
}

}  // namespace zelmar::site
