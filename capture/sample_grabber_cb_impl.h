// The frame callback of the capture graph: decodes each camera sample, stamps the local time,
// hands a copy to the capture window and feeds the recording. Runs on the streaming thread.
#pragma once

#include <opencv2/core.hpp>
#include <string>

#include "capture/capture_window.h"
#include "capture/jpeg_codec.h"
#include "capture/undecoded_frame_log.h"
#include "platform/graph/dshow_interfaces.h"
#include "platform/system.h"

class SampleGrabberCBImpl : public ISampleGrabberCB {
  public:
    explicit SampleGrabberCBImpl(ICaptureWindow* owner = nullptr) : m_owner(owner) {}

    // Embedded in its engine and never counted: AddRef gives 2 and Release 1, always.
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }

    // Still samples: discarded.
    HRESULT SampleCB(double sampleTime, IMediaSample* sample) override;
    // One motion-JPEG sample. Always S_OK.
    HRESULT BufferCB(double sampleTime, BYTE* buffer, long bufferLength) override;

    void SetOwner(ICaptureWindow* owner) { m_owner = owner; }

    // "YYYYMMDD HH:MM:SS"
    static std::string FormatTimeStamp(const platform::SYSTEMTIME& t);
    // Draws the stamp in black at (10, 30), Hershey simplex, scale 0.6, thickness 1, LINE_8.
    static void DrawTimeStamp(cv::Mat& image, const platform::SYSTEMTIME& t);
    // The pixels any stamp can touch (the digits are equally wide), with a 2-pixel margin.
    static cv::Rect StampBox();
    // The sample as a BGR image of kClipWidth x kClipHeight, whatever size the camera sent, so
    // that the picture, the stamp and the clip agree; empty when it is no JPEG or does not
    // decode, with why set when given. Streaming thread only: the decoder is this object's.
    cv::Mat DecodeSample(const BYTE* buffer, long length, std::string* why = nullptr);
    // Samples that did not decode, told to the log at most once a minute.
    CUndecodedFrameLog& UndecodedFrames() { return m_undecoded; }

    static constexpr int kClipWidth = 640;
    static constexpr int kClipHeight = 480;

  private:
    // DecodeSample into image, whose buffer is reused when it has the clip's size. The JPEG's
    // place in the sample on success. With a recorder, a frame of the clip's size is decoded by
    // it, keeping its coefficients.
    bool DecodeInto(const BYTE* buffer, long length, cv::Mat& image, std::string* why,
                    const BYTE** jpeg, long* jpegLength, CClipRecorder* recorder = nullptr);

    ICaptureWindow* m_owner;
    CJpegCodec m_codec;
    // Streaming thread only. The decode of a picture of another size than the clip's, kept
    // between frames; a decode of the clip's size is swapped into the frame instead.
    cv::Mat m_raw;
    // The frame being decoded, stamped, shown and recorded. The window shares its pixels while
    // it shows them and hands back the buffer of the frame it showed before, which the next
    // frame is decoded into: no frame buffer is made per frame.
    cv::Mat m_image;
    CUndecodedFrameLog m_undecoded;
};
