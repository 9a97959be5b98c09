#include "dicom/snapshot_object_builder.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "dicom/exam_modules.h"

bool CSnapshotObjectBuilder::Build(const std::string& pngPath, const DicomExamInfo& info,
                                   const std::string& outPath) {
    const cv::Mat bgr = cv::imread(pngPath, cv::IMREAD_COLOR);
    if (bgr.empty() || bgr.depth() != CV_8U || bgr.cols > 65535 || bgr.rows > 65535) {
        m_error = "the snapshot cannot be read";
        return false;
    }
    cv::Mat rgb;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);

    DcmFileFormat file;
    DcmDataset& d = *file.getDataset();
    if (!CExamModules::Fill(d, info, UID_VLPhotographicImageStorage, &m_error)) return false;
    auto put = [&d](const DcmTagKey& tag, const char* value) {
        return d.putAndInsertString(tag, value).good();
    };
    // A frame taken from a clip whose frames were JPEG coded.
    bool ok = put(DCM_ImageType, "DERIVED\\PRIMARY") &&
              CExamModules::FillColourPixels(d, rgb.rows, rgb.cols, "RGB") &&
              d.insertEmptyElement(DCM_AcquisitionContextSequence).good();
    if (!ok) {
        m_error = "DCMTK refused a value of the snapshot";
        return false;
    }
    // The VL image has no room for the calibration's type and description.
    CExamModules::FillPixelSpacing(d, info, false);
    const size_t rowBytes = static_cast<size_t>(rgb.cols) * 3;
    std::vector<Uint8> pixels(rowBytes * static_cast<size_t>(rgb.rows));
    for (int y = 0; y < rgb.rows; ++y)
        std::copy(rgb.ptr<Uint8>(y), rgb.ptr<Uint8>(y) + rowBytes,
                  pixels.begin() + static_cast<std::ptrdiff_t>(rowBytes * static_cast<size_t>(y)));
    if (d.putAndInsertUint8Array(DCM_PixelData, pixels.data(),
                                 static_cast<unsigned long>(pixels.size()))
            .bad()) {
        m_error = "DCMTK refused the pixels";
        return false;
    }
    return CExamModules::Save(file, outPath, EXS_LittleEndianExplicit, &m_error);
}
