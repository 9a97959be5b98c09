#include <fcntl.h>
#include <gtest/gtest.h>

#include "emulated/emulated_camera_system.h"
#include "emulated/emulated_frame_source.h"
#include "platform/v4l2/v4l2_syscalls.h"
#include "tests/support/test_support.h"

using namespace platform::v4l2;

// Each open file of an emulated camera holds a real descriptor, so that its number is the
// process's own: closing gives it back, and the ones a test leaves open go with the cameras.
TEST(EmulatedCameras, OpenFilesHoldADescriptorUntilClosedOrTheCamerasGo) {
    CEmulatedFrameSource::Warm();  // whatever the frame source keeps is not counted
    const int before = testing_support::OpenDescriptors();
    {
        CEmulatedCameraSystem cameras({EmulatedCameraConfig::Microscope()});
        const int first = Syscalls().Open(cameras.NodeOf(0).c_str(), O_RDWR);
        const int second = Syscalls().Open(cameras.NodeOf(0).c_str(), O_RDWR);
        ASSERT_GE(first, 0);
        ASSERT_GE(second, 0);
        EXPECT_NE(first, second);
        EXPECT_EQ(cameras.OpenFiles(), 2);
        EXPECT_EQ(testing_support::OpenDescriptors(), before + 2);
        EXPECT_EQ(Syscalls().Close(first), 0);
        EXPECT_EQ(cameras.OpenFiles(), 1);
        EXPECT_EQ(testing_support::OpenDescriptors(), before + 1);
        // The second one is left open.
    }
    EXPECT_EQ(testing_support::OpenDescriptors(), before);
}
