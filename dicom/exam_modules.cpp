#include "dicom/exam_modules.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <sys/stat.h>

#include <cstdio>

#include "dicom/dicom_uid.h"
#include "exam/exam_store.h"
#include "exam/finger.h"

namespace {

struct FingerCode {
    const char* value;
    const char* meaning;
};

// SNOMED CT's codes of the fingers, thumb (1) to little finger (5).
constexpr FingerCode kFingerCodes[] = {{"76505004", "Thumb"},
                                       {"83738005", "Index finger"},
                                       {"65531009", "Middle finger"},
                                       {"82002001", "Ring finger"},
                                       {"12406000", "Little finger"}};

bool Put(DcmItem& item, const DcmTagKey& tag, const std::string& value) {
    return item.putAndInsertString(tag, value.c_str()).good();
}

}  // namespace

std::string CExamModules::DicomDate(const std::string& date) {
    if (date.size() < 10 || !CExamStore::IsValidDate(date.substr(0, 10))) return {};
    return date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2);
}

std::string CExamModules::DicomTime(const std::string& dateTime) {
    if (dateTime.size() != 19 || dateTime[10] != ' ' || dateTime[13] != ':' || dateTime[16] != ':')
        return {};
    const std::string time =
        dateTime.substr(11, 2) + dateTime.substr(14, 2) + dateTime.substr(17, 2);
    for (char c : time)
        if (c < '0' || c > '9') return {};
    return time;
}

bool CExamModules::Fill(DcmItem& d, const DicomExamInfo& info, const char* sopClassUid,
                        std::string* error) {
    const std::string birthDate = DicomDate(info.patient.birthDate);
    const std::string studyDate = DicomDate(info.visitDate);
    const std::string takenDate = DicomDate(info.takenAt);
    const std::string takenTime = DicomTime(info.takenAt);
    if (info.patient.patientId.empty()) {
        *error = "the patient has no ID";
        return false;
    }
    if (studyDate.empty() || takenDate.empty() || takenTime.empty() ||
        (!info.patient.birthDate.empty() && birthDate.empty())) {
        *error = "a date of the exam is not a date";
        return false;
    }
    if (!exam::IsFingerCode(info.finger)) {
        *error = "unknown finger";
        return false;
    }
    for (const std::string* uid : {&info.studyUid, &info.seriesUid, &info.sopInstanceUid})
        if (!CDicomUid::IsValid(*uid)) {
            *error = "a UID is missing or malformed";
            return false;
        }
    const FingerCode& code = kFingerCodes[info.finger[1] - '1'];
    const std::string side = info.finger.substr(0, 1);

    bool ok =
        Put(d, DCM_SpecificCharacterSet, "ISO_IR 192") && Put(d, DCM_SOPClassUID, sopClassUid) &&
        Put(d, DCM_SOPInstanceUID, info.sopInstanceUid) &&
        Put(d, DCM_InstanceCreationDate, takenDate) &&
        Put(d, DCM_InstanceCreationTime, takenTime) &&
        // Patient
        Put(d, DCM_PatientName, info.patient.name) &&
        Put(d, DCM_PatientID, info.patient.patientId) && Put(d, DCM_PatientBirthDate, birthDate) &&
        Put(d, DCM_PatientSex, info.patient.sex) &&
        // General Study: one per visit
        Put(d, DCM_StudyInstanceUID, info.studyUid) && Put(d, DCM_StudyDate, studyDate) &&
        Put(d, DCM_StudyTime, "") && Put(d, DCM_ReferringPhysicianName, "") &&
        Put(d, DCM_StudyID, info.studyId) && Put(d, DCM_AccessionNumber, info.accessionNumber) &&
        Put(d, DCM_StudyDescription, "Nailfold capillaroscopy") &&
        // General Series (the side goes in Image Laterality, which excludes the series one)
        Put(d, DCM_Modality, "XC") && Put(d, DCM_SeriesInstanceUID, info.seriesUid) &&
        Put(d, DCM_SeriesNumber, std::to_string(info.seriesNumber)) &&
        Put(d, DCM_BodyPartExamined, "FINGER") &&
        // General Equipment
        Put(d, DCM_Manufacturer, "Quorvel") && Put(d, DCM_ManufacturerModelName, "Quorvel") &&
        Put(d, DCM_StationName, info.stationName.substr(0, 16)) &&
        // General Image and acquisition
        Put(d, DCM_InstanceNumber, std::to_string(info.instanceNumber)) &&
        Put(d, DCM_PatientOrientation, "") && Put(d, DCM_ContentDate, takenDate) &&
        Put(d, DCM_ContentTime, takenTime) &&
        Put(d, DCM_AcquisitionDateTime, takenDate + takenTime) && Put(d, DCM_ImageLaterality, side);
    DcmItem* region = nullptr;
    ok = ok && d.findOrCreateSequenceItem(DCM_AnatomicRegionSequence, region, 0).good() &&
         Put(*region, DCM_CodeValue, code.value) &&
         Put(*region, DCM_CodingSchemeDesignator, "SCT") &&
         Put(*region, DCM_CodeMeaning, code.meaning);
    if (!ok) *error = "DCMTK refused a value of the exam";
    return ok;
}

void CExamModules::FillPixelSpacing(DcmItem& d, const DicomExamInfo& info, bool withCalibration) {
    if (!info.umPerPx || *info.umPerPx <= 0) return;
    char spacing[64], description[96];
    const double mm = *info.umPerPx / 1000.0;
    std::snprintf(spacing, sizeof spacing, "%.8g\\%.8g", mm, mm);
    std::snprintf(description, sizeof description,
                  "Calibrated on a scale of known length: %.4g um per pixel", *info.umPerPx);
    d.putAndInsertString(DCM_PixelSpacing, spacing);
    if (!withCalibration) return;
    d.putAndInsertString(DCM_PixelSpacingCalibrationType, "GEOMETRY");
    d.putAndInsertString(DCM_PixelSpacingCalibrationDescription, description);
}

bool CExamModules::FillColourPixels(DcmItem& d, int rows, int columns, const char* photometric) {
    return d.putAndInsertUint16(DCM_SamplesPerPixel, 3).good() &&
           Put(d, DCM_PhotometricInterpretation, photometric) &&
           d.putAndInsertUint16(DCM_PlanarConfiguration, 0).good() &&
           d.putAndInsertUint16(DCM_Rows, static_cast<Uint16>(rows)).good() &&
           d.putAndInsertUint16(DCM_Columns, static_cast<Uint16>(columns)).good() &&
           d.putAndInsertUint16(DCM_BitsAllocated, 8).good() &&
           d.putAndInsertUint16(DCM_BitsStored, 8).good() &&
           d.putAndInsertUint16(DCM_HighBit, 7).good() &&
           d.putAndInsertUint16(DCM_PixelRepresentation, 0).good() &&
           Put(d, DCM_LossyImageCompression, "01") &&
           Put(d, DCM_LossyImageCompressionMethod, "ISO_10918_1");
}

bool CExamModules::Save(DcmFileFormat& file, const std::string& path, E_TransferSyntax syntax,
                        std::string* error) {
    const OFCondition saved = file.saveFile(path.c_str(), syntax);
    ::chmod(path.c_str(), 0600);
    if (saved.bad()) *error = std::string("writing the object: ") + saved.text();
    return saved.good();
}
