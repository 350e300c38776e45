#pragma once
// How each row of a plan ended, as the technician reads it after an apply:
// a table, a summary line, and the same as JSON.
#include <iosfwd>
#include <string>
#include <vector>

#include <QJsonObject>

#include "site/phrase.h"

namespace zelmar::site {

enum class Outcome {
    Applied,     // the controller confirmed the setup and reads back as planned
    Skipped,     // it was as planned already: nothing sent
    Refused,     // it took nothing (its answer, or its network check, names the field)
    NoAnswer,    // no verdict: the controller may or may not have taken the settings
    Unverified,  // confirmed, but it did not read back as planned (or did not answer the read-back)
    Waiting,     // its new address is still held by a controller whose move was not verified: nothing sent
    Parked,      // it waits on its parking address while the others of its cycle move: apply again to finish
};

struct RowOutcome {
    int row = 0;
    std::string serialNo;
    Outcome outcome = Outcome::NoAnswer;
    std::string column;  // the field refused or at odds, where known
    Phrase detail;
    bool setupSent = false;  // its setup went out: the controller may have taken it, whatever the outcome
};

std::string outcomeName(Outcome outcome);
// "12/140 10-00012 applied" with the field and detail where there are any.
std::string progressLine(int done, int total, const RowOutcome& outcome);
void printOutcomeTable(const std::vector<RowOutcome>& outcomes, std::ostream& out);
// "140 rows: 120 applied, 18 skipped, 1 refused, 1 no answer, 0 unverified, 0 waiting"
std::string outcomeSummary(const std::vector<RowOutcome>& outcomes);
QJsonObject outcomesJson(const std::vector<RowOutcome>& outcomes);
// True when every row ended applied or skipped.
bool allDone(const std::vector<RowOutcome>& outcomes);

}  // namespace zelmar::site
