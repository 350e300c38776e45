#include "platform/qorglib/qorglib.h"
#include "tests/platform/ui/env_guard.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

using zelmar::testing::EnvGuard;

namespace {
std::string alias(const char* a) {
    int32_t out = 5;
    const std::string result = AliasToPath(a, 0, &out);
    EXPECT_EQ(out, 0);
    return result;
}
std::string folder(const QString& path) { return (QDir::cleanPath(path) + u'/').toStdString(); }
}  // namespace

TEST(AliasToPath, DefaultsBelowTheExecutablesShareFolder) {
    EnvGuard env;
    zelmar::testing::clearAliasEnvironment(env);
    const QString share = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/zelmar");
    EXPECT_EQ(alias("Prod:"), folder(share + QStringLiteral("/Prod")));
    EXPECT_EQ(alias("SLIB:"), folder(share + QStringLiteral("/SLIB")));
    // The build copies the data folder there.
    EXPECT_TRUE(QDir(QString::fromStdString(alias("Prod:")) + QStringLiteral("Texts")).exists());
}

TEST(AliasToPath, DataFolderVariableMovesBothAliases) {
    EnvGuard env;
    zelmar::testing::clearAliasEnvironment(env);
    QTemporaryDir dir;
    env.set("ZELMAR_DATA_DIR", QFile::encodeName(dir.path()));
    EXPECT_EQ(alias("Prod:"), folder(dir.path() + QStringLiteral("/Prod")));
    EXPECT_EQ(alias("SLIB:"), folder(dir.path() + QStringLiteral("/SLIB")));
}

TEST(AliasToPath, AliasVariablesWinOverTheDataFolder) {
    EnvGuard env;
    zelmar::testing::clearAliasEnvironment(env);
    QTemporaryDir data, prod, slib;
    env.set("ZELMAR_DATA_DIR", QFile::encodeName(data.path()));
    env.set("ZELMAR_PROD_DIR", QFile::encodeName(prod.path()));
    env.set("ZELMAR_SLIB_DIR", QFile::encodeName(slib.path() + QStringLiteral("/")));  // trailing slash or not
    EXPECT_EQ(alias("Prod:"), folder(prod.path()));
    EXPECT_EQ(alias("SLIB:"), folder(slib.path()));
}

TEST(AliasToPath, SpellingsAndUnknownAliases) {
    EnvGuard env;
    zelmar::testing::clearAliasEnvironment(env);
    const std::string slib = alias("SLIB:");
    ASSERT_FALSE(slib.empty());
    EXPECT_EQ(slib.back(), '/');
    EXPECT_EQ(alias("slib:"), slib);
    EXPECT_EQ(alias("SLIB"), slib);
    EXPECT_EQ(alias(" SLIB:\\"), slib);
    EXPECT_EQ(alias("Nope:"), "");
    EXPECT_EQ(alias(""), "");
    EXPECT_EQ(alias(nullptr), "");
    EXPECT_STRNE(AliasToPath("Prod:", 0, nullptr), "");
}

TEST(CheckFileExists, RegularFilesOnlyWithAliasesAndBothSeparators) {
    EnvGuard env;
    zelmar::testing::clearAliasEnvironment(env);
    QTemporaryDir dir;
    env.set("ZELMAR_SLIB_DIR", QFile::encodeName(dir.path()));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("QORreal")));
    QFile f(dir.filePath(QStringLiteral("QORreal/Port7.TcpIpPortOS")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();

    EXPECT_EQ(CheckFileExists(QFile::encodeName(f.fileName()).constData()), 1);
    EXPECT_EQ(CheckFileExists("SLIB:\\QORreal\\Port7.TcpIpPortOS"), 1);
    EXPECT_EQ(CheckFileExists("SLIB:/QORreal/Port7.TcpIpPortOS"), 1);
    // The expanded alias with the rest appended in the tool's own way.
    const std::string appended = std::string(AliasToPath("SLIB:", 0, nullptr)) + "QORreal\\Port7.TcpIpPortOS";
    EXPECT_EQ(CheckFileExists(appended.c_str()), 1);

    EXPECT_EQ(CheckFileExists("SLIB:\\QORreal\\Port8.TcpIpPortOS"), 0);
    EXPECT_EQ(CheckFileExists("SLIB:\\QORreal"), 0);  // a folder is not a file
    EXPECT_EQ(CheckFileExists(""), 0);
    EXPECT_EQ(CheckFileExists(nullptr), 0);
}
