// The measurements of a clip, kept in <clip name>.csv beside it: one header line, then one row
// per kept measurement, count or calibration, appended across runs. Coordinates are clip pixels;
// fields that do not apply to a row are empty.
#pragma once

#include <QPointF>
#include <QString>
#include <optional>

class CMeasurementCsv {
  public:
    struct Row {
        QString clip;  // the clip's file name
        int frame = 0;
        QString kind;  // "measure", "count", "width" or "calibrate"
        std::optional<QPointF> from, to;
        std::optional<double> lengthPx, lengthUm;
        std::optional<int> count;
        std::optional<double> perMm;
        // For a count: the marks the tool proposed, and how many of them the user took back
        // plus how many the user added. For a width: 1 and 0 for the probe's line, 0 and 1 for
        // one drawn by hand.
        std::optional<int> proposed, changed;
    };

    static const char* Header();
    // <clip name>.csv in the clip's folder.
    static QString PathFor(const QString& clipPath);
    // One line, without its line end.
    static QString Format(const Row& row);
    // Appends row to the clip's file, starting it with the header when it is new or empty;
    // 0, or the errno of what failed.
    static int Append(const QString& clipPath, const Row& row);
};
