// The arithmetic of frames and snapshot names, at rates whose frame times are not whole
// milliseconds.
#include "playback/pane_review.h"

#include <gtest/gtest.h>

TEST(PaneReviewFrames, EveryFrameTimeMapsBackToItsFrame) {
    for (double fps : {5.0, 25.0, 30.0, 29.97, 60.0}) {
        for (int frame = 0; frame < 5000; ++frame) {
            const int64_t ms = CPaneReview::FrameTimeMs(frame, fps);
            ASSERT_EQ(CPaneReview::FrameAt(ms, fps, 0), frame) << fps << " fps, " << ms << " ms";
        }
    }
    // Half a frame in still shows the frame; the last frame is the last one there is.
    EXPECT_EQ(CPaneReview::FrameAt(60, 25.0, 0), 1);
    EXPECT_EQ(CPaneReview::FrameAt(79, 25.0, 0), 1);
    EXPECT_EQ(CPaneReview::FrameAt(100000, 25.0, 40), 39);
    EXPECT_EQ(CPaneReview::FrameAt(-5, 25.0, 40), 0);
}

TEST(PaneReviewFrames, SnapshotNamesCarryTheClipNameAndSixDigits) {
    EXPECT_EQ(CPaneReview::SnapshotPath(QStringLiteral("/v/2026-12-10/090403.avi"), 123),
              QStringLiteral("/v/2026-12-10/090403_000123.png"));
    EXPECT_EQ(CPaneReview::SnapshotPath(QStringLiteral("/v/患者 甲/a.b.avi"), 1234567),
              QStringLiteral("/v/患者 甲/a.b_1234567.png"));
}
