#include "engine/QuotedName.h"

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

TEST(QuotedNameTest, ControlCharactersAreEscapedSoTheMessageStaysOneLine) {
    const struct {
        std::string name;
        std::string shown;
    } cases[] = {
        {"plain.obj", "\"plain.obj\""},
        {"two\nlines.obj", "\"two\\nlines.obj\""},
        {"tab\there\r", "\"tab\\there\\r\""},
        {std::string("esc\x1b[31m") + '\x7f', "\"esc\\x1b[31m\\x7f\""},
        {"quote\"and\\slash", "\"quote\"and\\slash\""},
        {"\xc3\xa9t\xc3\xa9.stl", "\"\xc3\xa9t\xc3\xa9.stl\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QuotedName(c.name), c.shown);
        EXPECT_EQ(QuotedName(std::filesystem::path(c.name)), c.shown);
    }
}

}  // namespace
}  // namespace vistamaze
