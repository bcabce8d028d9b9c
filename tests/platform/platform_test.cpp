// The platform layer as its callers rely on it, and the per-thread error
// text buffer built on it. Runs on both backends (native and under Wine).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include <orvobf/ORVOBF.H>
#include <orvobf/platform.h>

TEST(Platform, LockIsReentrantAndExcludesOtherThreads) {
    BfLock* lock = orvobf::platform::LockCreate();
    ASSERT_NE(lock, nullptr);
    orvobf::platform::LockEnter(lock);
    orvobf::platform::LockEnter(lock);  // the holder may enter again
    std::atomic<bool> entered{false};
    std::thread other([&] {
        orvobf::platform::LockEnter(lock);
        entered = true;
        orvobf::platform::LockLeave(lock);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered.load());
    orvobf::platform::LockLeave(lock);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(entered.load());  // still held once
    orvobf::platform::LockLeave(lock);
    other.join();
    EXPECT_TRUE(entered.load());
    orvobf::platform::LockDestroy(lock);

    int counter = 0;
    lock = orvobf::platform::LockCreate();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                orvobf::platform::LockEnter(lock);
                ++counter;
                orvobf::platform::LockLeave(lock);
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 80000);
    orvobf::platform::LockDestroy(lock);
}

// (The formatter is checked through every error text of the core tests.)
TEST(Platform, CaseFoldingMatchesTheLibrarysNeeds) {
    EXPECT_EQ(orvobf::platform::StrICmp("OrvoBF", "ORVObf"), 0);
    EXPECT_LT(orvobf::platform::StrICmp("_a", "a"), 0);        // '_' before letters
    EXPECT_GT(orvobf::platform::StrICmp("\xE9", "z"), 0);      // unsigned bytes
    EXPECT_NE(orvobf::platform::StrICmp("\xC9", "\xE9"), 0);   // only A-Z fold
    EXPECT_EQ(orvobf::platform::StrNICmp("abcX", "ABCy", 3), 0);
}

TEST(Platform, ClockCountsMilliseconds) {
    const uint32_t t0 = orvobf::platform::TimeMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const uint32_t elapsed = orvobf::platform::TimeMs() - t0;
    EXPECT_GE(elapsed, 25u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(Platform, ErrorTextsOfTwoThreadsNeverTear) {
    std::atomic<int> torn{0};
    auto work = [&](int32_t code, const char* expected) {
        BigFile bf;
        for (int i = 0; i < 20000; ++i) {
            const char* text = bf.GetErrorText(code, 3);
            if (std::strcmp(text, expected) != 0) ++torn;
        }
    };
    std::thread a(work, BFE_FILE_IO, "BigFile Error -5110\tFile i/o error (3).");
    std::thread b(work, BFE_MEMORY, "BigFile Error -5120\tMemory allocation error (3).");
    a.join();
    b.join();
    EXPECT_EQ(torn.load(), 0);
}
