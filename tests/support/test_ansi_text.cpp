#include "support/ansi_text.h"
#include "support/support.h"

#include <gtest/gtest.h>

using namespace zelmar::support;

TEST(AnsiPtrToString, NullAndEmptyGiveTheEmptyText) {
    EXPECT_TRUE(AnsiPtrToString(nullptr).isEmpty());
    EXPECT_TRUE(AnsiPtrToString("").isEmpty());
}

TEST(AnsiPtrToString, CopiesTheWholeText) {
    EXPECT_EQ(AnsiPtrToString("Searching"), QStringLiteral("Searching"));
    EXPECT_EQ(AnsiPtrToString("  blanks kept  "), QStringLiteral("  blanks kept  "));
    EXPECT_EQ(AnsiPtrToString("Line one\nLine two"), QStringLiteral("Line one\nLine two"));
}

TEST(AnsiPtrToString, EightBitTextIsUtf8AndRoundTripsThroughToAnsi) {
    const QString swedish = QStringLiteral("Sök fler styrenheter – Å Ä Ö");
    const QByteArray ansi = toAnsi(swedish);
    EXPECT_EQ(ansi.size(), swedish.toUtf8().size());
    EXPECT_EQ(AnsiPtrToString(ansi.constData()), swedish);
}

TEST(AnsiPtrToString, ShortCopyCutsTheTextToTheCountCopied) {
    // The library reported fewer bytes than asked: only those count.
    EXPECT_EQ(detail::textFromCopyBuffer(QByteArray("abcdef"), 6, 6), QStringLiteral("abcdef"));
    EXPECT_EQ(detail::textFromCopyBuffer(QByteArray("abc   "), 6, 3), QStringLiteral("abc"));
    EXPECT_EQ(detail::textFromCopyBuffer(QByteArray("      "), 6, 0), QString());
    // Out-of-range counts never read outside the buffer.
    EXPECT_EQ(detail::textFromCopyBuffer(QByteArray("abc"), 3, -1), QString());
    EXPECT_EQ(detail::textFromCopyBuffer(QByteArray("abc"), 3, 99), QStringLiteral("abc"));
}
