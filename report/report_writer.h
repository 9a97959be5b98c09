// The examination report of one visit as PDF: page 1 with the patient, the visit, the
// workstation and calibration, a hand map of the fingers filmed and a table per finger; then a
// page (or more) per finger with each measured frame, read from its clip and drawn at the clip's
// own size with the kept lines, their labels and a count's marks as the review tools draw them.
// Every number comes from the exam store. No widgets: it runs on a worker.
#pragma once

#include <QLocale>
#include <QPageSize>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "exam/exam_store.h"

class CReportWriter {
  public:
    // Looks up an IDS_ key of the language pack.
    using Text = std::function<QString(const char* key)>;

    struct Options {
        QString host;  // the workstation's name
        Text text;
        QPageSize pageSize = QPageSize(QPageSize::A4);
        // Latin text in DejaVu Sans, the rest in the Noto CJK face of the pack's language; both
        // embedded in the file.
        QString cjkFamily = QStringLiteral("Noto Sans CJK JP");
    };

    struct Result {
        bool ok = false;
        QString path;   // the file written or meant to be
        QString error;  // the system's text of what failed
    };

    // A row of page 1's table.
    struct FingerRow {
        std::string finger;
        int clips = 0;
        std::optional<double> perMm;     // mean of the counts' per-mm values
        std::optional<double> widestUm;  // the widest "width" row
        bool giant = false;              // widest over 50 µm
        int measurements = 0;            // rows other than calibrations
    };

    // The clips of a visit with their measurements, as the store holds them.
    struct ClipData {
        Clip clip;
        std::vector<Measurement> rows;
    };

    // Writes <patient ID>_<visit date>.pdf into the visit's day folder below the store's root,
    // through a temporary file beside it that is renamed only when all is written.
    static Result Write(CExamStore& store, const Visit& visit, const Options& options);

    // Every key the report looks up.
    static const std::vector<const char*>& TextKeys();

    // The rows of the table, in the fingers' filming order.
    static std::vector<FingerRow> Summarise(const std::vector<ClipData>& clips);
    // "<patient ID>_<visit date>.pdf", with characters a file name cannot hold replaced.
    static QString FileName(const std::string& patientId, const std::string& date);
    // Letter where the locale measures in inches, else A4.
    static QPageSize PageSizeFor(QLocale::MeasurementSystem system);
    // Pixels per inch of the pages: a clip pixel is one page pixel.
    static constexpr int kResolution = 150;
    static constexpr double kScaleBarMicrometres = 100;
};
