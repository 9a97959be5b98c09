#include "capture/jpeg_stamper.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "capture/clip_recorder.h"
#include "capture/jpeg_codec.h"
#include "capture/sample_grabber_cb_impl.h"
#include "emulated/emulated_frame_source.h"
#include "tests/capture/capture_test_window.h"
#include "tests/support/test_support.h"

using platform::v4l2::CEmulatedFrameSource;

namespace {

struct Coding {
    const char* name;
    int lumaH, lumaV;  // luma sampling; chroma is 1x1
    bool grey;
    int restartRows;  // 0: no restart markers
    bool stripHuffman;
};

// A camera-like JPEG of picture, coded by libjpeg as asked.
std::vector<unsigned char> Encode(const cv::Mat& bgr, const Coding& how) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = static_cast<JDIMENSION>(bgr.cols);
    c.image_height = static_cast<JDIMENSION>(bgr.rows);
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 80, TRUE);
    if (how.grey) jpeg_set_colorspace(&c, JCS_GRAYSCALE);
    c.comp_info[0].h_samp_factor = how.lumaH;
    c.comp_info[0].v_samp_factor = how.lumaV;
    c.restart_in_rows = how.restartRows;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(bgr.ptr<JSAMPLE>(static_cast<int>(c.next_scanline)));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<unsigned char> out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    if (how.stripHuffman) {
        // Motion JPEG style: the DHT segments left out, the decoder supplies the standard ones.
        for (std::size_t i = 2; i + 4 < out.size() && !(out[i] == 0xFF && out[i + 1] == 0xDA);) {
            const std::size_t length = (out[i + 2] << 8) | out[i + 3];
            if (out[i] == 0xFF && out[i + 1] == 0xC4)
                out.erase(out.begin() + static_cast<long>(i),
                          out.begin() + static_cast<long>(i + 2 + length));
            else
                i += 2 + length;
        }
    }
    return out;
}

bool HasMarker(const std::vector<unsigned char>& jpeg, unsigned char marker) {
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return true;
    return false;
}

cv::Mat Decode(const unsigned char* data, std::size_t size) {
    cv::Mat bgr;
    CJpegCodec codec;
    EXPECT_TRUE(codec.Decode(data, size, bgr));
    return bgr;
}

// Pixels that differ in any channel, outside skip.
int DifferingOutside(const cv::Mat& a, const cv::Mat& b, cv::Rect skip) {
    cv::Mat diff;
    cv::absdiff(a, b, diff);
    cv::cvtColor(diff, diff, cv::COLOR_BGR2GRAY);
    diff(skip).setTo(0);
    return cv::countNonZero(diff);
}

int LogLinesWith(const std::string& path, const std::string& text) {
    std::ifstream in(path);
    int n = 0;
    for (std::string line; std::getline(in, line);)
        if (line.find(text) != std::string::npos) ++n;
    return n;
}

// The decoder's smooth chroma upsampling draws on the neighbouring chroma sample, so the pixels
// right beside recoded blocks of a subsampled frame may change by a little: one pixel around.
cv::Rect WithUpsamplingReach(cv::Rect blocks, bool subsampled) {
    if (!subsampled) return blocks;
    return (blocks + cv::Point(-1, -1) + cv::Size(2, 2)) & cv::Rect(0, 0, 640, 480);
}

platform::SYSTEMTIME Noon() {
    return testing_support::LocalTime(2026, 12, 11, 12, 34, 56);
}

class StampInCodedFrame : public ::testing::TestWithParam<Coding> {};

}  // namespace

TEST_P(StampInCodedFrame, OnlyTheStampBlocksChangeAndTheyMatchTodaysRendering) {
    const Coding how = GetParam();
    const std::vector<unsigned char> camera =
        Encode(CEmulatedFrameSource::Picture(4, 640, 480), how);
    ASSERT_EQ(HasMarker(camera, 0xC4), !how.stripHuffman);
    ASSERT_EQ(HasMarker(camera, 0xD0), how.restartRows > 0);
    const cv::Mat plain = Decode(camera.data(), camera.size());
    ASSERT_EQ(plain.size(), cv::Size(640, 480));
    cv::Mat stamped = plain.clone();
    SampleGrabberCBImpl::DrawTimeStamp(stamped, Noon());

    CJpegStamper stamper;
    const std::uint8_t* out = nullptr;
    std::size_t size = 0;
    ASSERT_TRUE(stamper.Stamp(camera.data(), camera.size(), stamped,
                              SampleGrabberCBImpl::StampBox(), &out, &size))
        << stamper.LastError();
    const std::vector<unsigned char> clipFrame(out, out + size);
    EXPECT_TRUE(HasMarker(clipFrame, 0xC4));  // the standard tables written in
    const cv::Mat got = cv::imdecode(clipFrame, cv::IMREAD_COLOR);
    ASSERT_EQ(got.size(), plain.size());

    const cv::Size mcu = how.grey ? cv::Size(8, 8) : cv::Size(8 * how.lumaH, 8 * how.lumaV);
    const cv::Rect blocks = CJpegStamper::Blocks(SampleGrabberCBImpl::StampBox(), mcu, got.size());
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(DifferingOutside(got, plain, WithUpsamplingReach(blocks, !how.grey)), 0);
    EXPECT_EQ(blocks.x % mcu.width, 0);
    EXPECT_EQ(blocks.y % mcu.height, 0);

    // Inside: today's decode-stamp-encode, within what quantization makes of it; the text
    // strokes come out dark.
    cv::Mat todayFrame;
    {
        CJpegCodec codec;
        const std::uint8_t* data = nullptr;
        std::size_t length = 0;
        ASSERT_TRUE(codec.Encode(stamped, CClipRecorder::kQuality, &data, &length));
        todayFrame = Decode(data, length);
    }
    EXPECT_LT(cv::norm(got(blocks), todayFrame(blocks), cv::NORM_L1) / blocks.area() / 3, 6.0);
    cv::Mat strokes;
    cv::absdiff(stamped(blocks), plain(blocks), strokes);
    cv::cvtColor(strokes, strokes, cv::COLOR_BGR2GRAY);
    strokes = strokes > 60;
    ASSERT_GT(cv::countNonZero(strokes), 100);
    cv::Mat gotGrey, plainGrey;
    cv::cvtColor(got(blocks), gotGrey, cv::COLOR_BGR2GRAY);
    cv::cvtColor(plain(blocks), plainGrey, cv::COLOR_BGR2GRAY);
    EXPECT_LT(cv::mean(gotGrey, strokes)[0] + 40, cv::mean(plainGrey, strokes)[0]);
}

INSTANTIATE_TEST_SUITE_P(Codings, StampInCodedFrame,
                         ::testing::Values(Coding{"yuv420", 2, 2, false, 0, false},
                                           Coding{"yuv422", 2, 1, false, 0, false},
                                           Coding{"yuv420_no_huffman_tables", 2, 2, false, 0, true},
                                           Coding{"yuv422_restart_markers", 2, 1, false, 2, true},
                                           Coding{"grey", 1, 1, true, 1, false}),
                         [](const ::testing::TestParamInfo<Coding>& info) {
                             return std::string(info.param.name);
                         });

// One stamper keeps its coefficient memory from frame to frame: frames whose samplings need
// more, fewer or other arrays than the one before, and a frame decoded for the live picture
// that is not the one stamped next, each come out of it as their own.
TEST(StampInCodedFrameSequence, KeptCoefficientMemoryServesEachFrameAsItsOwn) {
    const Coding codings[] = {{"", 1, 1, false, 0, false},  // 4:4:4: three full arrays
                              {"", 2, 2, false, 0, true},
                              {"", 1, 1, true, 0, false},  // grey: one
                              {"", 2, 1, false, 3, false},
                              {"", 1, 1, false, 0, false}};
    const cv::Rect box = SampleGrabberCBImpl::StampBox();
    CJpegStamper stamper;
    int index = 0;
    for (const Coding& how : codings) {
        const auto camera = Encode(CEmulatedFrameSource::Picture(index, 640, 480), how);
        const cv::Mat plain = Decode(camera.data(), camera.size());
        // Every other frame decoded for the live picture first, its coefficients kept.
        cv::Mat stamped;
        if (index % 2 == 1) {
            ASSERT_TRUE(stamper.DecodeKeeping(camera.data(), camera.size(), {640, 480}, stamped))
                << index;
            EXPECT_EQ(cv::norm(stamped, plain, cv::NORM_INF), 0.0) << index;
        } else {
            stamped = plain.clone();
        }
        SampleGrabberCBImpl::DrawTimeStamp(stamped, Noon());
        const std::uint8_t* out = nullptr;
        std::size_t size = 0;
        ASSERT_TRUE(stamper.Stamp(camera.data(), camera.size(), stamped, box, &out, &size))
            << index << ": " << stamper.LastError();
        const cv::Mat got =
            cv::imdecode(std::vector<unsigned char>(out, out + size), cv::IMREAD_COLOR);
        ASSERT_EQ(got.size(), plain.size()) << index;
        const cv::Size mcu = how.grey ? cv::Size(8, 8) : cv::Size(8 * how.lumaH, 8 * how.lumaV);
        const bool subsampled = !how.grey && (how.lumaH > 1 || how.lumaV > 1);
        const cv::Rect blocks =
            WithUpsamplingReach(CJpegStamper::Blocks(box, mcu, got.size()), subsampled);
        EXPECT_EQ(DifferingOutside(got, plain, blocks), 0) << index;
        ++index;
    }
    // Coefficients kept for one frame are not taken for other bytes.
    const auto first = Encode(CEmulatedFrameSource::Picture(7, 640, 480), codings[1]);
    const auto second = Encode(CEmulatedFrameSource::Picture(8, 640, 480), codings[1]);
    cv::Mat shown;
    ASSERT_TRUE(stamper.DecodeKeeping(first.data(), first.size(), {640, 480}, shown));
    cv::Mat stamped = Decode(second.data(), second.size());
    const cv::Mat plain = stamped.clone();
    SampleGrabberCBImpl::DrawTimeStamp(stamped, Noon());
    const std::uint8_t* out = nullptr;
    std::size_t size = 0;
    ASSERT_TRUE(stamper.Stamp(second.data(), second.size(), stamped, box, &out, &size));
    const cv::Mat got = cv::imdecode(std::vector<unsigned char>(out, out + size), cv::IMREAD_COLOR);
    EXPECT_EQ(
        DifferingOutside(
            got, plain, WithUpsamplingReach(CJpegStamper::Blocks(box, {16, 16}, {640, 480}), true)),
        0);
}

TEST(StampInCodedFrameInput, DamagedOrUnusualFramesAreRefused) {
    const cv::Mat picture = CEmulatedFrameSource::Picture(1, 640, 480);
    cv::Mat stamped = picture.clone();
    SampleGrabberCBImpl::DrawTimeStamp(stamped, Noon());
    CJpegStamper stamper;
    const std::uint8_t* out = nullptr;
    std::size_t size = 0;
    const cv::Rect box = SampleGrabberCBImpl::StampBox();
    // 4:1:1: luma four samples across.
    const auto unusual = Encode(picture, Coding{"", 4, 1, false, 0, false});
    EXPECT_FALSE(stamper.Stamp(unusual.data(), unusual.size(), stamped, box, &out, &size));
    // Another size than the stamped picture's.
    const auto small =
        Encode(CEmulatedFrameSource::Picture(1, 320, 240), Coding{"", 2, 2, false, 0, false});
    EXPECT_FALSE(stamper.Stamp(small.data(), small.size(), stamped, box, &out, &size));
    // A scan cut short, and bytes that are no JPEG.
    auto cut = Encode(picture, Coding{"", 2, 2, false, 0, false});
    cut.resize(cut.size() / 2);
    EXPECT_FALSE(stamper.Stamp(cut.data(), cut.size(), stamped, box, &out, &size));
    const std::vector<unsigned char> junk(4000, 0x5A);
    EXPECT_FALSE(stamper.Stamp(junk.data(), junk.size(), stamped, box, &out, &size));
    EXPECT_FALSE(stamper.LastError().empty());
    // The same object takes a good frame afterwards.
    const auto good = Encode(picture, Coding{"", 2, 2, false, 0, false});
    EXPECT_TRUE(stamper.Stamp(good.data(), good.size(), stamped, box, &out, &size))
        << stamper.LastError();
}

TEST(StampInCodedFrameClip, RefusedFramesAreEncodedStampedAndTheClipReadsBack) {
    const std::string log = TestLogPath();
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/temp.avi").toStdString();
    const cv::Mat picture = CEmulatedFrameSource::Picture(2, 640, 480);
    cv::Mat stamped = picture.clone();
    SampleGrabberCBImpl::DrawTimeStamp(stamped, Noon());
    const auto good = Encode(picture, Coding{"", 2, 2, false, 0, true});
    const auto unusual = Encode(picture, Coding{"", 4, 1, false, 0, false});
    const cv::Rect box = SampleGrabberCBImpl::StampBox();
    const int told = LogLinesWith(log, "not kept as coded");

    CClipRecorder recorder;
    ASSERT_TRUE(recorder.Open(path, 25, 640, 480));
    using Result = CClipRecorder::WriteResult;
    EXPECT_EQ(recorder.WriteOrClose(stamped, good.data(), good.size(), box), Result::Written);
    EXPECT_EQ(recorder.WriteOrClose(stamped, unusual.data(), unusual.size(), box), Result::Written);
    EXPECT_EQ(recorder.WriteOrClose(stamped, unusual.data(), unusual.size(), box), Result::Written);
    EXPECT_EQ(recorder.Stop(), 3);
    ASSERT_TRUE(recorder.Finish());
    EXPECT_EQ(LogLinesWith(log, "not kept as coded"), told + 1);

    // OpenCV (through libavformat) plays it as today's clips...
    cv::VideoCapture reader(path, cv::CAP_FFMPEG);
    ASSERT_TRUE(reader.isOpened());
    EXPECT_EQ(reader.get(cv::CAP_PROP_FOURCC), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
    EXPECT_EQ(reader.get(cv::CAP_PROP_FPS), 25.0);
    int played = 0;
    for (cv::Mat f; reader.read(f); ++played) EXPECT_EQ(f.size(), cv::Size(640, 480));
    EXPECT_EQ(played, 3);
    // ...and its packets, decoded as the camera's frame is, hold the camera's pixels.
    cv::VideoCapture packets(path, cv::CAP_FFMPEG);
    packets.set(cv::CAP_PROP_FORMAT, -1);
    const cv::Mat plain = Decode(good.data(), good.size());
    std::vector<cv::Mat> frames;
    for (cv::Mat p; packets.read(p);) frames.push_back(Decode(p.data, p.total()));
    ASSERT_EQ(frames.size(), 3u);
    const cv::Rect blocks = CJpegStamper::Blocks(box, {16, 16}, {640, 480});
    // The kept frame: exact outside the stamp's blocks.
    EXPECT_EQ(DifferingOutside(frames[0], plain, WithUpsamplingReach(blocks, true)), 0);
    // The refused ones: encoded again, stamp included, so close to the stamped picture all over.
    for (int i = 1; i < 3; ++i) {
        EXPECT_GT(DifferingOutside(frames[i], plain, blocks), 0);
        EXPECT_LT(cv::norm(frames[i](blocks), stamped(blocks), cv::NORM_L1) / blocks.area() / 3,
                  8.0);
    }
}

TEST(StampInCodedFrameCallback, RecordingShowsTheSamePictureAndKeepsTheCameraFrame) {
    TestLogPath();
    platform::SYSTEMTIME noon = Noon();
    platform::SetLocalTimeForTesting(&noon);
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/temp.avi").toStdString();
    CTestCaptureWindow window;
    window.Create();
    SampleGrabberCBImpl callback(&window);
    std::vector<std::vector<unsigned char>> sent;
    ASSERT_TRUE(window.StartRecording(path));
    for (int i = 0; i < 3; ++i) {
        sent.push_back(
            CEmulatedFrameSource::Sample(platform::v4l2::EmulatedSample::Good, i, 640, 480));
        callback.BufferCB(0.0, sent.back().data(), static_cast<long>(sent.back().size()));
    }
    window.m_recorder.Stop();
    ASSERT_TRUE(window.m_recorder.Finish());
    platform::SetLocalTimeForTesting(nullptr);

    // The live picture, decoded while recording, is what the decoder alone gives, stamped.
    cv::Mat expected = Decode(sent.back().data(), sent.back().size());
    SampleGrabberCBImpl::DrawTimeStamp(expected, noon);
    EXPECT_EQ(cv::norm(window.m_lastFrame, expected, cv::NORM_INF), 0.0);

    cv::VideoCapture packets(path, cv::CAP_FFMPEG);
    packets.set(cv::CAP_PROP_FORMAT, -1);
    const cv::Rect around = WithUpsamplingReach(
        CJpegStamper::Blocks(SampleGrabberCBImpl::StampBox(), {16, 16}, {640, 480}), true);
    int n = 0;
    for (cv::Mat p; packets.read(p); ++n) {
        ASSERT_LT(n, 3);
        EXPECT_EQ(DifferingOutside(Decode(p.data, p.total()),
                                   Decode(sent[static_cast<std::size_t>(n)].data(),
                                          sent[static_cast<std::size_t>(n)].size()),
                                   around),
                  0);
    }
    EXPECT_EQ(n, 3);
}
