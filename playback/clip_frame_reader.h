// Random access to the frames of a clip, decoded with OpenCV's FFmpeg reader: what a paused pane
// shows and what a snapshot saves, at the clip's own size.
#pragma once

#include <QString>
#include <memory>
#include <opencv2/core.hpp>

namespace cv {
class VideoCapture;
}

class CClipFrameReader {
  public:
    CClipFrameReader();
    ~CClipFrameReader();
    CClipFrameReader(const CClipFrameReader&) = delete;
    CClipFrameReader& operator=(const CClipFrameReader&) = delete;

    // False when the path names no file, has no narrow form, or FFmpeg cannot open it.
    bool Open(const QString& path);
    void Close();
    bool IsOpen() const { return m_capture != nullptr; }
    const QString& Path() const { return m_path; }
    // Frames per second as the file states it; 0 when it states none.
    double Fps() const { return m_fps; }
    // Frames in the file; 0 when unknown.
    int FrameCount() const { return m_frameCount; }

    // Frame index (from 0) as 8-bit BGR at the clip's size; empty when it cannot be read.
    // Reading the frame after the last one read needs no seek.
    cv::Mat Read(int index);

    // frame as 8-bit BGR (grey and BGRA converted); empty for anything else.
    static cv::Mat ToBgr(const cv::Mat& frame);

  private:
    QString m_path;
    std::unique_ptr<cv::VideoCapture> m_capture;
    double m_fps = 0;
    int m_frameCount = 0;
    int m_next = -1;  // index the reader would decode next without a seek
};
