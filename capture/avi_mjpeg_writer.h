// Motion-JPEG AVI files through libavformat, written through our own descriptor so that every
// failed write and close is seen with its errno. Past 1 GB the muxer goes on in OpenDML form.
// Each packet reaches the kernel before WritePacket returns, so a killed process leaves a file
// that decodes up to its last whole frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/v4l2/unique_fd.h"

struct AVFormatContext;
struct AVIOContext;

class CAviMjpegWriter {
  public:
    CAviMjpegWriter() = default;
    ~CAviMjpegWriter();
    CAviMjpegWriter(const CAviMjpegWriter&) = delete;
    CAviMjpegWriter& operator=(const CAviMjpegWriter&) = delete;

    // Creates (or truncates) the file and writes the AVI header: fourcc MJPG, the frame size,
    // fps frames per second.
    bool Open(const std::string& path, int fps, int width, int height);
    // One JPEG picture as one frame.
    bool WritePacket(const std::uint8_t* data, std::size_t size);
    // Writes the index, finishes the header and closes the file. After a failed write this
    // still closes the file; the result then tells the first failure.
    bool Close();

    bool IsOpen() const { return m_fd.Valid(); }
    long long Frames() const { return m_frames; }
    // The first failure, as "<what> <path>: <errno text>".
    const std::string& LastError() const { return m_lastError; }
    int LastErrno() const { return m_errno; }

  private:
    struct FormatFree {
        void operator()(AVFormatContext* format) const;
    };
    // The context and the buffer it holds now, which libavformat may have replaced.
    struct IoFree {
        void operator()(AVIOContext* io) const;
    };

    static int WriteCallback(void* opaque, std::uint8_t* buffer, int size);
    static std::int64_t SeekCallback(void* opaque, std::int64_t offset, int whence);
    void Fail(const char* what, int error);
    void Release();

    // Declared so that the muxer goes before its I/O context and that before the descriptor.
    platform::v4l2::CUniqueFd m_fd;
    std::unique_ptr<AVIOContext, IoFree> m_io;
    std::unique_ptr<AVFormatContext, FormatFree> m_format;
    std::string m_path;
    std::string m_lastError;
    int m_errno = 0;
    long long m_frames = 0;
};
