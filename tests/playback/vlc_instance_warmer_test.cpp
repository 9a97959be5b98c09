#include "playback/vlc_instance_warmer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <vector>

#include "tests/support/test_support.h"

TEST(VlcInstanceWarmer, InstancesAreMadeAheadThenMadeOnDemand) {
    std::set<libvlc_instance_t*> distinct;
    std::vector<VlcInstancePtr> taken;
    {
        CVlcInstanceWarmer warmer(2);
        // Made without anyone asking.
        ASSERT_TRUE(testing_support::WaitUntil([&] { return warmer.ReadyCount() == 2; }));
        for (int i = 0; i < 3; ++i) {  // the third is made at once
            VlcInstancePtr instance = warmer.Take();
            ASSERT_NE(instance, nullptr) << i;
            distinct.insert(instance.get());
            taken.push_back(std::move(instance));
        }
        EXPECT_EQ(warmer.ReadyCount(), 0);
    }
    EXPECT_EQ(distinct.size(), 3u);
}

namespace {

// Threads of this process now.
int Threads() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

}  // namespace

TEST(VlcInstanceWarmer, GoingAwayWhileMakingLeavesNoThreadBehind) {
    {
        CVlcInstanceWarmer first(1);  // libVLC's own first use out of the way
        ASSERT_NE(first.Take(), nullptr);
    }
    const int threads = Threads();
    for (int count : {0, 1, 2}) {
        {
            CVlcInstanceWarmer warmer(count);  // destroyed at once, mid-making or before
        }
        // Its maker thread was joined, not left running.
        EXPECT_EQ(Threads(), threads) << count;
    }
    CVlcInstanceWarmer warmer(1);
    const VlcInstancePtr instance = warmer.Take();  // waits for the one in the making
    EXPECT_NE(instance, nullptr);
}
