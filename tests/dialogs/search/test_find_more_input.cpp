// Splitting the find-more input into address and subnet mask.
#include <gtest/gtest.h>

#include "dialogs/search/find_more_input.h"

namespace zelmar::dialogs {
namespace {

TEST(FindMoreInput, SplitsAtTheFirstSlashOnly) {
    struct Case {
        const char* typed;
        const char* address;
        const char* mask;
    };
    const Case cases[] = {
        {"127.79.9.4", "127.79.9.4", ""},
        {"127.79.9.0/255.255.255.0", "127.79.9.0", "255.255.255.0"},
        {"127.79.9.4/", "127.79.9.4", ""},
        {"/255.255.255.0", "", "255.255.255.0"},
        {"a/b/c", "a", "b/c"},
        {"", "", ""},
        {"localhost", "localhost", ""},
    };
    for (const Case& c : cases) {
        const AddressInput input = splitAddressInput(QString::fromLatin1(c.typed));
        EXPECT_EQ(input.address, QString::fromLatin1(c.address)) << c.typed;
        EXPECT_EQ(input.mask, QString::fromLatin1(c.mask)) << c.typed;
    }
}

}  // namespace
}  // namespace zelmar::dialogs
