#include "playback/clip_probe.h"

#include <QFileInfo>
#include <memory>

#include "platform/system.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

// Packets of other streams (sound, subtitles) looked past before giving up on the video.
constexpr int kMaxPackets = 256;

struct InputClose {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

}  // namespace

int CClipProbe::CountFrames(const QString& path, int upTo) {
    const std::string narrow = platform::ToNarrowPath(path);
    // Only a regular file: opening a pipe or a device would wait for its writer.
    if (narrow.empty() || !QFileInfo(path).isFile()) return 0;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, narrow.c_str(), nullptr, nullptr) < 0) return 0;
    std::unique_ptr<AVFormatContext, InputClose> input(raw);
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!packet) return 0;
    int frames = 0;
    for (int read = 0; frames < upTo && read < kMaxPackets; ++read) {
        if (av_read_frame(input.get(), packet.get()) < 0) break;
        const AVStream* stream = input->streams[packet->stream_index];
        const bool picture = stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                             stream->codecpar->codec_id != AV_CODEC_ID_NONE &&
                             !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
        if (picture && packet->size > 0) ++frames;
        av_packet_unref(packet.get());
    }
    return frames;
}
