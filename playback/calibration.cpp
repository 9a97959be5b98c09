#include "playback/calibration.h"

#include <cmath>

namespace {
bool Positive(double v) {
    return std::isfinite(v) && v > 0;
}
}  // namespace

CCalibration::CCalibration(double micrometresPerPixel)
    : m_umPerPx(Positive(micrometresPerPixel) ? micrometresPerPixel : 0) {}

std::optional<CCalibration> CCalibration::FromLine(double lengthPx, double knownMicrometres) {
    if (!Positive(lengthPx) || !Positive(knownMicrometres)) return std::nullopt;
    const CCalibration c(knownMicrometres / lengthPx);
    if (!c.IsCalibrated()) return std::nullopt;
    return c;
}

std::optional<double> CCalibration::Micrometres(double lengthPx) const {
    if (!IsCalibrated() || !std::isfinite(lengthPx) || lengthPx < 0) return std::nullopt;
    return lengthPx * m_umPerPx;
}

std::optional<double> CCalibration::PerMillimetre(int count, double lengthPx) const {
    const std::optional<double> um = Micrometres(lengthPx);
    if (!um || *um <= 0 || count < 0) return std::nullopt;
    return count / (*um / 1000.0);
}
