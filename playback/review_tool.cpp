#include "playback/review_tool.h"

#include <algorithm>

#include "analysis/crossing_finder.h"
#include "analysis/grey_profile.h"
#include "analysis/width_probe.h"
#include "playback/clip_coordinates.h"

namespace {
// Clip pixels the pointer may move between press and release for a click.
constexpr double kClickSlop = 3.0;
// A click this near a mark takes it away again.
constexpr double kMarkRadius = 6.0;
}  // namespace

int CReviewTool::Line::Changed() const {
    // A mark put back near where one was proposed is the same capillary.
    auto missing = [](const std::vector<QPointF>& from, const std::vector<QPointF>& in) {
        return static_cast<int>(std::count_if(from.begin(), from.end(), [&](QPointF p) {
            return std::none_of(in.begin(), in.end(), [&](QPointF q) {
                return CClipCoordinates::Length(p, q) <= kMarkRadius;
            });
        }));
    };
    return missing(proposed, crossings) + missing(crossings, proposed);
}

void CReviewTool::SetFrame(const cv::Mat& frame) {
    m_channel = CGreyProfile::Channel(frame);
}

void CReviewTool::Start(Kind kind) {
    m_kind = kind;
    m_pending.reset();
    m_pressAt.reset();
    m_dragging = false;
}

void CReviewTool::Leave() {
    Start(Kind::None);
}

void CReviewTool::Clear() {
    Leave();
    m_kept.clear();
}

void CReviewTool::Press(QPointF at) {
    if (m_kind == Kind::None) return;
    m_pressAt = at;
    m_dragging = false;
}

void CReviewTool::Move(QPointF at) {
    if (m_kind == Kind::None || !m_pressAt) return;
    if (!m_dragging && CClipCoordinates::Length(*m_pressAt, at) <= kClickSlop) return;
    if (!m_dragging) {
        m_dragging = true;
        m_pending = Line{*m_pressAt, at, {}, {}, {}, false};
    }
    m_pending->to = at;
}

void CReviewTool::Release(QPointF at) {
    if (m_kind == Kind::None || !m_pressAt) return;
    Move(at);
    const bool click = !m_dragging;
    m_pressAt.reset();
    m_dragging = false;
    if (!click && m_kind == Kind::Count) Propose();
    if (click && m_kind == Kind::Width) MeasureWidth(at);
    if (!click || m_kind != Kind::Count || !m_pending) return;
    std::vector<QPointF>& marks = m_pending->crossings;
    const auto near = std::find_if(marks.begin(), marks.end(), [&](QPointF m) {
        return CClipCoordinates::Length(m, at) <= kMarkRadius;
    });
    if (near != marks.end())
        marks.erase(near);
    else
        marks.push_back(at);
}

void CReviewTool::Propose() {
    if (!m_pending || m_channel.empty()) return;
    const cv::Point2d a(m_pending->from.x(), m_pending->from.y());
    const cv::Point2d b(m_pending->to.x(), m_pending->to.y());
    m_pending->crossings.clear();
    for (const CCrossingFinder::Crossing& c : CCrossingFinder::Find(m_channel, a, b))
        m_pending->crossings.emplace_back(c.at.x, c.at.y);
    m_pending->proposed = m_pending->crossings;
}

void CReviewTool::MeasureWidth(QPointF at) {
    // A click off any vessel leaves nothing pending, rather than the width before.
    m_pending.reset();
    if (m_channel.empty()) return;
    const std::optional<CWidthProbe::Result> r =
        CWidthProbe::MeasureChannel(m_channel, cv::Point2d(at.x(), at.y()));
    if (r) m_pending = Line{{r->edge1.x, r->edge1.y}, {r->edge2.x, r->edge2.y}, {}, {}, {}, true};
}

double CReviewTool::PendingLengthPx() const {
    return m_pending ? CClipCoordinates::Length(m_pending->from, m_pending->to) : 0.0;
}

void CReviewTool::Keep(const QString& label) {
    if (!m_pending) return;
    m_pending->label = label;
    m_kept.push_back(std::move(*m_pending));
    m_pending.reset();
}

QString CReviewTool::LengthText(double lengthPx, const CCalibration& calibration) {
    if (const std::optional<double> um = calibration.Micrometres(lengthPx))
        return QStringLiteral("%1 µm").arg(*um, 0, 'f', 1);
    return QStringLiteral("%1 px").arg(lengthPx, 0, 'f', 1);
}

bool CReviewTool::IsGiant(double lengthPx) const {
    const std::optional<double> um = m_calibration.Micrometres(lengthPx);
    return um && *um > kGiantMicrometres;
}

QString CReviewTool::PendingLabel() const {
    if (!m_pending) return {};
    const double length = PendingLengthPx();
    switch (m_kind) {
        case Kind::Calibrate:
            // The µm are what the user is about to type.
            return LengthText(length, CCalibration());
        case Kind::Count:
            return QStringLiteral("n = %1, %2")
                .arg(m_pending->crossings.size())
                .arg(LengthText(length, m_calibration));
        case Kind::Width:
            return IsGiant(length)
                       ? LengthText(length, m_calibration) + QStringLiteral(", ") + m_giantText
                       : LengthText(length, m_calibration);
        default:
            return LengthText(length, m_calibration);
    }
}
