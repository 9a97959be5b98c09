#include "dicom/clip_object_builder.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <dcmtk/dcmdata/dcuid.h>

#include <cmath>
#include <cstdio>

#include "dicom/avi_jpeg_frames.h"
#include "dicom/exam_modules.h"
#include "dicom/jpeg_huffman_tables.h"

namespace {

// The frame header of a baseline JPEG: size, components, the first component's sampling.
struct FrameHeader {
    int width = 0, height = 0, components = 0, hSampling = 0, vSampling = 0;
};

bool ReadBaselineHeader(const std::vector<std::uint8_t>& jpeg, FrameHeader* header) {
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::uint8_t marker = jpeg[at + 1];
        const size_t length = (static_cast<size_t>(jpeg[at + 2]) << 8) | jpeg[at + 3];
        if (marker == 0xDA || length < 2) return false;
        if (marker >= 0xC1 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return false;  // not baseline
        if (marker == 0xC0) {
            if (at + 2 + length > jpeg.size() || length < 11 || jpeg[at + 4] != 8) return false;
            header->height = (jpeg[at + 5] << 8) | jpeg[at + 6];
            header->width = (jpeg[at + 7] << 8) | jpeg[at + 8];
            header->components = jpeg[at + 9];
            header->hSampling = jpeg[at + 11] >> 4;
            header->vSampling = jpeg[at + 11] & 0x0F;
            return true;
        }
        at += 2 + length;
    }
    return false;
}

bool Put(DcmItem& item, const DcmTagKey& tag, const std::string& value) {
    return item.putAndInsertString(tag, value.c_str()).good();
}

}  // namespace

bool CClipObjectBuilder::Build(const std::string& aviPath, const DicomExamInfo& info,
                               std::optional<double> realRate, const std::string& outPath) {
    m_frames = 0;
    CAviJpegFrames avi;
    if (!avi.Read(aviPath)) {
        m_error = avi.Error();
        return false;
    }
    FrameHeader first;
    if (!ReadBaselineHeader(avi.Frames().front(), &first) || first.components != 3) {
        m_error = "the clip's frames are no 8-bit colour baseline JPEG";
        return false;
    }
    const double rate = realRate && *realRate > 0 ? *realRate : avi.DeclaredRate();
    if (!(rate > 0)) {
        m_error = "the clip has no frame rate";
        return false;
    }

    DcmFileFormat file;
    DcmDataset& d = *file.getDataset();
    if (!CExamModules::Fill(d, info, UID_MultiframeTrueColorSecondaryCaptureImageStorage, &m_error))
        return false;

    auto sequence = std::make_unique<DcmPixelSequence>(DCM_PixelSequenceTag);
    sequence->insert(new DcmPixelItem(DCM_PixelItemTag));  // an empty offset table
    for (size_t i = 0; i < avi.Frames().size(); ++i) {
        std::vector<std::uint8_t> jpeg = CJpegHuffmanTables::WithTables(avi.Frames()[i]);
        FrameHeader header;
        if (jpeg.empty() || !ReadBaselineHeader(jpeg, &header) || header.width != first.width ||
            header.height != first.height || header.components != 3) {
            m_error = "frame " + std::to_string(i) + " of the clip is not like the first";
            return false;
        }
        if (jpeg.size() % 2) jpeg.push_back(0);  // fragments have even lengths
        auto item = std::make_unique<DcmPixelItem>(DCM_PixelItemTag);
        if (item->putUint8Array(jpeg.data(), static_cast<Uint32>(jpeg.size())).bad()) {
            m_error = "DCMTK refused a frame";
            return false;
        }
        sequence->insert(item.release());
    }
    m_frames = static_cast<int>(avi.Frames().size());

    // 4:4:4 frames are full-resolution YCbCr; subsampled ones are what DICOM calls 422.
    const bool subsampled = first.hSampling > 1 || first.vSampling > 1;
    char frameTime[32];
    std::snprintf(frameTime, sizeof frameTime, "%.6g", 1000.0 / rate);
    const std::string wholeRate = std::to_string(std::max(1L, std::lround(rate)));
    bool ok =
        // SC Equipment, SC Image, SC Multi-frame Image: video from the camera, stamped
        Put(d, DCM_ConversionType, "DV") && Put(d, DCM_ImageType, "ORIGINAL\\PRIMARY") &&
        Put(d, DCM_BurnedInAnnotation, "YES") &&
        Put(d, DCM_DateOfSecondaryCapture, CExamModules::DicomDate(info.takenAt)) &&
        Put(d, DCM_TimeOfSecondaryCapture, CExamModules::DicomTime(info.takenAt)) &&
        CExamModules::FillColourPixels(d, first.height, first.width,
                                       subsampled ? "YBR_FULL_422" : "YBR_FULL") &&
        // Multi-frame and Cine: the rate it was filmed at, so that it plays in real time
        Put(d, DCM_NumberOfFrames, std::to_string(m_frames)) &&
        d.putAndInsertTagKey(DCM_FrameIncrementPointer, DCM_FrameTime).good() &&
        Put(d, DCM_FrameTime, frameTime) && Put(d, DCM_RecommendedDisplayFrameRate, wholeRate) &&
        Put(d, DCM_CineRate, wholeRate);
    if (!ok) {
        m_error = "DCMTK refused a value of the clip";
        return false;
    }
    CExamModules::FillPixelSpacing(d, info, true);

    auto pixels = std::make_unique<DcmPixelData>(DCM_PixelData);
    pixels->putOriginalRepresentation(EXS_JPEGProcess1, nullptr, sequence.release());
    d.insert(pixels.release(), true);

    return CExamModules::Save(file, outPath, EXS_JPEGProcess1, &m_error);
}
