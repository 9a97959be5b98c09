#include "capture/avi_mjpeg_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

namespace {

constexpr int kIoBufferSize = 1 << 16;

}  // namespace

void CAviMjpegWriter::FormatFree::operator()(AVFormatContext* format) const {
    format->pb = nullptr;  // the I/O context is ours and goes on its own
    avformat_free_context(format);
}

void CAviMjpegWriter::IoFree::operator()(AVIOContext* io) const {
    av_freep(&io->buffer);
    avio_context_free(&io);
}

CAviMjpegWriter::~CAviMjpegWriter() {
    Close();
}

void CAviMjpegWriter::Fail(const char* what, int error) {
    if (m_errno != 0 || !m_lastError.empty()) return;  // the first failure is the one to tell
    m_errno = error;
    m_lastError = std::string(what) + " " + m_path + ": " + std::strerror(error);
}

int CAviMjpegWriter::WriteCallback(void* opaque, std::uint8_t* buffer, int size) {
    auto* self = static_cast<CAviMjpegWriter*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t n =
            ::write(self->m_fd.Get(), buffer + done, static_cast<size_t>(size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            self->Fail("writing", error);
            return AVERROR(error);
        }
        done += static_cast<int>(n);
    }
    return size;
}

std::int64_t CAviMjpegWriter::SeekCallback(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<CAviMjpegWriter*>(opaque);
    if (whence == AVSEEK_SIZE) {
        struct stat st {};
        return ::fstat(self->m_fd.Get(), &st) == 0 ? st.st_size : AVERROR(errno);
    }
    const off_t at = ::lseek(self->m_fd.Get(), static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    if (at < 0) {
        self->Fail("seeking in", errno);
        return AVERROR(errno);
    }
    return at;
}

bool CAviMjpegWriter::Open(const std::string& path, int fps, int width, int height) {
    Close();
    m_path = path;
    m_lastError.clear();
    m_errno = 0;
    m_frames = 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        Fail("creating", errno);
        return false;
    }
    m_fd = platform::v4l2::CUniqueFd(fd, platform::v4l2::CUniqueFd::Owner::Kernel);
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    if (buffer)
        m_io.reset(avio_alloc_context(buffer, kIoBufferSize, 1, this, nullptr, &WriteCallback,
                                      &SeekCallback));
    if (!m_io) av_free(buffer);
    AVFormatContext* format = nullptr;
    const bool made = m_io && avformat_alloc_output_context2(&format, nullptr, "avi", nullptr) >= 0;
    m_format.reset(format);
    if (!made || !m_format) {
        Fail("preparing", ENOMEM);
        Release();
        return false;
    }
    m_format->pb = m_io.get();
    m_format->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_FLUSH_PACKETS;
    AVStream* stream = avformat_new_stream(m_format.get(), nullptr);
    if (!stream) {
        Fail("preparing", ENOMEM);
        Release();
        return false;
    }
    stream->time_base = AVRational{1, fps};
    stream->avg_frame_rate = AVRational{fps, 1};
    stream->r_frame_rate = AVRational{fps, 1};
    AVCodecParameters* par = stream->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_MJPEG;
    par->codec_tag = MKTAG('M', 'J', 'P', 'G');
    par->width = width;
    par->height = height;
    par->bits_per_coded_sample = 24;
    par->format = AV_PIX_FMT_YUVJ420P;
    const int header = avformat_write_header(m_format.get(), nullptr);
    if (header < 0) {
        Fail("writing the header of", AVUNERROR(header));
        Release();
        return false;
    }
    avio_flush(m_io.get());
    if (m_io->error < 0) {
        Fail("writing the header of", AVUNERROR(m_io->error));
        Release();
        return false;
    }
    return true;
}

bool CAviMjpegWriter::WritePacket(const std::uint8_t* data, std::size_t size) {
    if (!m_format || !m_lastError.empty()) return false;
    if (size > 0x7FFFFFFF) {
        Fail("writing", EFBIG);
        return false;
    }
    AVPacket* packet = av_packet_alloc();
    if (!packet) {
        Fail("writing", ENOMEM);
        return false;
    }
    // The muxer copies what it keeps; the bytes stay the caller's.
    packet->data = const_cast<std::uint8_t*>(data);
    packet->size = static_cast<int>(size);
    packet->stream_index = 0;
    packet->pts = packet->dts = m_frames;
    packet->duration = 1;
    packet->flags |= AV_PKT_FLAG_KEY;
    const int result = av_write_frame(m_format.get(), packet);
    av_packet_free(&packet);
    if (result < 0 || m_io->error < 0) {
        Fail("writing", result < 0 ? AVUNERROR(result) : AVUNERROR(m_io->error));
        return false;
    }
    ++m_frames;
    return true;
}

bool CAviMjpegWriter::Close() {
    if (!m_fd.Valid()) return true;
    if (m_format && m_lastError.empty()) {
        // After a failed write the index may not fit on the disk either; the file then decodes
        // without it, up to its last whole frame.
        const int result = av_write_trailer(m_format.get());
        if (m_io) avio_flush(m_io.get());
        if (result < 0)
            Fail("finishing", AVUNERROR(result));
        else if (m_io && m_io->error < 0)
            Fail("finishing", AVUNERROR(m_io->error));
    }
    Release();
    return m_lastError.empty();
}

void CAviMjpegWriter::Release() {
    m_format.reset();
    m_io.reset();
    // Closed here rather than by the holder, so that a failed close is told.
    if (m_fd.Valid() && ::close(m_fd.Release()) != 0 && errno != EINTR) Fail("closing", errno);
}
