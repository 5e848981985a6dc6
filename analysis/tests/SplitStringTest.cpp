#include "analysis/SplitString.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
    std::string text;
    char delimiter;
    std::vector<std::string> fields;
};

TEST(SplitStringTest, KeepsEmptyFieldsAndAlwaysAddsTheLast) {
    const std::vector<SplitCase> cases = {
        {"", ':', {""}},
        {"no delimiter", ':', {"no delimiter"}},
        {"a\t\tb", '\t', {"a", "", "b"}},
        {"description:basler", ':', {"description", "basler"}},
        {"trailing:", ':', {"trailing", ""}},
        {":", ':', {"", ""}},
        {"a,b,c", ',', {"a", "b", "c"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitString(c.text, c.delimiter), c.fields) << "text: \"" << c.text << "\"";
    }
}

}  // namespace
