// Micrometres per clip pixel, from a line drawn along a scale of known length.
#pragma once

#include <optional>

class CCalibration {
  public:
    CCalibration() = default;
    // From a stored value; one that is not a positive finite number leaves it uncalibrated.
    explicit CCalibration(double micrometresPerPixel);
    // A line of lengthPx clip pixels that is knownMicrometres long; none when either is not
    // a positive finite number.
    static std::optional<CCalibration> FromLine(double lengthPx, double knownMicrometres);

    bool IsCalibrated() const { return m_umPerPx > 0; }
    double MicrometresPerPixel() const { return m_umPerPx; }
    // Length in µm of lengthPx clip pixels; none without a calibration.
    std::optional<double> Micrometres(double lengthPx) const;
    // count crossings along a line of lengthPx, per millimetre; none without a calibration or
    // for a line of no length.
    std::optional<double> PerMillimetre(int count, double lengthPx) const;

  private:
    double m_umPerPx = 0;
};
