// zelmar-make-upgrade: builds a TCP/IP Port OS upgrade file (docs/upgrade-file.md)
// from an image, a port OS type and a revision, or checks one.
//
//   zelmar-make-upgrade --image port.bin --type 3 --revision 3.2.0 --output 3.TcpIpPortOS
//   zelmar-make-upgrade --random-image 65536 --seed 3 --type 3 --revision 3.2.0 --output 3.TcpIpPortOS
//   zelmar-make-upgrade --check 3.TcpIpPortOS
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/netservice/durable_file.h"
#include "platform/netservice/upgrade_file.h"
#include "platform/netservice/wire.h"
#include "tools/cli/cli_support.h"

namespace {

using zelmar::net::UpgradeFile;
using zelmar::cli::UsageError;

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
           "  --check FILE          tell whether FILE is a valid upgrade file and what it holds\n"
           "  -h, --help            this help\n"
           "  --version             the version\n"
           "Exit codes: 0 done (--check: valid), 1 --check: not valid, 2 bad options or a file\n"
           "that cannot be read or written.\n";
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
    if (QFile f(QString::fromStdString(path)); !f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path);  // a file that is not there is not an invalid file
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
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    const QStringList valued = {"image", "random-image", "seed", "type", "revision", "output", "check"};
    for (const QString& name : valued)
        p.addOption(QCommandLineOption(name, name, "value"));
    p.addOption(QCommandLineOption({"h", "help"}, "help"));
    p.addOption(QCommandLineOption("version", "version"));
    try {
        zelmar::cli::parseOrThrow(p, QCoreApplication::arguments());
        if (p.isSet("help")) {
            usage(std::cout);
            return 0;
        }
        if (p.isSet("version")) {
            std::cout << zelmar::cli::versionLine("zelmar-make-upgrade") << "\n";
            return 0;
        }
        if (!p.positionalArguments().isEmpty())
            throw UsageError("unexpected argument \"" + p.positionalArguments().first().toStdString() + "\"");
        for (const QString& name : valued)
            if (zelmar::cli::single(p, name).startsWith("--"))
                throw UsageError("--" + name.toStdString() + " needs a value, not the option " +
                                 p.value(name).toStdString());
        if (p.isSet("check")) {
            for (const QString& other : valued)
                if (other != "check" && p.isSet(other))
                    throw UsageError("--check takes no other option");
            return check(p.value("check").toStdString());
        }
        if (p.isSet("image") == p.isSet("random-image"))
            throw UsageError("give exactly one of --image FILE and --random-image BYTES");
        if (!p.isSet("type") || !p.isSet("revision") || !p.isSet("output"))
            throw UsageError("--type, --revision and --output are required");
        if (p.isSet("seed") && !p.isSet("random-image"))
            throw UsageError("--seed is for --random-image");
        const long long randomBytes = p.isSet("random-image")
            ? zelmar::cli::integer("random-image", p.value("random-image"), 1, UpgradeFile::kMaxImageBytes) : -1;
        const long long seed = p.isSet("seed") ? zelmar::cli::integer("seed", p.value("seed"), 0, 4294967295LL) : 1;
        const long long type = zelmar::cli::integer("type", p.value("type"), -32768, 32767);
        const std::string revision = p.value("revision").toStdString();
        if (revision.empty())
            throw UsageError("--revision is empty");
        if (const std::string problem = zelmar::net::wire::textProblem(zelmar::net::wire::TagPortOsRevision, revision);
            !problem.empty())
            throw UsageError("--revision " + problem);
        const std::string output = p.value("output").toStdString();
        const std::string image = p.value("image").toStdString();
        // The tool finds a file by its name: one named for another port type would never be valid.
        if (!UpgradeFile::NameFitsType(output, std::int16_t(type)))
            throw UsageError("--output is named for another port type than --type " + std::to_string(type));

        const auto bytes = UpgradeFile::Build(
            std::int16_t(type), revision,
            image.empty() ? randomImage(std::size_t(randomBytes), unsigned(seed)) : readImage(image));
        std::string error;
        // Written beside and renamed over: an interrupted run never leaves half a file under the name.
        if (!zelmar::net::replaceFileDurably(output, std::string(bytes.begin(), bytes.end()), &error))
            throw std::runtime_error("cannot write " + output + ": " + error);
        return check(output);
    } catch (const std::exception& e) {
        // Bad options and files that cannot be read or written alike, as the document says.
        std::cerr << "zelmar-make-upgrade: " << e.what() << "\n";
        usage(std::cerr);
        return zelmar::cli::kUsageError;
    }
}
