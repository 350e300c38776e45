// Port OS revisions compared as dotted numbers, without any network.
#include <gtest/gtest.h>

#include "site/revision.h"

using zelmar::site::compareRevisions;
using zelmar::site::RevisionOrder;

TEST(Revision, DottedNumbersCompareByTheirParts) {
    EXPECT_EQ(compareRevisions("2.12", "2.9"), RevisionOrder::Newer);  // not as text
    EXPECT_EQ(compareRevisions("2.9", "2.12"), RevisionOrder::Older);
    EXPECT_EQ(compareRevisions("3.0.4", "2.12"), RevisionOrder::Newer);
    EXPECT_EQ(compareRevisions("3.1.0", "3.1"), RevisionOrder::Same);  // a missing part is 0
    EXPECT_EQ(compareRevisions("3.1.1", "3.1"), RevisionOrder::Newer);
    EXPECT_EQ(compareRevisions("010.2", "10.2"), RevisionOrder::Same);
    EXPECT_EQ(compareRevisions("4", "3.99"), RevisionOrder::Newer);
}

TEST(Revision, OtherRevisionsAreOnlyTheSameOrDifferent) {
    EXPECT_EQ(compareRevisions("R3b", "R3b"), RevisionOrder::Same);
    EXPECT_EQ(compareRevisions("R3b", "R3a"), RevisionOrder::Different);
    EXPECT_EQ(compareRevisions("3.1-beta", "3.0"), RevisionOrder::Different);
    EXPECT_EQ(compareRevisions("3..1", "3.1"), RevisionOrder::Different);
    EXPECT_EQ(compareRevisions("", "3.1"), RevisionOrder::Different);
    EXPECT_EQ(compareRevisions("3.1.", "3.1"), RevisionOrder::Different);
}
