#include "platform/LastError.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

TEST(LastErrorTest, EachThreadHasItsOwnCodeAndDetail) {
    SetLastError(ERROR_INTERNET_TIMEOUT, "Operation timed out after 1000 milliseconds");
    std::thread other([] {
        EXPECT_EQ(GetLastError(), 0U);
        EXPECT_EQ(LastErrorDetail(), "");
        SetLastError(5, "other thread");
    });
    other.join();
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_EQ(LastErrorDetail(), "Operation timed out after 1000 milliseconds");

    // A code set without a detail does not inherit the old one.
    SetLastError(2);
    EXPECT_EQ(LastErrorDetail(), "");
}

TEST(LastErrorTest, KeeperPutsCodeAndDetailBack) {
    SetLastError(ERROR_INTERNET_CANNOT_CONNECT, "Failed to connect");
    {
        const LastErrorKeeper keep;
        SetLastError(0);
    }
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_EQ(LastErrorDetail(), "Failed to connect");
}

} // namespace
