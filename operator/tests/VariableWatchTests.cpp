// The variable watch's hand-over and row rules.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "operator/VariableWatch.h"
#include "script/tests/ScriptTestSupport.h"

namespace {

using scripttest::Declared;

TEST(VariableWatchFeed, KeepsAtMostOneCopyASecond)
{
    VariableWatchFeed feed;
    EXPECT_FALSE(feed.Names().has_value());
    EXPECT_EQ(feed.TakePending(), nullptr);

    std::vector<Variable> variables = Declared({"int n = 1;", "STRING who = \"Ada\";"});
    EXPECT_TRUE(feed.SetVariables(variables, 5000));
    variables[0].iValue = 2;
    EXPECT_FALSE(feed.SetVariables(variables, 5999));  // the same second: no copy
    auto copy = feed.TakePending();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ((*copy)[0].iValue, 1);
    EXPECT_EQ(feed.TakePending(), nullptr) << "a copy is taken once";

    EXPECT_TRUE(feed.SetVariables(variables, 6000));  // 1000 ms after the last copy
    copy = feed.TakePending();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ((*copy)[0].iValue, 2);
    // The names stay for the drop-downs after the copy was taken.
    EXPECT_EQ(feed.Names(), (std::vector<std::string>{"n", "who"}));
}

TEST(VariableWatchFeed, HandOverWhileTheWindowReadsIsSafe)
{
    // The script thread replaces the copy while the window takes and reads it;
    // under the sanitizers an unguarded exchange shows as a use after free.
    VariableWatchFeed feed;
    std::vector<Variable> variables = Declared({"int a = 1;", "double b = 2;", "STRING c = \"x\";"});
    std::atomic<bool> done{false};
    std::thread script([&] {
        for (int64_t ms = 0; ms < 2000 * 1000; ms += 1000)
            feed.SetVariables(variables, ms);
        done = true;
    });
    size_t seen = 0;
    while (!done) {
        if (auto copy = feed.TakePending())
            seen += copy->size();
        if (auto names = feed.Names())
            seen += names->size();
    }
    script.join();
    EXPECT_GT(seen, 0u);
}

TEST(VariableWatchRows, NamesMatchWithoutCaseAndUnknownNamesKeepTheirText)
{
    const std::vector<Variable> copy =
        Declared({"int Count = 42;", "double rate = 0.125;", "double big = 1e12;", "STRING who = \"Ada\";"});
    const std::vector<std::string> rows = {"count", "RATE", "Big", "who", "", "missing"};
    const auto values = WatchRowValues(rows, copy);
    ASSERT_EQ(values.size(), rows.size());
    EXPECT_EQ(values[0], std::optional<std::string>("42"));
    EXPECT_EQ(values[1], std::optional<std::string>("0.125"));
    EXPECT_EQ(values[2], std::optional<std::string>("1e+12"));
    EXPECT_EQ(values[3], std::optional<std::string>("Ada"));
    EXPECT_EQ(values[4], std::optional<std::string>(""));  // an empty row is emptied
    EXPECT_EQ(values[5], std::nullopt);

    Variable undefined;
    undefined.name = "u";
    std::string text = "kept";
    EXPECT_FALSE(VariableToText(undefined, text));
    EXPECT_EQ(WatchRowValues({"u"}, {undefined})[0], std::nullopt);
}

TEST(VariableWatchRows, WatchAllFillsTheFirstRowsInListOrder)
{
    const auto rows = WatchAllNames({"z", "a", "m"});
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[0], "z");
    EXPECT_EQ(rows[1], "a");
    EXPECT_EQ(rows[2], "m");
    for (size_t k = 3; k < rows.size(); ++k)
        EXPECT_EQ(rows[k], "") << k;

    std::vector<std::string> many;
    for (int i = 0; i < 12; ++i)
        many.push_back("v" + std::to_string(i));
    EXPECT_EQ(WatchAllNames(many).back(), "v9");
}

}  // namespace
