// zelmar-make-upgrade: builds a TCP/IP Port OS upgrade file (docs/upgrade-file.md)
// from an image, a port OS type and a revision, or checks one.
//
//   zelmar-make-upgrade --image port.bin --type 3 --revision 3.2.0 --output 3.TcpIpPortOS
//   zelmar-make-upgrade --random-image 65536 --seed 3 --type 3 --revision 3.2.0 --output 3.TcpIpPortOS
//   zelmar-make-upgrade --check 3.TcpIpPortOS
#include <QFile>
#include <cstdio>
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/netservice/udp_platform.h"
#include "platform/netservice/upgrade_file.h"

namespace {

using zelmar::net::UpgradeFile;

void usage(std::ostream& out) {
    out << "usage: zelmar-make-upgrade (--image FILE | --random-image BYTES [--seed S]) --type N --revision TEXT\n"
           "                           --output FILE\n"
           "       zelmar-make-upgrade --check FILE\n"
           "  --image FILE          the port OS image (1 byte to 64 MiB)\n"
           "  --random-image BYTES  a demo image of pseudo-random bytes instead (the same seed gives the same bytes)\n"
           "  --seed S              seed of --random-image (default 1)\n"
           "  --type N              the port OS type the image is for (-32768 to 32767)\n"
           "  --revision TEXT       the revision the controller reports after the upgrade (1 to 32 bytes of UTF-8)\n"
           "  --output FILE         the upgrade file to write, usually <type>.TcpIpPortOS\n"
           "  --check FILE          tell whether FILE is a valid upgrade file and what it holds\n";
}

long long number(const std::string& option, const std::string& text, long long min, long long max) {
    std::size_t used = 0;
    long long v = 0;
    try {
        v = std::stoll(text, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || text.empty() || v < min || v > max)
        throw std::runtime_error(option + " must be a whole number from " + std::to_string(min) + " to " +
                                 std::to_string(max));
    return v;
}

std::vector<std::uint8_t> readImage(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read the image " + path);
    if (f.size() > qint64(UpgradeFile::kMaxImageBytes))
        throw std::runtime_error("the image is larger than 64 MiB");
    const QByteArray data = f.readAll();
    return {data.begin(), data.end()};
}

// Byte i is the low 8 bits of the i-th output of the Mersenne Twister (mt19937) seeded with `seed`.
std::vector<std::uint8_t> randomImage(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> image(size);
    for (auto& b : image)
        b = std::uint8_t(rng());
    return image;
}

std::string hex(const zelmar::net::ImageHash& h) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : h) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

int check(const std::string& path) {
    UpgradeFile file;
    if (!file.Load(path)) {
        std::cout << path << ": not a valid TCP/IP Port OS upgrade file: " << file.Problem() << "\n";
        return 1;
    }
    std::cout << path << ": valid; port OS type " << file.PortOsType() << ", revision " << file.Revision() << ", "
              << file.Image().size() << " bytes, BLAKE2b-256 " << hex(file.Hash()) << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string image, output, revision, checkPath;
    long long randomBytes = -1, seed = 1, type = 0;
    bool haveType = false, haveRevision = false;
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= args.size())
                    throw std::runtime_error(a + " needs a value");
                return args[++i];
            };
            if (a == "--image") image = value();
            else if (a == "--random-image") randomBytes = number(a, value(), 1, UpgradeFile::kMaxImageBytes);
            else if (a == "--seed") seed = number(a, value(), 0, 4294967295LL);
            else if (a == "--type") { type = number(a, value(), -32768, 32767); haveType = true; }
            else if (a == "--revision") { revision = value(); haveRevision = true; }
            else if (a == "--output") output = value();
            else if (a == "--check") checkPath = value();
            else if (a == "--help" || a == "-h") { usage(std::cout); return 0; }
            else throw std::runtime_error("unknown option " + a);
        }
        if (!checkPath.empty()) {
            if (!image.empty() || randomBytes >= 0 || !output.empty())
                throw std::runtime_error("--check takes no other option");
            return check(checkPath);
        }
        if (image.empty() == (randomBytes < 0))
            throw std::runtime_error("give exactly one of --image FILE and --random-image BYTES");
        if (!haveType || !haveRevision || output.empty())
            throw std::runtime_error("--type, --revision and --output are required");
        // The tool finds a file by its name: one named for another port type would never be valid.
        if (!UpgradeFile::NameFitsType(output, std::int16_t(type)))
            throw std::runtime_error("--output is named for another port type than --type " + std::to_string(type));

        const auto bytes = UpgradeFile::Build(
            std::int16_t(type), revision,
            image.empty() ? randomImage(std::size_t(randomBytes), unsigned(seed)) : readImage(image));
        std::string error;
        // Written beside and renamed over: an interrupted run never leaves half a file under the name.
        if (!zelmar::net::platform::replaceFileDurably(output, std::string(bytes.begin(), bytes.end()), &error))
            throw std::runtime_error("cannot write " + output + ": " + error);
        return check(output);
    } catch (const std::exception& e) {
        std::cerr << "zelmar-make-upgrade: " << e.what() << "\n";
        usage(std::cerr);
        return 2;
    }
}
