// The JPEG pictures of a motion-JPEG clip as they lie in the file: packets read with
// libavformat, never decoded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CAviJpegFrames {
  public:
    // False, with Error() saying why, when the file does not open or holds no JPEG video.
    bool Read(const std::string& path);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // Frames per second as the file declares it; 0 when it declares none.
    double DeclaredRate() const { return m_declaredRate; }
    const std::vector<std::vector<std::uint8_t>>& Frames() const { return m_frames; }
    // Bytes of all frames together.
    size_t Bytes() const;
    const std::string& Error() const { return m_error; }

  private:
    int m_width = 0;
    int m_height = 0;
    double m_declaredRate = 0;
    std::vector<std::vector<std::uint8_t>> m_frames;
    std::string m_error;
};
