#include "platform/qorglib/qorglib.h"
#include "tests/platform/ui/env_guard.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

using zelmar::testing::EnvGuard;

namespace {
constexpr const char* kToolTexts = "Prod:\\Texts\\Zelmar TCP IP Settings Tool";

std::string text(const char* file, int32_t number) {
    int32_t out = 99;
    const char* p = ReadTextEntry(file, number, 0, &out);
    EXPECT_EQ(out, 0);
    return p ? std::string(p) : std::string("<null>");
}

// A Prod folder of its own with catalogues "Texts/Test.<lang>.txt".
class TempCatalogue : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        zelmar::testing::clearAliasEnvironment(env);
        env.set("ZELMAR_PROD_DIR", QFile::encodeName(dir.path()));
        env.set("ZELMAR_LANG", "en");
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("Texts")));
    }
    void write(const char* lang, const QByteArray& content) {
        QFile f(dir.filePath(QStringLiteral("Texts/Test.%1.txt").arg(QString::fromLatin1(lang))));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    QTemporaryDir dir;
    EnvGuard env;
};
}  // namespace

TEST_F(TempCatalogue, EntriesCommentsAndEscapes) {
    write("en",
          "# comment line\n"
          "\n"
          "10\tTab separated\n"
          "11   Space separated, inner  blanks kept\n"
          "  12\tIndented number\n"
          "13\tFirst line\\nSecond line\n"
          "14\tC:\\\\Folder\\\\file and \\t stays\n"
          "15\n"
          "16x\tnot an entry\n"
          "# 17\tcommented out\n"
          "18\tÅngström ändå\n"
          "-5\tnegative number\n");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 10), "Tab separated");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 11), "Space separated, inner  blanks kept");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 12), "Indented number");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 13), "First line\nSecond line");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 14), "C:\\Folder\\file and \\t stays");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 15), "");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 16), "");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 17), "");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 18), "Ångström ändå");
    EXPECT_EQ(text("Prod:\\Texts\\Test", -5), "negative number");
}

TEST_F(TempCatalogue, MissingNumberGivesTheEmptyText) {
    write("en", "1\tone\n");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 2), "");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 0), "");
    EXPECT_EQ(text("Prod:\\Texts\\Missing", 1), "");  // no such catalogue at all
    EXPECT_EQ(text("", 1), "");
    EXPECT_EQ(text(nullptr, 1), "");
}

TEST_F(TempCatalogue, CrLfLinesByteOrderMarkAndFirstEntryWins) {
    write("en", "\xEF\xBB\xBF" "1\tone\r\n2\ttwo\r\n1\tduplicate\r\n");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 1), "one");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 2), "two");
}

TEST_F(TempCatalogue, ForwardSlashesAndLowerCaseAliasWorkToo) {
    write("en", "7\tseven\n");
    EXPECT_EQ(text("Prod:/Texts/Test", 7), "seven");
    EXPECT_EQ(text("prod:\\Texts\\Test", 7), "seven");
    EXPECT_EQ(text("Prod:Texts\\Test", 7), "seven");
}

TEST_F(TempCatalogue, LanguageFromEnvironmentWithEnglishFallback) {
    write("en", "1\tYes\n2\tonly in English\n");
    write("sv", "1\tJa\n");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 1), "Yes");
    env.set("ZELMAR_LANG", "sv");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 1), "Ja");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 2), "");  // the Swedish file counts, even when it lacks a number
    env.set("ZELMAR_LANG", "sv_SE.UTF-8");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 1), "Ja");
    env.set("ZELMAR_LANG", "de");  // no German catalogue
    EXPECT_EQ(text("Prod:\\Texts\\Test", 1), "Yes");
}

TEST_F(TempCatalogue, ChangedFileShowsAtTheNextCall) {
    write("en", "4537\tSearching\n");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 4537), "Searching");
    write("en", "4537\tLooking for controllers\n");
    EXPECT_EQ(text("Prod:\\Texts\\Test", 4537), "Looking for controllers");
    QFile::remove(dir.filePath(QStringLiteral("Texts/Test.en.txt")));
    EXPECT_EQ(text("Prod:\\Texts\\Test", 4537), "");
}

TEST_F(TempCatalogue, ReturnedTextStaysUntilTheNextCall) {
    write("en", "1\tfirst\n2\tsecond\n");
    int32_t out = 0;
    const char* a = ReadTextEntry("Prod:\\Texts\\Test", 1, 0, &out);
    const std::string copy = a;
    EXPECT_EQ(copy, "first");
    const char* b = ReadTextEntry("Prod:\\Texts\\Test", 2, 0, &out);
    EXPECT_STREQ(b, "second");
    EXPECT_NE(ReadTextEntry("Prod:\\Texts\\Test", 1, 0, nullptr), nullptr);  // a null out pointer is allowed
}

// The shipped catalogues, found through the default data folder next to the executable.
class ShippedCatalogue : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        zelmar::testing::clearAliasEnvironment(env);
        env.set("ZELMAR_LANG", GetParam());
    }
    EnvGuard env;
};

TEST_P(ShippedCatalogue, HoldsEveryNumberTheToolUses) {
    const int numbers[] = {353,  354,  4513, 4514, 4515, 4516, 4517, 4518, 4519, 4520, 4521, 4522, 4523,
                           4524, 4525, 4526, 4527, 4529, 4530, 4531, 4532, 4534, 4535, 4536, 4537, 4538,
                           4539, 4540, 4541, 4543, 4545, 4546, 4547, 4548, 4549, 4550, 4552, 4557, 4558,
                           4559, 4560, 4562, 4570, 4571, 4572, 4580};
    for (int n : numbers)
        EXPECT_FALSE(text(kToolTexts, n).empty()) << GetParam() << " text " << n;
    // Numbers the tool does not use are not there.
    EXPECT_EQ(text(kToolTexts, 4544), "");
    EXPECT_EQ(text(kToolTexts, 4528), "");
}

INSTANTIATE_TEST_SUITE_P(Languages, ShippedCatalogue, ::testing::Values("en", "sv"));

TEST(ShippedCatalogueWording, EnglishMatchesTheStoredLayoutAndSwedishIsItsOwn) {
    EnvGuard env;
    zelmar::testing::clearAliasEnvironment(env);
    env.set("ZELMAR_LANG", "en");
    EXPECT_EQ(text(kToolTexts, 4514), "Obtain IP settings &automatically (by DHCP)");
    EXPECT_EQ(text(kToolTexts, 4532), "Zelmar TCP/IP Settings Tool");
    EXPECT_EQ(text(kToolTexts, 4530), "Ok");
    EXPECT_EQ(text(kToolTexts, 4550), "DNS name");
    EXPECT_EQ(text(kToolTexts, 4549), "Description");
    EXPECT_EQ(text(kToolTexts, 4571), "&Require to use encrypted network communication");
    EXPECT_EQ(text(kToolTexts, 4562), "No controller found at");

    env.set("ZELMAR_LANG", "sv");
    EXPECT_EQ(text(kToolTexts, 4531), "Avbryt");
    EXPECT_EQ(text(kToolTexts, 4550), "DNS-namn");
    EXPECT_EQ(text(kToolTexts, 4549), "Beskrivning");
    EXPECT_NE(text(kToolTexts, 4552), "");
    EXPECT_NE(text(kToolTexts, 354).find('\n'), std::string::npos);  // the line-break escape is in use
}
