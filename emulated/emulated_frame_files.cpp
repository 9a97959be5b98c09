#include "emulated/emulated_frame_files.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace platform::v4l2 {
namespace {

namespace fs = std::filesystem;

bool IsJpegName(const fs::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".jpg" || ext == ".jpeg";
}

std::vector<std::vector<unsigned char>> FolderFrames(const fs::path& dir, std::string* error) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec) && IsJpegName(it->path())) files.push_back(it->path());
    if (ec) *error = dir.string() + ": " + ec.message();
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    std::vector<std::vector<unsigned char>> frames;
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
        if (!in.bad() && !bytes.empty()) frames.push_back(std::move(bytes));
    }
    return frames;
}

std::string AvError(int err) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof(text));
    return text;
}

std::vector<std::vector<unsigned char>> AviFrames(const std::string& path, std::string* error) {
    std::vector<std::vector<unsigned char>> frames;
    AVFormatContext* ctx = nullptr;
    int err = avformat_open_input(&ctx, path.c_str(), nullptr, nullptr);
    if (err < 0) {
        *error = path + ": " + AvError(err);
        return frames;
    }
    err = avformat_find_stream_info(ctx, nullptr);
    const int stream =
        err < 0 ? err : av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) {
        *error = path + ": no video stream";
    } else if (ctx->streams[stream]->codecpar->codec_id != AV_CODEC_ID_MJPEG) {
        *error = path + ": the video is not motion JPEG";
    } else if (AVPacket* packet = av_packet_alloc()) {
        while ((err = av_read_frame(ctx, packet)) >= 0) {
            if (packet->stream_index == stream && packet->size > 0)
                frames.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
        if (err != AVERROR_EOF) *error = path + ": " + AvError(err);
        av_packet_free(&packet);
    }
    avformat_close_input(&ctx);
    return frames;
}

}  // namespace

EmulatedFrames CEmulatedFrameFiles::Load(const std::string& path, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    error->clear();
    std::error_code ec;
    auto frames = fs::is_directory(path, ec) ? FolderFrames(path, error) : AviFrames(path, error);
    if (frames.empty()) {
        if (error->empty()) *error = path + ": no JPEG frames";
        return nullptr;
    }
    return std::make_shared<const std::vector<std::vector<unsigned char>>>(std::move(frames));
}

}  // namespace platform::v4l2
