#include "support/support.h"
#include "tests/platform/ui/env_guard.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zelmar::support;
using zelmar::testing::EnvGuard;

TEST(GetText, ShippedCatalogueInBothLanguages) {
    EnvGuard env;
    zelmar::testing::clearAliasEnvironment(env);
    env.set("ZELMAR_LANG", "en");
    EXPECT_EQ(GetText(4531), QStringLiteral("Cancel"));
    EXPECT_EQ(GetText(4515), QStringLiteral("U&se the following IP settings:"));
    EXPECT_TRUE(GetText(4544).isEmpty());  // a number the catalogue lacks
    env.set("ZELMAR_LANG", "sv");
    EXPECT_EQ(GetText(4531), QStringLiteral("Avbryt"));
    EXPECT_EQ(GetText(4534), QStringLiteral("Sök och välj"));
    EXPECT_TRUE(GetText(4544).isEmpty());
}

TEST(GetText, NothingIsCachedAChangedFileShowsAtTheNextCall) {
    EnvGuard env;
    zelmar::testing::clearAliasEnvironment(env);
    env.set("ZELMAR_LANG", "sv");
    QTemporaryDir prod;
    ASSERT_TRUE(QDir(prod.path()).mkpath(QStringLiteral("Texts")));
    env.set("ZELMAR_PROD_DIR", QFile::encodeName(prod.path()));
    const QString file = prod.filePath(QStringLiteral("Texts/Zelmar TCP IP Settings Tool.sv.txt"));
    auto write = [&](const QByteArray& content) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    };
    write("4537\tSöker\n4539\tFörsta\\nAndra\n");
    EXPECT_EQ(GetText(4537), QStringLiteral("Söker"));
    EXPECT_EQ(GetText(4539), QStringLiteral("Första\nAndra"));
    write("4537\tLetar\n");
    EXPECT_EQ(GetText(4537), QStringLiteral("Letar"));
    EXPECT_TRUE(GetText(4539).isEmpty());
}

TEST(GetTextFromFile, PassesItsArgumentsAndZeroesOut) {
    EnvGuard env;
    zelmar::testing::clearAliasEnvironment(env);
    env.set("ZELMAR_LANG", "en");
    std::int32_t out = 1234;
    EXPECT_EQ(GetTextFromFile(QString::fromLatin1(kTextsFile), 4534, 0, out), QStringLiteral("Search and Select"));
    EXPECT_EQ(out, 0);
    EXPECT_TRUE(GetTextFromFile(QStringLiteral("Prod:\\Texts\\No Such Tool"), 4534, 0, out).isEmpty());
}

TEST(GetCodeName, SignExtendsSoMinusOneIsYes) {
    EnvGuard env;
    env.set("ZELMAR_LANG", "en");
    EXPECT_EQ(GetCodeName(-1), QStringLiteral("Yes"));  // 65535 would have given "65535"
    EXPECT_EQ(GetCodeName(0), QStringLiteral("No"));
    EXPECT_EQ(GetCodeName(static_cast<std::int16_t>(0x8000)), QStringLiteral("-32768"));
    env.set("ZELMAR_LANG", "sv");
    EXPECT_EQ(GetCodeName(-1), QStringLiteral("Ja"));
    EXPECT_EQ(GetCodeName(0), QStringLiteral("Nej"));
}

TEST(GetModelName, KnownAndUnknownCodes) {
    EXPECT_EQ(GetModelName(QStringLiteral("102")), QStringLiteral("Zelmar EXO 48"));
    EXPECT_EQ(GetModelName(QStringLiteral("9")), QStringLiteral("Unknown model (code 9)"));
}

TEST(ExpandPathAlias, FolderEndsInASeparatorAndOutIsZeroed) {
    EnvGuard env;
    zelmar::testing::clearAliasEnvironment(env);
    QTemporaryDir slib;
    env.set("ZELMAR_SLIB_DIR", QFile::encodeName(slib.path()));
    std::int32_t out = 7;
    const QString folder = ExpandPathAlias(QStringLiteral("SLIB:"), 0, out);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(folder, QDir::cleanPath(slib.path()) + u'/');
    EXPECT_TRUE(ExpandPathAlias(QStringLiteral("Other:"), 0, out).isEmpty());
}

TEST(FileExists, ExistingFileIsNonzeroMissingFileAndFolderAreZero) {
    EnvGuard env;
    zelmar::testing::clearAliasEnvironment(env);
    QTemporaryDir slib;
    env.set("ZELMAR_SLIB_DIR", QFile::encodeName(slib.path()));
    ASSERT_TRUE(QDir(slib.path()).mkpath(QStringLiteral("QORreal")));
    QFile f(slib.filePath(QStringLiteral("QORreal/Typ 3.TcpIpPortOS")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();

    std::int32_t out = 0;
    const QString path = ExpandPathAlias(QStringLiteral("SLIB:"), 0, out) + QStringLiteral("QORreal\\Typ 3.TcpIpPortOS");
    EXPECT_NE(FileExists(path), 0);
    EXPECT_NE(FileExists(f.fileName()), 0);
    EXPECT_EQ(FileExists(path + QStringLiteral(".old")), 0);
    EXPECT_EQ(FileExists(slib.path()), 0);
    EXPECT_EQ(FileExists(QString()), 0);
}

TEST(FindInvalidPasswordChar, AllowedAndDisallowedCharacters) {
    EXPECT_EQ(FindInvalidPasswordChar(QStringLiteral("S3cret!#%")), -1);
    EXPECT_EQ(FindInvalidPasswordChar(QString()), -1);
    EXPECT_NE(FindInvalidPasswordChar(QStringLiteral("two words")), -1);
    EXPECT_EQ(FindInvalidPasswordChar(QStringLiteral("lösen")), 1);
    EXPECT_EQ(FindInvalidPasswordChar(QStringLiteral("abc\u20ac")), 3);  // the euro sign
}
