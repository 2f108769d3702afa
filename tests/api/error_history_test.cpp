#include "api/error_history.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace lumora {
namespace {

TEST(ErrorHistoryTest, PopsNewestFirstThenZero) {
    ErrorHistory history;
    EXPECT_EQ(history.Pop(), 0);
    history.Record(9);
    history.Record(5);
    history.Record(1);
    EXPECT_EQ(history.Pop(), 1);
    EXPECT_EQ(history.Pop(), 5);
    EXPECT_EQ(history.Pop(), 9);
    EXPECT_EQ(history.Pop(), 0);
}

TEST(ErrorHistoryTest, KeepsTheNewestTwenty) {
    ErrorHistory history;
    for (int code = 1; code <= 21; ++code) history.Record(code);
    for (int code = 21; code >= 2; --code) EXPECT_EQ(history.Pop(), code);
    EXPECT_EQ(history.Pop(), 0);  // the 21st read: code 1 was dropped
}

TEST(ErrorHistoryTest, ConcurrentRecordsAndPopsLoseNothingWithinCapacity) {
    ErrorHistory history;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&] {
            for (int i = 0; i < 5; ++i) history.Record(7);
        });
    }
    for (auto& w : writers) w.join();
    for (int i = 0; i < 20; ++i) EXPECT_EQ(history.Pop(), 7);
    EXPECT_EQ(history.Pop(), 0);
}

}  // namespace
}  // namespace lumora
