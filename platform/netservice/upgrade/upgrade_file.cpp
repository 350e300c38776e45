#include "platform/netservice/upgrade/upgrade_file.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstring>
#include <new>
#include <sodium.h>
#include <stdexcept>

#include "platform/netservice/wire/wire.h"

namespace zelmar::net {

namespace {

// Header layout (big-endian); docs/upgrade-file.md.
constexpr std::size_t kOffVersion = 8;
constexpr std::size_t kOffPortOsType = 10;
constexpr std::size_t kOffHashAlgorithm = 12;
constexpr std::size_t kOffRevisionLength = 13;
constexpr std::size_t kOffReserved = 14;
constexpr std::size_t kOffImageLength = 16;
constexpr std::size_t kOffRevision = 20;
constexpr std::size_t kOffImageHash = 52;
constexpr std::size_t kOffHeaderHash = 84;
static_assert(kOffHeaderHash + 32 == UpgradeFile::kHeaderSize);

std::uint16_t be16(const std::uint8_t* p) { return std::uint16_t((p[0] << 8) | p[1]); }
std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

ImageHash hashBytes(const std::uint8_t* data, std::size_t size) {
    ImageHash h{};
    crypto_generichash(h.data(), h.size(), data, size, nullptr, 0);
    return h;
}

}  // namespace

ImageHash hashImage(const std::uint8_t* data, std::size_t size) { return hashBytes(data, size); }

void UpgradeFile::reset() {
    valid_ = false;
    revision_.clear();
    portOsType_ = 0;
    image_.clear();
    image_.shrink_to_fit();
    hash_ = {};
    problem_.clear();
}

bool UpgradeFile::fail(std::string why) {
    reset();
    problem_ = std::move(why);
    return false;
}

bool UpgradeFile::Load(const std::string& path) {
    reset();
    try {
        QFile f(QString::fromStdString(path));
        if (!f.open(QIODevice::ReadOnly))
            return fail("cannot open the file");
        // The size decides how much is read, never the length the header claims.
        const qint64 size = f.size();
        if (size < qint64(kHeaderSize))
            return fail("shorter than the header");
        if (size > qint64(kHeaderSize) + qint64(kMaxImageBytes))
            return fail("larger than the largest image a controller takes");
        std::vector<std::uint8_t> bytes(std::size_t(size) + 1);
        // One byte more than the size is asked for, so a file that grows while it is read is noticed.
        const qint64 n = f.read(reinterpret_cast<char*>(bytes.data()), qint64(bytes.size()));
        if (n != size)
            return fail("the file changed while it was read");
        if (!LoadBytes(bytes.data(), std::size_t(size)))
            return false;
        if (!NameFitsType(path, portOsType_))
            return fail("the file is named for another port type than the " + std::to_string(portOsType_) +
                        " its image is for");
        return true;
    } catch (const std::bad_alloc&) {
        return fail("not enough memory to read the file");
    } catch (const std::exception& e) {
        return fail(std::string("cannot read the file: ") + e.what());
    }
}

bool UpgradeFile::LoadBytes(const std::uint8_t* data, std::size_t size) {
    reset();
    if (sodium_init() < 0)
        return fail("the hash library cannot start");
    if (size < kHeaderSize)
        return fail("shorter than the header");
    if (std::memcmp(data, kMagic, sizeof kMagic) != 0)
        return fail("not a TCP/IP Port OS upgrade file (magic)");
    if (be16(data + kOffVersion) != kFormatVersion)
        return fail("unknown format version " + std::to_string(be16(data + kOffVersion)));
    if (data[kOffHashAlgorithm] != kHashBlake2b256)
        return fail("unknown hash algorithm");
    if (be16(data + kOffReserved) != 0)
        return fail("reserved header bytes are set");
    const std::size_t revisionLength = data[kOffRevisionLength];
    if (revisionLength == 0 || revisionLength > kMaxRevisionBytes)
        return fail("revision length out of range");
    const char* revisionText = reinterpret_cast<const char*>(data + kOffRevision);
    for (std::size_t i = revisionLength; i < kMaxRevisionBytes; ++i)
        if (revisionText[i] != 0)
            return fail("bytes after the revision text are set");
    const std::string revision(revisionText, revisionLength);
    if (!wire::isCleanUtf8(revision))
        return fail("the revision is not clean UTF-8");
    const std::uint32_t imageLength = be32(data + kOffImageLength);
    if (imageLength == 0 || imageLength > kMaxImageBytes)
        return fail("image length out of range");
    if (size != kHeaderSize + imageLength)
        return fail(size < kHeaderSize + imageLength ? "truncated: the image is shorter than the header says"
                                                     : "bytes after the image");
    const ImageHash headerHash = hashBytes(data, kOffHeaderHash);
    if (std::memcmp(headerHash.data(), data + kOffHeaderHash, headerHash.size()) != 0)
        return fail("the header is damaged (header hash)");
    const ImageHash imageHash = hashBytes(data + kHeaderSize, imageLength);
    if (std::memcmp(imageHash.data(), data + kOffImageHash, imageHash.size()) != 0)
        return fail("the image is damaged (image hash)");

    try {
        image_.assign(data + kHeaderSize, data + size);
    } catch (const std::bad_alloc&) {
        return fail("not enough memory for the image");
    }
    revision_ = revision;
    portOsType_ = std::int16_t(be16(data + kOffPortOsType));
    hash_ = imageHash;
    valid_ = true;
    return true;
}

bool UpgradeFile::NameFitsType(const std::string& path, std::int16_t type) {
    static const QRegularExpression name(QStringLiteral("^(-?[0-9]{1,10})\\.TcpIpPortOS$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto match = name.match(QFileInfo(QString::fromStdString(path)).fileName());
    if (!match.hasMatch())
        return true;  // not named by a port type: nothing to compare
    bool ok = false;
    const long long named = match.captured(1).toLongLong(&ok);
    return ok && named == type;
}

std::vector<std::uint8_t> UpgradeFile::Build(std::int16_t portOsType, const std::string& revision,
                                             const std::vector<std::uint8_t>& image) {
    if (revision.empty() || revision.size() > kMaxRevisionBytes || !wire::isCleanUtf8(revision))
        throw std::invalid_argument("the revision must be 1 to 32 bytes of UTF-8 without control characters");
    if (image.empty() || image.size() > kMaxImageBytes)
        throw std::invalid_argument("the image must be 1 byte to 64 MiB");
    if (sodium_init() < 0)
        throw std::runtime_error("the hash library cannot start");
    std::vector<std::uint8_t> out(kHeaderSize, 0);
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    out[kOffVersion] = std::uint8_t(kFormatVersion >> 8);
    out[kOffVersion + 1] = std::uint8_t(kFormatVersion);
    out[kOffPortOsType] = std::uint8_t(std::uint16_t(portOsType) >> 8);
    out[kOffPortOsType + 1] = std::uint8_t(std::uint16_t(portOsType));
    out[kOffHashAlgorithm] = kHashBlake2b256;
    out[kOffRevisionLength] = std::uint8_t(revision.size());
    const auto length = std::uint32_t(image.size());
    for (int i = 0; i < 4; ++i)
        out[kOffImageLength + std::size_t(i)] = std::uint8_t(length >> (24 - 8 * i));
    std::memcpy(out.data() + kOffRevision, revision.data(), revision.size());
    const ImageHash imageHash = hashBytes(image.data(), image.size());
    std::memcpy(out.data() + kOffImageHash, imageHash.data(), imageHash.size());
    const ImageHash headerHash = hashBytes(out.data(), kOffHeaderHash);
    std::memcpy(out.data() + kOffHeaderHash, headerHash.data(), headerHash.size());
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

}  // namespace zelmar::net
