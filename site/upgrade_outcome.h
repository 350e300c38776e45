#pragma once
// How each controller's port OS upgrade ended, as the technician reads it
// after a whole-site upgrade: a table with a summary line, or JSON lines.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "site/phrase.h"

namespace zelmar::site {

enum class UpgradeResult {
    Upgraded,    // verified: it reports the file's revision after its restart
    Downgraded,  // as Upgraded, to an older revision than it ran: asked for, and done
    Current,     // it already ran the file's revision: nothing sent
    Newer,       // it runs a newer revision than its file, and no downgrade was asked for: nothing sent
    NoFile,    // no file among FILE... is for its port OS type: nothing sent
    Refused,   // it took nothing: another type, a damaged image, the network password
    Failed,    // the transfer did not complete: the old revision still runs
    Unknown,   // the switch was asked for and no answer came after the announced restart
    NotFound,  // it did not answer the search: nothing sent
};

struct ControllerUpgrade {
    std::string serialNo;
    std::int16_t portOsType = 0;
    std::string revisionBefore;  // as found
    std::string revisionAfter;   // as last reported (before, when it did not answer again)
    UpgradeResult result = UpgradeResult::Unknown;
    Phrase detail;
    bool foundLate = false;  // found only by a search after the run (with --all)
};

// The detail as zelmar-netctl prints it, "found only by a search after the run" added where it was.
std::string detailText(const ControllerUpgrade& upgrade);

std::string resultName(UpgradeResult result);
// True for the results that need nothing more: upgraded, downgraded, current, or newer than the file.
bool upgradeDone(UpgradeResult result);

// "7/30 10-00007 upgraded (2.11 -> 3.2.0)"
std::string upgradeLine(int done, int total, const ControllerUpgrade& upgrade);
void printUpgradeTable(const std::vector<ControllerUpgrade>& upgrades, std::ostream& out);
// "30 controllers: 20 upgraded, 2 current, 3 no file, 2 refused, 1 failed, 0 unknown, 2 not found",
// with the downgraded and the newer ones when there are any"
std::string upgradeSummary(const std::vector<ControllerUpgrade>& upgrades);
// One JSON object a line.
void printUpgradeJsonLines(const std::vector<ControllerUpgrade>& upgrades, std::ostream& out);

}  // namespace zelmar::site
