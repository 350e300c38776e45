#include "platform/qorglib/qorglib.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <unordered_set>

namespace {
struct Parsed {
    int32_t ok;
    float value;
};
Parsed parse(const char* text) {
    Parsed p{0, -1.0f};
    p.ok = ParseSerialNoText(text, &p.value);
    return p;
}
bool sameSerial(const char* a, const char* b) {
    const Parsed x = parse(a);
    const Parsed y = parse(b);
    return (x.ok & y.ok) != 0 && x.value == y.value;
}
std::string serial(int series, int number) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d-%05d", series, number);
    return buf;
}
}  // namespace

TEST(ParseSerialNoText, PrintedFormGivesSeriesTimesHundredThousandPlusNumber) {
    const Parsed p = parse("12-03456");
    EXPECT_EQ(p.ok, 1);
    EXPECT_EQ(p.value, 1203456.0f);
    EXPECT_EQ(parse("00-00000").value, 0.0f);
    EXPECT_EQ(parse("99-99999").value, 9999999.0f);
}

TEST(ParseSerialNoText, SpellingsOfTheSameSerialGiveTheSameValue) {
    EXPECT_TRUE(sameSerial("12-3456", "12-03456"));
    EXPECT_TRUE(sameSerial("12-03456", " 12-03456\t"));
    EXPECT_TRUE(sameSerial("12-03456", "1203456"));
    EXPECT_TRUE(sameSerial("3-00042", "03-42"));
    EXPECT_TRUE(sameSerial("03-00042", "0300042"));
}

TEST(ParseSerialNoText, DistinctSerialsNeverShareAValue) {
    EXPECT_FALSE(sameSerial("12-03456", "12-03457"));
    EXPECT_FALSE(sameSerial("12-03456", "21-03456"));
    EXPECT_FALSE(sameSerial("1-23456", "12-3456"));  // the dash moves: different serials

    // Every number of one series, and the ends of every series: all values distinct
    // and exactly the intended integer.
    std::unordered_set<float> seen;
    for (int n = 0; n <= 99999; ++n) {
        const std::string s = serial(47, n);
        const Parsed p = parse(s.c_str());
        ASSERT_EQ(p.ok, 1) << s;
        ASSERT_EQ(p.value, float(4700000 + n)) << s;
        ASSERT_TRUE(seen.insert(p.value).second) << s;
    }
    for (int series = 0; series <= 99; ++series) {
        if (series == 47)
            continue;
        for (int n : {0, 1, 50000, 99998, 99999}) {
            const std::string s = serial(series, n);
            const Parsed p = parse(s.c_str());
            ASSERT_EQ(p.ok, 1) << s;
            ASSERT_EQ(static_cast<long>(p.value), long(series) * 100000 + n) << s;
            ASSERT_TRUE(seen.insert(p.value).second) << s;
        }
    }
}

TEST(ParseSerialNoText, TextsThatAreNoSerialFail) {
    for (const char* bad : {"", "   ", "-", "12-", "-3456", "12--3456", "12-34-56", "100-00001", "12-100000",
                            "12-3456x", "x12-3456", "12 - 3456", "12-34 56", "123456", "12345678", "1.5-3",
                            "+1-3", "12-+3", "ab-cdefg", "１２-３４５６"}) {
        const Parsed p = parse(bad);
        EXPECT_EQ(p.ok, 0) << '"' << bad << '"';
        EXPECT_EQ(p.value, 0.0f) << '"' << bad << '"';
    }
    float v = 5.0f;
    EXPECT_EQ(ParseSerialNoText(nullptr, &v), 0);
    EXPECT_EQ(ParseSerialNoText("12-3456", nullptr), 0);
}

TEST(ParseSerialNoText, SuccessValueIsAlwaysTheSameSoCallersCanAndThem) {
    EXPECT_EQ(parse("00-00000").ok, 1);
    EXPECT_EQ(parse("98-76543").ok, 1);
    EXPECT_EQ(parse("9876543").ok & parse("1-1").ok, 1);
}
