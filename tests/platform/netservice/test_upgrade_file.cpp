// The upgrade file: what is valid, and that nothing else is.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <functional>

#include "platform/netservice/upgrade/upgrade_file.h"
#include "tests/platform/netservice/upgrade_helpers.h"

using zelmar::net::ImageHash;
using zelmar::net::UpgradeFile;
using zelmar::testing::randomImage;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Header offsets of docs/upgrade-file.md.
constexpr std::size_t kVersion = 8, kType = 10, kAlgorithm = 12, kRevisionLength = 13, kReserved = 14,
                      kLength = 16, kRevision = 20, kImageHash = 52, kHeaderHash = 84;

Bytes validFile(std::size_t imageSize = 5000, const std::string& revision = "3.2.0", std::int16_t type = 3) {
    return UpgradeFile::Build(type, revision, randomImage(imageSize, 11));
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + std::size_t(i)] = std::uint8_t(v >> (24 - 8 * i));
}

// After a header edit: a fresh header hash, so that only the edited field can make the file invalid.
void rehashHeader(Bytes& b) {
    const ImageHash h = zelmar::net::hashImage(b.data(), kHeaderHash);
    std::memcpy(b.data() + kHeaderHash, h.data(), h.size());
}

bool valid(const Bytes& b) {
    UpgradeFile f;
    const bool loaded = f.LoadBytes(b.data(), b.size());
    EXPECT_EQ(loaded, f.IsValid());
    if (!f.IsValid()) {
        EXPECT_FALSE(f.Problem().empty());
        EXPECT_TRUE(f.Image().empty());
        EXPECT_TRUE(f.Revision().empty());
    }
    return f.IsValid();
}

Bytes edited(Bytes b, const std::function<void(Bytes&)>& change, bool rehash = true) {
    change(b);
    if (rehash)
        rehashHeader(b);
    return b;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const Bytes& bytes) {
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    return path;
}

}  // namespace

TEST(UpgradeFileFormat, ABuiltFileLoadsWithItsTypeRevisionImageAndHash) {
    const Bytes image = randomImage(70001, 3);
    const Bytes bytes = UpgradeFile::Build(-12, "3.2.0-ä", image);
    ASSERT_EQ(bytes.size(), UpgradeFile::kHeaderSize + image.size());
    UpgradeFile f;
    ASSERT_TRUE(f.LoadBytes(bytes.data(), bytes.size())) << f.Problem();
    EXPECT_TRUE(f.IsValid());
    EXPECT_EQ(f.PortOsType(), -12);
    EXPECT_EQ(f.Revision(), "3.2.0-ä");
    EXPECT_EQ(f.Image(), image);
    EXPECT_EQ(f.Hash(), zelmar::net::hashImage(image.data(), image.size()));
    EXPECT_TRUE(f.Problem().empty());
    // The layout is fixed: magic, version 1, type, BLAKE2b, revision length, image length.
    EXPECT_EQ(0, std::memcmp(bytes.data(), UpgradeFile::kMagic, 8));
    EXPECT_EQ(bytes[kVersion + 1], 1);
    EXPECT_EQ(bytes[kType], 0xFF);
    EXPECT_EQ(bytes[kType + 1], 0xF4);
    EXPECT_EQ(bytes[kAlgorithm], 1);
    EXPECT_EQ(bytes[kRevisionLength], std::string("3.2.0-ä").size());
    EXPECT_EQ(bytes[kLength + 1], 0x01);  // 70001 = 0x00011171
    EXPECT_EQ(bytes[kLength + 3], 0x71);
}

TEST(UpgradeFileFormat, TruncatedOrLongerFilesAreInvalid) {
    const Bytes good = validFile(5000);
    ASSERT_TRUE(valid(good));
    for (std::size_t size : {std::size_t(0), std::size_t(7), std::size_t(60), UpgradeFile::kHeaderSize - 1,
                             UpgradeFile::kHeaderSize, good.size() - 1000, good.size() - 1})
        EXPECT_FALSE(valid(Bytes(good.begin(), good.begin() + std::ptrdiff_t(size)))) << size;
    Bytes trailing = good;
    trailing.push_back(0);
    EXPECT_FALSE(valid(trailing));
    Bytes twice = good;
    twice.insert(twice.end(), good.begin(), good.end());
    EXPECT_FALSE(valid(twice));
}

TEST(UpgradeFileFormat, DamageAnywhereIsFound) {
    const Bytes good = validFile(5000);
    // One flipped bit in the image, in its hash, in the header hash, in the revision (header not re-hashed).
    for (std::size_t at : {UpgradeFile::kHeaderSize, UpgradeFile::kHeaderSize + 2500, good.size() - 1, kImageHash,
                           kImageHash + 31, kHeaderHash, kHeaderHash + 31, kRevision, kType, kLength + 3})
        EXPECT_FALSE(valid(edited(good, [at](Bytes& b) { b[at] ^= 0x10; }, false))) << at;
}

TEST(UpgradeFileFormat, HeaderFieldsOutsideTheFormatAreInvalidEvenWithAGoodHeaderHash) {
    const Bytes good = validFile(5000);
    EXPECT_TRUE(valid(edited(good, [](Bytes&) {})));  // re-hashing alone changes nothing
    EXPECT_FALSE(valid(edited(good, [](Bytes& b) { b[0] = 'Z'; })));                    // magic
    EXPECT_FALSE(valid(edited(good, [](Bytes& b) { b[5] = '\n'; })));                   // a line-end conversion
    EXPECT_FALSE(valid(edited(good, [](Bytes& b) { b[kVersion + 1] = 2; })));           // a later format
    EXPECT_FALSE(valid(edited(good, [](Bytes& b) { b[kVersion] = 1; })));
    EXPECT_FALSE(valid(edited(good, [](Bytes& b) { b[kAlgorithm] = 2; })));             // unknown hash
    EXPECT_FALSE(valid(edited(good, [](Bytes& b) { b[kReserved + 1] = 1; })));
    EXPECT_FALSE(valid(edited(good, [](Bytes& b) { b[kRevisionLength] = 0; })));
    EXPECT_FALSE(valid(edited(good, [](Bytes& b) { b[kRevisionLength] = 33; })));
    EXPECT_FALSE(valid(edited(good, [](Bytes& b) { b[kRevision + 20] = 'x'; })));       // past the revision
    EXPECT_FALSE(valid(edited(good, [](Bytes& b) { b[kRevision + 1] = '\n'; })));       // a control character
    EXPECT_FALSE(valid(edited(good, [](Bytes& b) { b[kRevision] = 0xC0; })));           // not UTF-8
}

TEST(UpgradeFileFormat, ALyingImageLengthNeverAllocatesWhatItClaims) {
    const Bytes good = validFile(5000);
    // Longer or shorter than what follows, zero, over the 64 MiB a controller takes, the largest number.
    for (std::uint32_t length : {5001u, 4999u, 0u, (64u << 20) + 1, 0xFFFFFFFFu})
        EXPECT_FALSE(valid(edited(good, [length](Bytes& b) { put32(b, kLength, length); }))) << length;
}

TEST(UpgradeFileFormat, LoadReadsFilesAndNeverThrows) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Bytes good = validFile(3000, "4.0");
    UpgradeFile f;
    // A folder name outside ASCII, as a technician's profile folder may have.
    ASSERT_TRUE(f.Load(writeFile(dir, "Värme/QORreal/3.TcpIpPortOS", good).toStdString())) << f.Problem();
    EXPECT_EQ(f.Revision(), "4.0");

    // Loading another, bad file forgets the good one.
    EXPECT_FALSE(f.Load(writeFile(dir, "bad.TcpIpPortOS", Bytes(good.begin(), good.end() - 1)).toStdString()));
    EXPECT_FALSE(f.IsValid());
    EXPECT_TRUE(f.Revision().empty());
    EXPECT_TRUE(f.Image().empty());

    EXPECT_NO_THROW(EXPECT_FALSE(f.Load(dir.filePath("missing.TcpIpPortOS").toStdString())));
    EXPECT_NO_THROW(EXPECT_FALSE(f.Load(dir.path().toStdString())));  // a folder
    EXPECT_NO_THROW(EXPECT_FALSE(f.Load("")));
    EXPECT_NO_THROW(EXPECT_FALSE(f.Load(writeFile(dir, "empty", {}).toStdString())));
}

TEST(UpgradeFileFormat, AFileNamedForAPortTypeMustHoldAnImageForIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    UpgradeFile f;
    // Whole and undamaged, but put under the name the tool uses for port type 3.
    EXPECT_FALSE(f.Load(writeFile(dir, "3.TcpIpPortOS", validFile(2000, "9.0", 5)).toStdString()));
    EXPECT_NE(f.Problem().find("another port type"), std::string::npos) << f.Problem();
    EXPECT_TRUE(f.Load(writeFile(dir, "5.TcpIpPortOS", validFile(2000, "9.0", 5)).toStdString())) << f.Problem();
    EXPECT_TRUE(f.Load(writeFile(dir, "-12.TcpIpPortOS", validFile(2000, "9.0", -12)).toStdString())) << f.Problem();
    EXPECT_TRUE(f.Load(writeFile(dir, "05.tcpipportos", validFile(2000, "9.0", 5)).toStdString())) << f.Problem();
    EXPECT_FALSE(f.Load(writeFile(dir, "70000.TcpIpPortOS", validFile(2000, "9.0", 4464)).toStdString()));
    // Other names say nothing about the type.
    EXPECT_TRUE(f.Load(writeFile(dir, "port image.bin", validFile(2000, "9.0", 5)).toStdString())) << f.Problem();
    EXPECT_TRUE(f.Load(writeFile(dir, "3.TcpIpPortOS.old", validFile(2000, "9.0", 5)).toStdString())) << f.Problem();
    EXPECT_TRUE(UpgradeFile::NameFitsType("/x/QORreal/3.TcpIpPortOS", 3));
    EXPECT_FALSE(UpgradeFile::NameFitsType("C:/x/QORreal/3.TcpIpPortOS", -3));
}

TEST(UpgradeFileFormat, AFileLargerThanAnyImageIsRefusedUnread) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A sparse file: 64 MiB of image plus the header plus one byte.
    const QString path = writeFile(dir, "huge.TcpIpPortOS", validFile(100));
    QFile f(path);
    ASSERT_TRUE(f.resize(qint64(UpgradeFile::kHeaderSize) + (64 << 20) + 1));
    UpgradeFile file;
    EXPECT_FALSE(file.Load(path.toStdString()));
    EXPECT_NE(file.Problem().find("larger"), std::string::npos) << file.Problem();
}

TEST(UpgradeFileFormat, BuildRefusesWhatNoControllerCouldReport) {
    EXPECT_THROW(UpgradeFile::Build(3, "", randomImage(10, 1)), std::invalid_argument);
    EXPECT_THROW(UpgradeFile::Build(3, std::string(33, '1'), randomImage(10, 1)), std::invalid_argument);
    EXPECT_THROW(UpgradeFile::Build(3, "3.2\n", randomImage(10, 1)), std::invalid_argument);
    EXPECT_THROW(UpgradeFile::Build(3, "3.2", {}), std::invalid_argument);
    EXPECT_NO_THROW(UpgradeFile::Build(3, std::string(32, '9'), randomImage(1, 1)));
}
