#include "capture/clip_recorder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <filesystem>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "capture/avi_mjpeg_writer.h"
#include "capture/jpeg_codec.h"
#include "emulated/emulated_frame_source.h"
#include "tests/capture/capture_test_window.h"
#include "tests/support/test_support.h"

extern "C" {
#include <libavformat/avformat.h>
}

using platform::v4l2::CEmulatedFrameSource;
using platform::v4l2::EmulatedSample;
using Result = CClipRecorder::WriteResult;

namespace {

// ThreadSanitizer cannot follow a fork from a process with threads running; the tests that fork
// run in the plain and AddressSanitizer builds.
#if defined(__SANITIZE_THREAD__)
#define SKIP_IF_FORK_UNSUPPORTED() GTEST_SKIP() << "fork() with threads under ThreadSanitizer"
#else
#define SKIP_IF_FORK_UNSUPPORTED() (void)0
#endif

cv::Mat Picture(int index) {
    const std::vector<unsigned char> jpeg =
        CEmulatedFrameSource::Sample(EmulatedSample::Good, index, 640, 480);
    cv::Mat bgr;
    CJpegCodec codec;
    EXPECT_TRUE(codec.Decode(jpeg.data(), jpeg.size(), bgr));
    return bgr;
}

// What a demuxer sees in the file, read as ffprobe would.
struct Probe {
    bool opened = false;
    std::string format;
    AVCodecID codec = AV_CODEC_ID_NONE;
    unsigned tag = 0;
    int width = 0, height = 0;
    AVRational rate{0, 1};
    long long packets = 0;
};

Probe ProbeClip(const std::string& path) {
    Probe p;
    AVFormatContext* ctx = nullptr;
    if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) != 0) return p;
    if (avformat_find_stream_info(ctx, nullptr) >= 0 && ctx->nb_streams == 1) {
        p.opened = true;
        p.format = ctx->iformat->name;
        const AVStream* s = ctx->streams[0];
        p.codec = s->codecpar->codec_id;
        p.tag = s->codecpar->codec_tag;
        p.width = s->codecpar->width;
        p.height = s->codecpar->height;
        p.rate = s->avg_frame_rate;
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(ctx, packet) >= 0) {
            if (packet->size > 0) ++p.packets;
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    avformat_close_input(&ctx);
    return p;
}

class ClipRecorderTest : public ::testing::Test {
  protected:
    std::string Path() const { return (m_dir.path() + "/temp.avi").toStdString(); }
    QTemporaryDir m_dir;
};

}  // namespace

TEST_F(ClipRecorderTest, WritesMotionJpegAviThatDemuxersAndOpenCvRead) {
    CClipRecorder recorder;
    ASSERT_TRUE(recorder.Open(Path(), 25, 640, 480));
    const cv::Mat source = Picture(3);
    for (int i = 0; i < 30; ++i) ASSERT_EQ(recorder.WriteOrClose(Picture(i)), Result::Written);
    EXPECT_EQ(recorder.WriteOrClose(cv::Mat(240, 320, CV_8UC3)), Result::Skipped);
    recorder.Stop();
    EXPECT_TRUE(recorder.IsOpen());  // closed by the next frame, not by the stop
    EXPECT_EQ(recorder.WriteOrClose(source), Result::Closed);
    EXPECT_EQ(recorder.WriteOrClose(source), Result::Idle);
    EXPECT_EQ(recorder.FramesWritten(), 30);

    const Probe p = ProbeClip(Path());
    ASSERT_TRUE(p.opened);
    EXPECT_EQ(p.format, "avi");
    EXPECT_EQ(p.codec, AV_CODEC_ID_MJPEG);
    EXPECT_EQ(p.tag, static_cast<unsigned>(MKTAG('M', 'J', 'P', 'G')));
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.height, 480);
    EXPECT_EQ(p.rate.num, 25);
    EXPECT_EQ(p.rate.den, 1);
    EXPECT_EQ(p.packets, 30);

    cv::VideoCapture reader(Path());
    ASSERT_TRUE(reader.isOpened());
    EXPECT_DOUBLE_EQ(reader.get(cv::CAP_PROP_FPS), 25.0);
    EXPECT_EQ(reader.get(cv::CAP_PROP_FRAME_COUNT), 30);
    cv::Mat frame;
    for (int i = 0; i <= 3; ++i) ASSERT_TRUE(reader.read(frame));
    ASSERT_EQ(frame.size(), cv::Size(640, 480));
    // The clip looks like the picture it was made from.
    EXPECT_GT(cv::PSNR(frame, source), 35.0);
}

TEST_F(ClipRecorderTest, OpenFailsOnAnUnwritableFolderAndSaysWhy) {
    const int descriptors = testing_support::OpenDescriptors();
    CClipRecorder recorder;
    EXPECT_FALSE(
        recorder.Open(m_dir.path().toStdString() + "/no/such/folder/temp.avi", 25, 640, 480));
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_NE(recorder.LastError().find("No such file or directory"), std::string::npos);
    // A device that takes no bytes: the header cannot be written.
    EXPECT_FALSE(recorder.Open("/dev/full", 25, 640, 480));
    EXPECT_NE(recorder.LastError().find("No space left on device"), std::string::npos);
    // The device was opened before the header failed; it is closed again.
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_EQ(testing_support::OpenDescriptors(), descriptors);
}

// A file-size limit in the middle of a recording: one failure, the recording stopped, and every
// frame written before it still decodes.
TEST_F(ClipRecorderTest, WriteFailureClosesTheFileDecodablyAndStopsOnce) {
    SKIP_IF_FORK_UNSUPPORTED();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{3 << 20, 3 << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        CClipRecorder recorder;
        if (!recorder.Open(Path(), 25, 640, 480)) _exit(10);
        int failures = 0, after = 0;
        for (int i = 0; i < 400; ++i) {
            const Result r = recorder.WriteOrClose(Picture(i));
            if (r == Result::Failed)
                ++failures;
            else if (failures > 0 && r != Result::Idle)
                ++after;
        }
        if (failures != 1 || after != 0 || recorder.IsRecording() || recorder.IsOpen()) _exit(11);
        if (recorder.LastError().find("File too large") == std::string::npos) _exit(12);
        std::FILE* f = std::fopen((Path() + ".count").c_str(), "w");
        std::fprintf(f, "%lld\n", recorder.FramesWritten());
        std::fclose(f);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    long long written = 0;
    std::FILE* f = std::fopen((Path() + ".count").c_str(), "r");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fscanf(f, "%lld", &written), 1);
    std::fclose(f);
    EXPECT_GT(written, 10);
    EXPECT_GE(ProbeClip(Path()).packets, written);
    EXPECT_GE(CountClipFrames(Path()), written);
}

TEST_F(ClipRecorderTest, KilledMidRecordingLeavesAClipThatDecodesToItsLastWholeFrame) {
    SKIP_IF_FORK_UNSUPPORTED();
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        CClipRecorder recorder;
        if (!recorder.Open(Path(), 25, 640, 480)) _exit(10);
        for (int i = 0;; ++i) {
            recorder.WriteOrClose(Picture(i % 8));
            if (i == 40) {
                const char one = 1;
                if (write(pipeFds[1], &one, 1) != 1) _exit(11);
            }
        }
    }
    close(pipeFds[1]);
    char got = 0;
    ASSERT_EQ(read(pipeFds[0], &got, 1), 1);
    close(pipeFds[0]);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    const Probe p = ProbeClip(Path());
    ASSERT_TRUE(p.opened);
    EXPECT_EQ(p.codec, AV_CODEC_ID_MJPEG);
    EXPECT_GE(p.packets, 41);
    const int decoded = CountClipFrames(Path());
    EXPECT_GE(decoded, 41);
    EXPECT_GE(decoded, p.packets - 1);  // at most the frame being written is lost
}

// Past 1 GB the muxer goes on in OpenDML form: a clip over 2 GB keeps every frame.
TEST_F(ClipRecorderTest, ClipBeyondTwoGigabytesStaysWhole) {
    // A large but valid picture: noise at full quality without chroma subsampling is ~900 KB.
    cv::Mat noise(480, 640, CV_8UC3);
    cv::randu(noise, 0, 256);
    std::vector<unsigned char> jpeg(tjBufSize(640, 480, TJSAMP_444));
    {
        tjhandle encoder = tjInitCompress();
        unsigned char* out = jpeg.data();
        unsigned long size = jpeg.size();
        ASSERT_EQ(tjCompress2(encoder, noise.data, 640, 0, 480, TJPF_BGR, &out, &size, TJSAMP_444,
                              100, TJFLAG_NOREALLOC),
                  0);
        tjDestroy(encoder);
        jpeg.resize(size);
    }
    const long long frames = (2300LL << 20) / static_cast<long long>(jpeg.size()) + 1;
    {
        CAviMjpegWriter writer;
        ASSERT_TRUE(writer.Open(Path(), 25, 640, 480));
        for (long long i = 0; i < frames; ++i)
            ASSERT_TRUE(writer.WritePacket(jpeg.data(), jpeg.size())) << writer.LastError();
        ASSERT_TRUE(writer.Close()) << writer.LastError();
    }
    EXPECT_GT(std::filesystem::file_size(Path()), 2300ULL << 20);
    EXPECT_EQ(ProbeClip(Path()).packets, frames);

    cv::VideoCapture reader(Path());
    ASSERT_TRUE(reader.isOpened());
    EXPECT_EQ(static_cast<long long>(reader.get(cv::CAP_PROP_FRAME_COUNT)), frames);
    ASSERT_TRUE(reader.set(cv::CAP_PROP_POS_FRAMES, static_cast<double>(frames - 1)));
    cv::Mat last;
    ASSERT_TRUE(reader.read(last));
    EXPECT_GT(cv::PSNR(last, noise), 30.0);
    std::filesystem::remove(Path());
}
