#pragma once
// A TCP/IP Port OS upgrade file (format in docs/upgrade-file.md): a fixed
// header (magic, format version, port OS type, revision, image length, the
// BLAKE2b-256 hash of the image and of the header) followed by the image.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelmar::net {

using ImageHash = std::array<std::uint8_t, 32>;

// BLAKE2b-256 of an image (libsodium crypto_generichash, no key): the hash an
// upgrade file carries and a controller checks before it switches.
ImageHash hashImage(const std::uint8_t* data, std::size_t size);

class UpgradeFile {
public:
    static constexpr std::size_t kHeaderSize = 116;
    static constexpr std::uint16_t kFormatVersion = 1;
    static constexpr std::uint8_t kHashBlake2b256 = 1;
    static constexpr std::size_t kMaxRevisionBytes = 32;           // what a controller reports (PortOsRevision)
    static constexpr std::uint32_t kMaxImageBytes = 64u << 20;     // larger images are refused unread
    static constexpr std::uint8_t kMagic[8] = {0x89, 'Z', 'P', 'O', 'S', '\r', '\n', 0x1A};

    // Reads and checks the file; returns IsValid(). Never throws: a missing,
    // unreadable, truncated, oversized or damaged file only leaves it invalid.
    // A file named as the tool looks for it, "<type>.TcpIpPortOS", must hold an
    // image for that port type: one put under another type's name is invalid.
    bool Load(const std::string& path);
    // The same checks on the bytes of a file already in memory.
    bool LoadBytes(const std::uint8_t* data, std::size_t size);

    // True only after a Load of a complete, undamaged file of this format.
    // It does not know the controller; the controller checks the port type
    // again and refuses a foreign image before any block travels.
    bool IsValid() const { return valid_; }
    std::string Revision() const { return revision_; }
    std::int16_t PortOsType() const { return portOsType_; }
    const std::vector<std::uint8_t>& Image() const { return image_; }
    const ImageHash& Hash() const { return hash_; }
    // Why the last Load refused the file (empty when valid); for tools and logs.
    const std::string& Problem() const { return problem_; }

    // False when the file name has the form "<number>.TcpIpPortOS" and the number is not `type`.
    static bool NameFitsType(const std::string& path, std::int16_t type);

    // The bytes of an upgrade file for this image, port type and revision.
    // Throws std::invalid_argument when the revision is empty, longer than 32
    // bytes or not clean UTF-8, or the image is empty or over kMaxImageBytes.
    static std::vector<std::uint8_t> Build(std::int16_t portOsType, const std::string& revision,
                                           const std::vector<std::uint8_t>& image);

private:
    void reset();
    bool fail(std::string why);

    bool valid_ = false;
    std::string revision_;
    std::int16_t portOsType_ = 0;
    std::vector<std::uint8_t> image_;
    ImageHash hash_{};
    std::string problem_;
};

}  // namespace zelmar::net
