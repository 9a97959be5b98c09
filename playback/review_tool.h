// What the review tools draw on a paused frame: the line being dragged, the capillaries marked
// along it, a vessel's width, and the lines already kept. Points are clip pixels. The count and
// the width read the frame (analysis/) to propose marks and find edges; otherwise pure state:
// the pane's view turns mouse events into calls here and paints what it holds.
#pragma once

#include <QPointF>
#include <QString>
#include <opencv2/core.hpp>
#include <optional>
#include <vector>

#include "playback/calibration.h"

class CReviewTool {
  public:
    enum class Kind { None, Calibrate, Measure, Count, Width };

    struct Line {
        QPointF from, to;
        std::vector<QPointF> crossings;  // the capillaries marked, for a count
        std::vector<QPointF> proposed;   // the marks the count proposed when the line was drawn
        QString label;
        bool measured = false;  // a width the probe found, not one drawn by hand
        // Proposed marks taken back plus marks added by hand.
        int Changed() const;
    };

    Kind Active() const { return m_kind; }
    // Starts a tool; a line not yet kept goes. Kept lines stay.
    void Start(Kind kind);
    // The tool ends; kept lines stay drawn.
    void Leave();
    // Nothing drawn any more, and no tool: the frame changed or the pane lost its clip.
    void Clear();

    // The paused frame (8-bit BGR), read by the count and the width; empty for none.
    void SetFrame(const cv::Mat& frame);

    // The mouse, in clip pixels, while a tool is active. A press and release close together is
    // a click: with a count's line drawn it marks a capillary, or unmarks one near the point;
    // with the width tool it measures the vessel under it. Anything longer drags a new line (and
    // drops the marks of the line before); a count's new line gets the crossings found on it,
    // a width's is the width drawn by hand.
    void Press(QPointF at);
    void Move(QPointF at);
    void Release(QPointF at);

    // The line being drawn, if it has any length.
    const std::optional<Line>& Pending() const { return m_pending; }
    const std::vector<Line>& Kept() const { return m_kept; }
    double PendingLengthPx() const;
    // The pending line becomes a kept one with label; the tool stays for the next.
    void Keep(const QString& label);

    // Used for the lengths shown while dragging.
    void SetCalibration(CCalibration calibration) { m_calibration = calibration; }
    const CCalibration& Calibration() const { return m_calibration; }
    // "12.3 µm", or "17.4 px" without a calibration.
    static QString LengthText(double lengthPx, const CCalibration& calibration);
    // Over this a vessel is giant; only with a calibration.
    static constexpr double kGiantMicrometres = 50;
    bool IsGiant(double lengthPx) const;
    // The word beside a giant vessel's width, from the language pack.
    void SetGiantText(const QString& text) { m_giantText = text; }
    // The text beside the pending line.
    QString PendingLabel() const;

  private:
    void Propose();
    void MeasureWidth(QPointF at);

    Kind m_kind = Kind::None;
    cv::Mat m_channel;  // what the analysis reads of the frame
    QString m_giantText;
    CCalibration m_calibration;
    std::optional<Line> m_pending;
    std::vector<Line> m_kept;
    std::optional<QPointF> m_pressAt;
    bool m_dragging = false;
};
