#pragma once
// The upgrade files of a whole-site upgrade: which command-line arguments
// name files, and the files read and checked as the tool's Upgrade checks
// one, at most one for each port OS type.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/netservice/upgrade/upgrade_file.h"
#include "site/phrase.h"

namespace zelmar::site {

// An argument names an upgrade file when such a file exists or its name ends
// in ".TcpIpPortOS" (any case); every other argument is a serial number.
bool namesUpgradeFile(const std::string& argument);
// An argument that names an existing folder.
bool namesFolder(const std::string& argument);
// An argument that is no serial number but looks like a file's name: it holds a
// folder separator or ends in a file-name extension (a misspelt upgrade file).
bool looksLikeAFile(const std::string& argument);

struct UpgradeFiles {
    struct File {
        std::string path;
        std::shared_ptr<const net::UpgradeFile> contents;
    };
    std::map<std::int16_t, File> byType;
    const File* forType(std::int16_t type) const;
};

// Reads every path. The problem of the first file that cannot be used (naming
// it), or of two files for one port OS type; empty when all are good.
Phrase loadUpgradeFiles(const std::vector<std::string>& paths, UpgradeFiles& files);

}  // namespace zelmar::site
