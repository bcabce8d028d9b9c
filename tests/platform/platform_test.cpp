// The platform layer as its callers rely on it, and the per-thread error
// text buffer built on it. Runs on both backends (native and under Wine).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
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
    std::atomic<int> started{0}, finished{0};
    const char* buffers[2] = {};
    // Both threads live through both loops: a thread that has ended may
    // hand its buffer's memory on to the next one.
    const auto meet = [](std::atomic<int>& count) {
        ++count;
        while (count.load() < 2) std::this_thread::yield();
    };
    // Each thread checks against its text as formatted before either starts.
    auto work = [&](int k, int32_t code, const std::string& expected) {
        BigFile bf;
        meet(started);
        for (int i = 0; i < 20000; ++i)
            if (expected != (buffers[k] = bf.GetErrorText(code, 3))) ++torn;
        meet(finished);
    };
    BigFile bf;
    std::thread a(work, 0, BFE_FILE_IO, std::string(bf.GetErrorText(BFE_FILE_IO, 3)));
    std::thread b(work, 1, BFE_MEMORY, std::string(bf.GetErrorText(BFE_MEMORY, 3)));
    a.join();
    b.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_NE(buffers[0], buffers[1]);  // a buffer of each thread's own
}
