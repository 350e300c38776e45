// The command-line programs' arguments as typed: UTF-8 reads as text, and an
// argument that is not UTF-8 keeps its bytes for the option to refuse.
#include <gtest/gtest.h>

#include "platform/cli/program_arguments.h"

using zelmar::cli::argumentBytes;
using zelmar::cli::programArguments;

TEST(ProgramArguments, Utf8ReadsAsTextAndOtherBytesComeBackUnchanged) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows hands a program its command line as UTF-16 text, not as bytes";
#endif
    char utf8[] = "Name=V\xC3\xA4rme \xF0\x9F\x94\xA5", latin1[] = "Name=V\xE4rme", cut[] = "--revision=3.2\xC3";
    char* argv[] = {utf8, latin1, cut};
    const QStringList args = programArguments(3, argv);
    ASSERT_EQ(args.size(), 3);
    EXPECT_EQ(args[0], QStringLiteral("Name=Värme 🔥"));
    EXPECT_TRUE(args[1].startsWith(QStringLiteral("Name=V"))) << "the ASCII part reads as typed";
    EXPECT_TRUE(args[2].startsWith(QStringLiteral("--revision=3.2")));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(argumentBytes(args[i]), std::string(argv[i])) << i;
}
