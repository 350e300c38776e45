// zelmar-make-upgrade as a technician (and the data folder) uses it.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/netservice/upgrade/upgrade_file.h"

namespace {

struct ToolRun {
    int code = -1;
    QString out;
    QString err;
};

ToolRun makeUpgrade(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(ZELMAR_MAKE_UPGRADE_EXE), args);
    ToolRun r;
    if (!p.waitForFinished(30000))
        return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(MakeUpgrade, BuildsAValidFileFromAnImage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray image(100000, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i * 7 + i / 256);
    QFile f(dir.filePath("port.bin"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(image);
    f.close();

    const QString out = dir.filePath("3.TcpIpPortOS");
    const ToolRun r = makeUpgrade({"--image", f.fileName(), "--type", "3", "--revision", "3.2.0", "--output", out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("valid; port OS type 3, revision 3.2.0, 100000 bytes")) << r.out.toStdString();

    zelmar::net::UpgradeFile file;
    ASSERT_TRUE(file.Load(out.toStdString())) << file.Problem();
    EXPECT_EQ(file.PortOsType(), 3);
    EXPECT_EQ(file.Revision(), "3.2.0");
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(file.Image().data()), qsizetype(file.Image().size())), image);
}

TEST(MakeUpgrade, RandomImagesFollowTheirSeedAndNegativeTypesWork) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto build = [&](const QString& name, const QString& seed) {
        const QString out = dir.filePath(name);
        const ToolRun r = makeUpgrade(
            {"--random-image", "4096", "--seed", seed, "--type", "-7", "--revision", "1.0", "--output", out});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return contents(out);
    };
    const QByteArray a = build("a", "5"), b = build("b", "5"), c = build("c", "6");
    ASSERT_EQ(a.size(), qsizetype(zelmar::net::UpgradeFile::kHeaderSize + 4096));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    zelmar::net::UpgradeFile file;
    ASSERT_TRUE(file.LoadBytes(reinterpret_cast<const std::uint8_t*>(a.constData()), std::size_t(a.size())));
    EXPECT_EQ(file.PortOsType(), -7);
}

TEST(MakeUpgrade, CheckTellsValidFromInvalid) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString good = dir.filePath("5.TcpIpPortOS");
    ASSERT_EQ(makeUpgrade({"--random-image", "3000", "--type", "5", "--revision", "3.2.0", "--output", good}).code, 0);
    ToolRun r = makeUpgrade({"--check", good});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains("BLAKE2b-256")) << r.out.toStdString();

    QByteArray damaged = contents(good);
    damaged[damaged.size() - 10] = char(damaged[damaged.size() - 10] ^ 1);
    QFile f(dir.filePath("damaged"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(damaged);
    f.close();
    r = makeUpgrade({"--check", f.fileName()});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.contains("not a valid")) << r.out.toStdString();
    r = makeUpgrade({"--check", dir.filePath("missing")});  // not there is not "invalid": the document's 2
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("cannot read")) << r.err.toStdString();
}

TEST(MakeUpgrade, HelpAndVersion) {
    ToolRun r = makeUpgrade({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains("--random-image")) << r.out.toStdString();
    r = makeUpgrade({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.startsWith("zelmar-make-upgrade ")) << r.out.toStdString();
}

TEST(MakeUpgrade, BadOptionsWriteNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString out = dir.filePath("x.TcpIpPortOS");
    const QList<QStringList> bad = {
        {"--random-image", "100", "--type", "3", "--output", out},                                  // no revision
        {"--random-image", "100", "--type", "3", "--revision", "", "--output", out},                // empty revision
        {"--random-image", "100", "--type", "3", "--revision", QString(33, 'x'), "--output", out},  // too long
        {"--random-image", "100", "--type", "40000", "--revision", "1", "--output", out},           // not 16 bits
        {"--random-image", "0", "--type", "3", "--revision", "1", "--output", out},                 // empty image
        {"--random-image", "100", "--type", "3x", "--revision", "1", "--output", out},
        {"--image", dir.filePath("missing.bin"), "--type", "3", "--revision", "1", "--output", out},
        {"--image", "a", "--random-image", "100", "--type", "3", "--revision", "1", "--output", out},
        {"--random-image", "100", "--type", "5", "--revision", "1", "--output", dir.filePath("3.TcpIpPortOS")},
        {"--random-image", "100", "--type", "3", "--revision", "1", "--output", out, "extra"},
        {"--random-image", "100", "--type", "3", "--type", "3", "--revision", "1", "--output", out},
        {"--random-image", "--type", "3", "--revision", "1", "--output", out},
        {"--frobnicate"},
        {},
    };
    for (const QStringList& args : bad) {
        const ToolRun r = makeUpgrade(args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("usage:")) << args.join(' ').toStdString();
        EXPECT_FALSE(QFile::exists(out)) << args.join(' ').toStdString();
    }
}

// A revision typed in a Latin-1 terminal arrives as bytes that are not UTF-8:
// refused, naming the option, instead of written with U+FFFD in their place.
TEST(MakeUpgrade, ARevisionThatIsNotUtf8IsRefused) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows hands a program its command line as UTF-16 text: no bytes to refuse";
#endif
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString out = dir.filePath("3.TcpIpPortOS");
    QProcess p;  // the shell passes the byte itself; QProcess would pass it as UTF-8
    p.start(QStringLiteral("/bin/sh"),
            {"-c", "exec \"$0\" --random-image 100 --type 3 --revision \"$(printf '3.2 \\351')\" --output \"$1\"",
             QStringLiteral(ZELMAR_MAKE_UPGRADE_EXE), out});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 2);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_TRUE(err.contains("--revision holds a control character or is not UTF-8")) << err.toStdString();
    EXPECT_FALSE(QFile::exists(out));
}

// The demo upgrade files are what docs/upgrade-file.md says: the port types a
// generated fleet has, rebuilt byte for byte by the documented commands.
TEST(MakeUpgrade, TheDemoFolderHoldsAValidFileForEveryGeneratedPortType) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const struct {
        int type;
        const char* revision;
    } shipped[] = {{1, "2.12"}, {2, "2.12"}, {3, "3.2.0"}, {5, "3.2.0"}};
    for (const auto& s : shipped) {
        const QString name = QString::number(s.type) + ".TcpIpPortOS";
        const QString inData = QStringLiteral(ZELMAR_DEMO_UPGRADES_DIR "/QORreal/") + name;
        zelmar::net::UpgradeFile file;
        ASSERT_TRUE(file.Load(inData.toStdString())) << name.toStdString() << ": " << file.Problem();
        EXPECT_EQ(file.PortOsType(), s.type);
        EXPECT_EQ(file.Revision(), s.revision);
        EXPECT_LE(file.Image().size(), 256u * 1024u);  // the repository stays small

        const QString rebuilt = dir.filePath(name);
        ASSERT_EQ(makeUpgrade({"--random-image", "65536", "--seed", QString::number(s.type), "--type",
                               QString::number(s.type), "--revision", s.revision, "--output", rebuilt})
                      .code,
                  0);
        EXPECT_EQ(contents(rebuilt), contents(inData)) << name.toStdString();
    }
}
