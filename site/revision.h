#pragma once
// Port OS revisions compared as the technician reads them: dotted numbers,
// each part a number ("2.12" is newer than "2.9", "3.0.4" newer than "2.12",
// "3.0" the same as "3.0.0"). A revision that is not a dotted number compares
// only as the same text or a different one.
#include <string>

namespace zelmar::site {

enum class RevisionOrder {
    Older,      // the first is older than the second
    Same,
    Newer,      // the first is newer than the second
    Different,  // not both dotted numbers, and not the same text
};

RevisionOrder compareRevisions(const std::string& first, const std::string& second);

}  // namespace zelmar::site
