// Samples as real cameras send them: without Huffman tables, with junk after the end marker,
// with a bytesused larger than the picture; and a fuzz run of broken samples.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <random>

#include "capture/jpeg_codec.h"
#include "capture/jpeg_sample.h"
#include "capture/sample_grabber_cb_impl.h"
#include "emulated/emulated_frame_source.h"

using platform::v4l2::CEmulatedFrameSource;
using platform::v4l2::EmulatedSample;

namespace {

std::vector<BYTE> Sample(EmulatedSample kind, int index = 0, int w = 640, int h = 480) {
    return CEmulatedFrameSource::Sample(kind, index, w, h);
}

cv::Mat Decode(SampleGrabberCBImpl& cb, const std::vector<BYTE>& bytes) {
    return cb.DecodeSample(bytes.data(), static_cast<long>(bytes.size()));
}

bool HasMarker(const std::vector<BYTE>& bytes, BYTE marker) {
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == marker) return true;
    return false;
}

double Difference(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type()) return 1e9;
    return cv::norm(a, b, cv::NORM_INF);
}

}  // namespace

TEST(CameraSample, CutAtTheLastEndMarker) {
    const std::vector<BYTE> good = Sample(EmulatedSample::Good);
    const long whole = static_cast<long>(good.size());
    // Junk with an end marker of its own (a second picture's tail, stale bytes) is cut after it.
    std::vector<BYTE> bytes = good;
    const std::vector<BYTE> junk = {0x12, 0xFF, 0xD9, 0x00, 0x55, 0xFF, 0xD9, 0x07, 0x08};
    bytes.insert(bytes.end(), junk.begin(), junk.end());
    EXPECT_EQ(JpegSampleLength(bytes.data(), static_cast<long>(bytes.size())), whole + 7);
    // Without the start marker, or without any end marker, it is no JPEG.
    EXPECT_EQ(JpegSampleLength(bytes.data() + 1, static_cast<long>(bytes.size()) - 1), 0);
    std::vector<BYTE> open(good.begin(), good.end() - 2);
    EXPECT_EQ(JpegSampleLength(open.data(), static_cast<long>(open.size())), 0);
    EXPECT_EQ(JpegSampleLength(nullptr, 100), 0);
    const BYTE smallest[] = {0xFF, 0xD8, 0xFF, 0xD9};
    EXPECT_EQ(JpegSampleLength(smallest, 4), 4);
    EXPECT_EQ(JpegSampleLength(smallest, 3), 0);
}

TEST(CameraSample, WithoutHuffmanTablesDecodesWithTheStandardOnes) {
    SampleGrabberCBImpl cb;
    const std::vector<BYTE> good = Sample(EmulatedSample::Good, 4);
    const std::vector<BYTE> bare = Sample(EmulatedSample::NoHuffman, 4);
    ASSERT_TRUE(HasMarker(good, 0xC4));
    ASSERT_FALSE(HasMarker(bare, 0xC4));
    ASSERT_LT(bare.size(), good.size());
    const cv::Mat expected = Decode(cb, good);
    ASSERT_FALSE(expected.empty());
    const cv::Mat got = Decode(cb, bare);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(Difference(got, expected), 0.0);
}

TEST(CameraSample, TrailingJunkAndOversizedBytesusedDecodeLikeTheClean) {
    SampleGrabberCBImpl cb;
    const cv::Mat expected = Decode(cb, Sample(EmulatedSample::Good, 2));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Difference(Decode(cb, Sample(EmulatedSample::TrailingJunk, 2)), expected), 0.0);
    // bytesused covers the whole buffer: an earlier, larger frame's bytes follow the picture.
    std::vector<BYTE> buffer = Sample(EmulatedSample::Good, 9);
    const std::vector<BYTE> now = Sample(EmulatedSample::Good, 2);
    buffer.resize(std::max(buffer.size(), now.size() + 100), 0xA5);
    std::copy(now.begin(), now.end(), buffer.begin());
    EXPECT_EQ(Difference(Decode(cb, buffer), expected), 0.0);
    // The same with zero padding up to the buffer's size.
    std::vector<BYTE> padded = now;
    padded.resize(640 * 480 * 2, 0);
    EXPECT_EQ(Difference(Decode(cb, padded), expected), 0.0);
}

// 10,000 random, truncated and bit-flipped samples (fixed seed): none crashes, whatever decodes
// is a sane BGR picture, the decoder still decodes good samples afterwards, and the heap does
// not grow with the number of bad samples.
TEST(CameraSample, FuzzedSamplesNeitherCrashNorLeak) {
    SampleGrabberCBImpl cb;
    std::vector<std::vector<BYTE>> seeds;
    for (int i = 0; i < 4; ++i) {
        seeds.push_back(Sample(EmulatedSample::Good, i, 160, 120));
        seeds.push_back(Sample(EmulatedSample::NoHuffman, i, 160, 120));
    }
    seeds.push_back(Sample(EmulatedSample::Grey, 1, 160, 120));
    const cv::Mat reference = Decode(cb, seeds[0]);
    ASSERT_FALSE(reference.empty());

    std::mt19937 rng(20251210);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    auto mutate = [&](int round) {
        std::vector<BYTE> bytes = seeds[pick(seeds.size())];
        switch (round % 4) {
            case 0: {  // random bytes, half of them behind a start marker
                bytes.assign(1 + pick(6000), 0);
                for (BYTE& b : bytes) b = static_cast<BYTE>(rng());
                if (round % 8 == 0 && bytes.size() >= 2) bytes[0] = 0xFF, bytes[1] = 0xD8;
                break;
            }
            case 1:  // truncated, with or without an end marker put back
                bytes.resize(pick(bytes.size()));
                if (round % 8 == 1) bytes.insert(bytes.end(), {0xFF, 0xD9});
                break;
            case 2: {  // bit flips anywhere, the markers included
                const int flips = 1 + static_cast<int>(pick(8));
                for (int k = 0; k < flips; ++k) bytes[pick(bytes.size())] ^= BYTE(1u << pick(8));
                break;
            }
            default: {  // a whole segment's length field or a run of bytes overwritten
                const size_t at = pick(bytes.size());
                const size_t n = std::min(bytes.size() - at, 1 + pick(32));
                for (size_t k = 0; k < n; ++k) bytes[at + k] = static_cast<BYTE>(rng());
                break;
            }
        }
        return bytes;
    };

    auto run = [&](int from, int to, int* decoded) {
        for (int round = from; round < to; ++round) {
            const std::vector<BYTE> bytes = mutate(round);
            const cv::Mat image = Decode(cb, bytes);
            if (image.empty()) continue;
            ++*decoded;
            ASSERT_EQ(image.type(), CV_8UC3) << "round " << round;
            ASSERT_TRUE(image.isContinuous()) << "round " << round;
            ASSERT_GT(image.cols, 0) << "round " << round;
            ASSERT_LE(image.cols, 16384) << "round " << round;
        }
    };
    int decoded = 0;
    run(0, 500, &decoded);  // the codec's buffers reach their size
    const size_t heapBefore = mallinfo2().uordblks;
    run(500, 10000, &decoded);
    const size_t heapAfter = mallinfo2().uordblks;

    EXPECT_GT(decoded, 500);  // bit flips in the picture data mostly still decode
    EXPECT_LT(decoded, 9500);
    EXPECT_EQ(Difference(Decode(cb, seeds[0]), reference), 0.0);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LT(heapAfter, heapBefore + 2 * 1024 * 1024) << "heap grew by " << heapAfter - heapBefore;
#else
    (void)heapBefore;
    (void)heapAfter;
#endif
}
