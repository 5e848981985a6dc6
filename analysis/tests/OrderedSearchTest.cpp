#include "analysis/OrderedSearch.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(OrderedSearchTest, AnswersAsAPlainLoopWould)
{
    // The first passing candidate wins, whatever finishes first.
    EXPECT_EQ(FindFirstInOrder(10, [](int i) { return i == 6 || i == 7 || i == 9; }), 6);
    EXPECT_EQ(FindFirstInOrder(10, [](int) { return false; }), -1);
    EXPECT_EQ(FindFirstInOrder(0, [](int) { return true; }), -1);

    // An error before the first pass is raised; one after it was never reached.
    EXPECT_THROW(FindFirstInOrder(10,
                                  [](int i) {
                                      if (i == 2)
                                          throw std::runtime_error("frame 2");
                                      return i == 3;
                                  }),
                 std::runtime_error);
    EXPECT_EQ(FindFirstInOrder(10,
                               [](int i) {
                                   if (i == 3)
                                       throw std::runtime_error("frame 3");
                                   return i == 2;
                               }),
              2);
}

}  // namespace
