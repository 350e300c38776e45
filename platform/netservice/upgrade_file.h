#pragma once
// A TCP/IP Port OS upgrade file (format in docs/upgrade-file.md).
#include <cstdint>
#include <string>
#include <vector>

namespace zelmar::net {

class UpgradeFile {
public:
    // Reads and checks the file; returns IsValid().
    bool Load(const std::string& path);
    bool IsValid() const { return valid_; }
    std::string Revision() const { return revision_; }
    std::int16_t PortOsType() const { return portOsType_; }
    const std::vector<std::uint8_t>& Image() const { return image_; }

private:
    bool valid_ = false;
    std::string revision_;
    std::int16_t portOsType_ = 0;
    std::vector<std::uint8_t> image_;
};

}  // namespace zelmar::net
