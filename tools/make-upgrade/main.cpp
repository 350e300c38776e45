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

#include "platform/netservice/system/durable_file.h"
#include "platform/netservice/upgrade/upgrade_file.h"
#include "platform/netservice/wire/wire.h"
#include "platform/cli/cli_support.h"
#include "platform/cli/program_arguments.h"

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

// What a build run was asked for, its options checked in the order the messages are documented.
struct BuildRequest {
    std::int16_t type = 0;
    std::string revision;
    std::string output;
    std::string image;          // empty: a random image of randomBytes bytes
    long long randomBytes = -1;
    long long seed = 1;
};

const QStringList kValuedOptions = {"image", "random-image", "seed", "type", "revision", "output", "check"};

// An option directly followed by another one took that one as its value: say so instead.
void rejectOptionsAsValues(const QCommandLineParser& p) {
    for (const QString& name : kValuedOptions)
        if (zelmar::cli::single(p, name).startsWith("--"))
            throw UsageError("--" + name.toStdString() + " needs a value, not the option " +
                             p.value(name).toStdString());
}

BuildRequest readBuildRequest(const QCommandLineParser& p) {
    if (p.isSet("image") == p.isSet("random-image"))
        throw UsageError("give exactly one of --image FILE and --random-image BYTES");
    if (!p.isSet("type") || !p.isSet("revision") || !p.isSet("output"))
        throw UsageError("--type, --revision and --output are required");
    if (p.isSet("seed") && !p.isSet("random-image"))
        throw UsageError("--seed is for --random-image");
    BuildRequest r;
    if (p.isSet("random-image"))
        r.randomBytes = zelmar::cli::integer("random-image", p.value("random-image"), 1, UpgradeFile::kMaxImageBytes);
    if (p.isSet("seed"))
        r.seed = zelmar::cli::integer("seed", p.value("seed"), 0, 4294967295LL);
    r.type = std::int16_t(zelmar::cli::integer("type", p.value("type"), -32768, 32767));
    r.revision = zelmar::cli::argumentBytes(p.value("revision"));  // bytes that are not UTF-8 are refused below
    if (r.revision.empty())
        throw UsageError("--revision is empty");
    if (const std::string problem = zelmar::net::wire::textProblem(zelmar::net::wire::TagPortOsRevision, r.revision);
        !problem.empty())
        throw UsageError("--revision " + problem);
    r.output = p.value("output").toStdString();
    r.image = p.value("image").toStdString();
    // The tool finds a file by its name: one named for another port type would never be valid.
    if (!UpgradeFile::NameFitsType(r.output, r.type))
        throw UsageError("--output is named for another port type than --type " + std::to_string(r.type));
    return r;
}

int build(const BuildRequest& r) {
    const auto bytes = UpgradeFile::Build(
        r.type, r.revision, r.image.empty() ? randomImage(std::size_t(r.randomBytes), unsigned(r.seed)) : readImage(r.image));
    std::string error;
    // Written beside and renamed over: an interrupted run never leaves half a file under the name.
    if (!zelmar::net::replaceFileDurably(r.output, std::string(bytes.begin(), bytes.end()), &error))
        throw std::runtime_error("cannot write " + r.output + ": " + error);
    return check(r.output);
}

// Runs what the arguments ask for; bad options throw UsageError.
int run(const QCommandLineParser& p) {
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
    rejectOptionsAsValues(p);
    if (p.isSet("check")) {
        for (const QString& other : kValuedOptions)
            if (other != "check" && p.isSet(other))
                throw UsageError("--check takes no other option");
        return check(p.value("check").toStdString());
    }
    return build(readBuildRequest(p));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    for (const QString& name : kValuedOptions)
        p.addOption(QCommandLineOption(name, name, "value"));
    p.addOption(QCommandLineOption({"h", "help"}, "help"));
    p.addOption(QCommandLineOption("version", "version"));
    try {
        zelmar::cli::parseOrThrow(p, zelmar::cli::programArguments(argc, argv));
        return run(p);
    } catch (const std::exception& e) {
        // Bad options and files that cannot be read or written alike, as the document says.
        std::cerr << "zelmar-make-upgrade: " << e.what() << "\n";
        usage(std::cerr);
        return zelmar::cli::kUsageError;
    }
}
