#pragma once
// Files the programs write (the simulator's fleet and state files, client
// configurations, upgrade files) are replaced whole or not at all.
#include <string>

namespace zelmar::net {

// Replaces `path` by `contents` so that a crash at any moment leaves either the
// old or the new file: a temporary file beside it is flushed to the disk and
// renamed over the old one, then the folder is flushed. On failure `error` says
// what failed and why, and the old file is untouched.
bool replaceFileDurably(const std::string& path, const std::string& contents, std::string* error = nullptr);

}  // namespace zelmar::net
