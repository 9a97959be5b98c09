#include "emulated/emulated_frame_source.h"

#include <cmath>
#include <mutex>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace platform::v4l2 {
namespace {

struct Loop {
    std::vector<cv::Point2f> path;  // arterial limb up, over the top, venous limb down
};

// Hairpin loops laid out once for the whole picture size.
std::vector<Loop> MakeLoops(int width, int height) {
    cv::RNG rng(20240611);
    std::vector<Loop> loops;
    const int count = 6;
    for (int k = 0; k < count; ++k) {
        const float cx = (k + 0.5f) * width / count + rng.uniform(-12.f, 12.f);
        const float bottom = height * rng.uniform(0.78f, 0.95f);
        const float top = height * rng.uniform(0.12f, 0.3f);
        const float half = width / count * rng.uniform(0.12f, 0.22f);
        const float wiggle = rng.uniform(2.f, 6.f);
        Loop loop;
        for (float y = bottom; y > top; y -= 3.f)
            loop.path.emplace_back(cx - half + wiggle * std::sin(y * 0.05f + k), y);
        for (int a = 0; a <= 24; ++a) {
            const float t = static_cast<float>(CV_PI) * (1.f - a / 24.f);
            loop.path.emplace_back(cx + half * std::cos(t), top - half * std::sin(t));
        }
        for (float y = top; y < bottom; y += 3.f)
            loop.path.emplace_back(cx + half + wiggle * std::sin(y * 0.04f + 2 * k), y);
        loops.push_back(std::move(loop));
    }
    return loops;
}

std::vector<unsigned char> Encode(const cv::Mat& img) {
    std::vector<unsigned char> out;
    cv::imencode(".jpg", img, out, {cv::IMWRITE_JPEG_QUALITY, 85});
    return out;
}

std::once_flag g_cacheOnce;
std::vector<std::vector<unsigned char>> g_cache;  // written once under g_cacheOnce

const std::vector<unsigned char>& CachedGood(int index) {
    std::call_once(g_cacheOnce, [] {
        for (int i = 0; i < CEmulatedFrameSource::kCachedFrames; ++i)
            g_cache.push_back(Encode(CEmulatedFrameSource::Picture(i, 640, 480)));
    });
    return g_cache[static_cast<size_t>(index % CEmulatedFrameSource::kCachedFrames)];
}

}  // namespace

std::vector<unsigned char> CEmulatedFrameSource::Adjusted(const std::vector<unsigned char>& jpeg,
                                                          int offset, double contrast) {
    cv::Mat img = cv::imdecode(jpeg, cv::IMREAD_UNCHANGED);
    if (img.empty()) return jpeg;
    img.convertTo(img, -1, contrast, 128.0 * (1.0 - contrast) + offset);
    return Encode(img);
}

std::vector<unsigned char> CEmulatedFrameSource::WithoutHuffmanTables(
    const std::vector<unsigned char>& jpeg) {
    std::vector<unsigned char> out(jpeg.begin(), jpeg.begin() + std::min<size_t>(2, jpeg.size()));
    size_t at = 2;
    // Marker segments up to the start of scan; the entropy-coded data after it is kept whole.
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const unsigned char marker = jpeg[at + 1];
        if (marker == 0xDA) break;
        const size_t length = (size_t{jpeg[at + 2]} << 8) | jpeg[at + 3];
        const size_t next = std::min(jpeg.size(), at + 2 + length);
        if (marker != 0xC4)
            out.insert(out.end(), jpeg.begin() + static_cast<long>(at),
                       jpeg.begin() + static_cast<long>(next));
        at = next;
    }
    out.insert(out.end(), jpeg.begin() + static_cast<long>(std::min(at, jpeg.size())), jpeg.end());
    return out;
}

cv::Mat CEmulatedFrameSource::Picture(int index, int width, int height) {
    // Blotchy ground: coarse random colours blown up smoothly.
    cv::RNG ground(7);
    cv::Mat coarse(std::max(2, height / 40), std::max(2, width / 40), CV_8UC3);
    for (int y = 0; y < coarse.rows; ++y)
        for (int x = 0; x < coarse.cols; ++x)
            coarse.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(ground.uniform(110, 150)),
                                                   static_cast<uchar>(ground.uniform(115, 155)),
                                                   static_cast<uchar>(ground.uniform(205, 240)));
    cv::Mat img;
    cv::resize(coarse, img, cv::Size(width, height), 0, 0, cv::INTER_CUBIC);

    const float scale = width / 640.f;
    const std::vector<Loop> loops = MakeLoops(width, height);
    for (const Loop& loop : loops) {
        std::vector<cv::Point> pts;
        for (const cv::Point2f& p : loop.path) pts.emplace_back(cvRound(p.x), cvRound(p.y));
        cv::polylines(img, pts, false, cv::Scalar(55, 45, 150), std::max(1, cvRound(11 * scale)),
                      cv::LINE_AA);
        cv::polylines(img, pts, false, cv::Scalar(70, 60, 175), std::max(1, cvRound(5 * scale)),
                      cv::LINE_AA);
        // Cells flow along the loop, a few path steps per frame.
        const int n = static_cast<int>(loop.path.size());
        for (int c = (index * 2) % 7; c < n; c += 7) {
            const cv::Point2f& p = loop.path[static_cast<size_t>(c)];
            cv::ellipse(img, cv::Point(cvRound(p.x), cvRound(p.y)),
                        cv::Size(std::max(1, cvRound(4 * scale)), std::max(1, cvRound(3 * scale))),
                        c * 13.0, 0, 360, cv::Scalar(35, 28, 115), -1, cv::LINE_AA);
        }
    }
    cv::GaussianBlur(img, img, cv::Size(3, 3), 0);
    cv::Mat noise(img.size(), CV_16SC3);
    cv::RNG sensor(static_cast<uint64_t>(1000 + index));
    sensor.fill(noise, cv::RNG::NORMAL, 0, 7);
    cv::Mat noisy;
    img.convertTo(noisy, CV_16SC3);
    noisy += noise;
    noisy.convertTo(img, CV_8UC3);
    return img;
}

void CEmulatedFrameSource::Warm() {
    CachedGood(0);
}

std::vector<unsigned char> CEmulatedFrameSource::Sample(EmulatedSample kind, int index, int width,
                                                        int height) {
    const bool standard = width == 640 && height == 480;
    auto good = [&]() -> std::vector<unsigned char> {
        return standard ? CachedGood(index) : Encode(Picture(index, width, height));
    };
    switch (kind) {
        case EmulatedSample::Good:
        case EmulatedSample::ErrorFlag:
        case EmulatedSample::Oversized:
            return good();
        case EmulatedSample::NoHuffman:
            return WithoutHuffmanTables(good());
        case EmulatedSample::TrailingJunk: {
            std::vector<unsigned char> bytes = good();
            cv::RNG rng(static_cast<uint64_t>(31 + index));
            for (int i = 0; i < 700; ++i)
                bytes.push_back(static_cast<unsigned char>(rng.uniform(1, 256)));
            return bytes;
        }
        case EmulatedSample::Truncated: {
            std::vector<unsigned char> bytes = good();
            bytes.resize(bytes.size() / 2);
            return bytes;
        }
        case EmulatedSample::Garbage: {
            cv::RNG rng(static_cast<uint64_t>(99 + index));
            std::vector<unsigned char> bytes(4096);
            for (unsigned char& b : bytes) b = static_cast<unsigned char>(rng.uniform(0, 256));
            bytes[0] = 0xFF;
            bytes[1] = 0xD8;
            bytes[bytes.size() - 2] = 0xFF;
            bytes[bytes.size() - 1] = 0xD9;
            return bytes;
        }
        case EmulatedSample::Grey: {
            cv::Mat grey;
            cv::cvtColor(Picture(index, width, height), grey, cv::COLOR_BGR2GRAY);
            return Encode(grey);
        }
        case EmulatedSample::Empty:
            return {};
    }
    return {};
}

}  // namespace platform::v4l2
