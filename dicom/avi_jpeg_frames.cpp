#include "dicom/avi_jpeg_frames.h"

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

struct InputClose {
    void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

std::string AvText(const char* what, int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return std::string(what) + ": " + text;
}

}  // namespace

size_t CAviJpegFrames::Bytes() const {
    size_t total = 0;
    for (const auto& frame : m_frames) total += frame.size();
    return total;
}

bool CAviJpegFrames::Read(const std::string& path) {
    m_frames.clear();
    m_width = m_height = 0;
    m_declaredRate = 0;
    AVFormatContext* raw = nullptr;
    int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (rc < 0) {
        m_error = AvText("opening the clip", rc);
        return false;
    }
    std::unique_ptr<AVFormatContext, InputClose> format(raw);
    int stream = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* codec = format->streams[i]->codecpar;
        if (codec->codec_type == AVMEDIA_TYPE_VIDEO && codec->codec_id == AV_CODEC_ID_MJPEG) {
            stream = static_cast<int>(i);
            m_width = codec->width;
            m_height = codec->height;
            const AVRational rate = format->streams[i]->avg_frame_rate.num > 0
                                        ? format->streams[i]->avg_frame_rate
                                        : format->streams[i]->r_frame_rate;
            if (rate.num > 0 && rate.den > 0) m_declaredRate = av_q2d(rate);
            break;
        }
    }
    if (stream < 0 || m_width <= 0 || m_height <= 0) {
        m_error = "the clip holds no motion-JPEG video";
        return false;
    }
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    while ((rc = av_read_frame(format.get(), packet.get())) >= 0) {
        if (packet->stream_index == stream && packet->size > 0)
            m_frames.emplace_back(packet->data, packet->data + packet->size);
        av_packet_unref(packet.get());
    }
    if (rc != AVERROR_EOF) {
        m_error = AvText("reading the clip", rc);
        return false;
    }
    if (m_frames.empty()) {
        m_error = "the clip has no frame";
        return false;
    }
    return true;
}
