#include "playback/vlc_instance_warmer.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/support/test_support.h"

TEST(VlcInstanceWarmer, InstancesAreMadeAheadThenMadeOnDemand) {
    std::set<libvlc_instance_t*> taken;
    {
        CVlcInstanceWarmer warmer(2);
        // Made without anyone asking.
        ASSERT_TRUE(testing_support::WaitUntil([&] { return warmer.ReadyCount() == 2; }, 20000));
        for (int i = 0; i < 3; ++i) {  // the third is made at once
            libvlc_instance_t* instance = warmer.Take();
            ASSERT_NE(instance, nullptr) << i;
            taken.insert(instance);
        }
        EXPECT_EQ(warmer.ReadyCount(), 0);
    }
    EXPECT_EQ(taken.size(), 3u);
    for (libvlc_instance_t* instance : taken) libvlc_release(instance);
}

TEST(VlcInstanceWarmer, GoingAwayWhileMakingReleasesWhatWasNotTaken) {
    for (int count : {0, 1, 2}) {
        CVlcInstanceWarmer warmer(count);  // destroyed at once, mid-making or before
    }
    CVlcInstanceWarmer warmer(1);
    libvlc_instance_t* instance = warmer.Take();  // waits for the one in the making
    ASSERT_NE(instance, nullptr);
    libvlc_release(instance);
}
