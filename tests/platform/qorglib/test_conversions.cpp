#include "platform/qorglib/qorglib.h"
#include "tests/platform/ui/env_guard.h"

#include "platform/ui/window_helpers.h"
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

using zelmar::testing::EnvGuard;

TEST(CodeToName, YesAndNoInBothLanguagesOtherValuesAsNumbers) {
    EnvGuard env;
    env.set("ZELMAR_LANG", "en");
    EXPECT_STREQ(CodeToName(0), "No");
    EXPECT_STREQ(CodeToName(-1), "Yes");
    EXPECT_STREQ(CodeToName(65535), "65535");  // not the same as -1
    EXPECT_STREQ(CodeToName(1), "1");
    EXPECT_STREQ(CodeToName(-32768), "-32768");
    env.set("ZELMAR_LANG", "sv");
    EXPECT_STREQ(CodeToName(0), "Nej");
    EXPECT_STREQ(CodeToName(-1), "Ja");
    env.set("ZELMAR_LANG", "fi");  // no Finnish texts: English
    EXPECT_STREQ(CodeToName(-1), "Yes");
}

TEST(ModelCodeToName, KnownModelsAndAReadableFallback) {
    EXPECT_STREQ(ModelCodeToName("101"), "Zelmar EXO 24");
    EXPECT_STREQ(ModelCodeToName(" 200 "), "Zelmar Compact 8");
    EXPECT_STREQ(ModelCodeToName("7"), "Unknown model (code 7)");
    EXPECT_STREQ(ModelCodeToName("-3"), "Unknown model (code -3)");
    EXPECT_STREQ(ModelCodeToName("abc"), "Unknown model (code abc)");
    EXPECT_STREQ(ModelCodeToName(""), "Unknown model (code )");
    EXPECT_STREQ(ModelCodeToName(nullptr), "Unknown model (code )");
}

TEST(CopyText, CopiesAtMostNBytesAndStopsAtTheSourceEnd) {
    char buf[8];
    std::memset(buf, '*', sizeof buf);
    EXPECT_EQ(CopyText(buf, "abcdef", 4), 4);
    EXPECT_EQ(std::string(buf, 8), "abcd****");  // no terminator written past n

    std::memset(buf, ' ', sizeof buf);
    EXPECT_EQ(CopyText(buf, "ab", 5), 2);  // a short source: the count tells
    EXPECT_EQ(std::string(buf, 5), "ab   ");

    EXPECT_EQ(CopyText(buf, "abc", 0), 0);
    EXPECT_EQ(CopyText(buf, "abc", -2), 0);
    EXPECT_EQ(CopyText(buf, nullptr, 3), 0);
    EXPECT_EQ(CopyText(nullptr, "abc", 3), 0);

    const char utf8[] = "\xC3\x85sa";  // "Åsa": bytes, not characters
    char out[4];
    EXPECT_EQ(CopyText(out, utf8, 4), 4);
    EXPECT_EQ(std::memcmp(out, utf8, 4), 0);
}

TEST(ScanPasswordChars, PrintableAsciiWithoutSpaceIsAllowed) {
    EXPECT_EQ(ScanPasswordChars(u"Abc123!~{}"), -1);
    EXPECT_EQ(ScanPasswordChars(u""), -1);
    EXPECT_EQ(ScanPasswordChars(nullptr), -1);
    EXPECT_EQ(ScanPasswordChars(u"ab cd"), 2);
    EXPECT_EQ(ScanPasswordChars(u"\u00e5sa"), 0);     // å
    EXPECT_EQ(ScanPasswordChars(u"abc\u00f6"), 3);    // ö
    EXPECT_EQ(ScanPasswordChars(u"a\tb"), 1);
    EXPECT_EQ(ScanPasswordChars(u"x\u007f"), 1);      // DEL
    EXPECT_EQ(ScanPasswordChars(u"ok\U0001F600"), 2);  // a surrogate pair
    std::u16string all;
    for (char16_t c = 0x21; c <= 0x7E; ++c)
        all += c;
    EXPECT_EQ(ScanPasswordChars(all.c_str()), -1);
}

TEST(InitApplication, ZeroesOutValuesAndTitlesTheApplicationNotItsWindows) {
    const QString beforeName = QCoreApplication::applicationName();
    const QString beforeDisplayName = QGuiApplication::applicationDisplayName();
    const QString beforeTitle = zelmar::ui::applicationTitle();
    int32_t a = 11, b = 22;
    EXPECT_EQ(InitApplication("Zelmar TCP/IP Init Test", 0x20000000, &a, 0x40000000, &b), 0);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(zelmar::ui::applicationTitle(), QStringLiteral("Zelmar TCP/IP Init Test"));
    EXPECT_EQ(QCoreApplication::applicationName(), beforeName) << "the name stays file-system safe";
    // The window system appends the display name to every window title.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), beforeDisplayName);
    EXPECT_EQ(InitApplication(nullptr, 0, nullptr, 0, nullptr), 0);
    EXPECT_EQ(zelmar::ui::applicationTitle(), QStringLiteral("Zelmar TCP/IP Init Test"));
    zelmar::ui::setApplicationTitle(beforeTitle);
}
