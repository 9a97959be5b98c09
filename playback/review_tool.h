// What the review tools draw on a paused frame: the line being dragged, the capillaries clicked
// along it, and the lines already kept. Points are clip pixels. Pure state: the pane's view turns
// mouse events into calls here and paints what it holds.
#pragma once

#include <QPointF>
#include <QString>
#include <optional>
#include <vector>

#include "playback/calibration.h"

class CReviewTool {
  public:
    enum class Kind { None, Calibrate, Measure, Count };

    struct Line {
        QPointF from, to;
        std::vector<QPointF> crossings;  // the capillaries clicked, for a count
        QString label;
    };

    Kind Active() const { return m_kind; }
    // Starts a tool; a line not yet kept goes. Kept lines stay.
    void Start(Kind kind);
    // The tool ends; kept lines stay drawn.
    void Leave();
    // Nothing drawn any more, and no tool: the frame changed or the pane lost its clip.
    void Clear();

    // The mouse, in clip pixels, while a tool is active. A press and release close together is
    // a click: with a count's line drawn it marks a capillary, or unmarks one near the point.
    // Anything longer drags a new line (and drops the marks of the line before).
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
    // The text beside the pending line.
    QString PendingLabel() const;

  private:
    Kind m_kind = Kind::None;
    CCalibration m_calibration;
    std::optional<Line> m_pending;
    std::vector<Line> m_kept;
    std::optional<QPointF> m_pressAt;
    bool m_dragging = false;
};
