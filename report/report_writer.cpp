#include "report/report_writer.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <map>

#include "exam/finger.h"
#include "playback/calibration.h"
#include "playback/clip_coordinates.h"
#include "playback/clip_frame_reader.h"
#include "playback/review_painter.h"
#include "playback/review_tool.h"

namespace {

QString Num(double v) {
    return QString::number(v, 'f', 1);
}

QString Opt(const std::optional<double>& v) {
    return v ? Num(*v) : QStringLiteral("–");
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Lays out the pages top to bottom and numbers each one as it is finished.
class CPageFlow {
  public:
    CPageFlow(QPdfWriter& writer, QPainter& painter, QString pageText)
        : m_writer(writer), m_painter(painter), m_pageText(std::move(pageText)) {}

    int Width() const { return m_writer.width(); }
    int Bottom() const { return m_writer.height() - LineHeight() * 2; }
    int LineHeight() const { return QFontMetrics(m_painter.font(), &m_writer).height(); }
    int y = 0;

    // Room for height more below y, on a new page when this one is full.
    void Need(int height) {
        if (y > 0 && y + height > Bottom()) NewPage();
    }
    void NewPage() {
        Number();
        m_writer.newPage();
        y = 0;
    }
    void Line(const QString& text, bool bold = false) {
        Need(LineHeight());
        QFont f = m_painter.font();
        f.setBold(bold);
        m_painter.save();
        m_painter.setFont(f);
        m_painter.setPen(Qt::black);
        m_painter.drawText(QRect(0, y, Width(), LineHeight()), Qt::AlignLeft | Qt::AlignVCenter,
                           text);
        m_painter.restore();
        y += LineHeight();
    }
    // The number at the foot of the page in hand.
    void Number() {
        ++m_page;
        m_painter.setPen(Qt::black);
        m_painter.drawText(QRect(0, m_writer.height() - LineHeight(), Width(), LineHeight()),
                           Qt::AlignCenter, m_pageText.arg(m_page));
    }

  private:
    QPdfWriter& m_writer;
    QPainter& m_painter;
    QString m_pageText;
    int m_page = 0;
};

// Two hands seen from the back, left then right, little finger outermost; the fingers filmed
// filled in.
void DrawHands(QPainter& painter, QRect area, const std::vector<std::string>& filmed,
               const CReportWriter::Text& text) {
    const int w = area.width() / 12;
    const int h = area.height() - 20;
    auto draw = [&](const std::string& code, int slot) {
        const bool on = std::find(filmed.begin(), filmed.end(), code) != filmed.end();
        const QRect r(area.left() + slot * w + w / 8, area.top(), w * 3 / 4, h);
        painter.setPen(QPen(Qt::black, 2));
        painter.setBrush(on ? QColor(0, 150, 200) : QColor(Qt::white));
        painter.drawRoundedRect(r, w / 3, w / 3);
        painter.setPen(on ? Qt::white : Qt::black);
        painter.drawText(r, Qt::AlignCenter, Q(code));
    };
    for (int i = 0; i < 5; ++i) draw("L" + std::to_string(5 - i), i);
    for (int i = 0; i < 5; ++i) draw("R" + std::to_string(i + 1), i + 7);
    painter.setPen(Qt::black);
    painter.drawText(QRect(area.left(), area.bottom() - 18, w * 5, 20), Qt::AlignCenter,
                     text("IDS_EXAM_LEFT"));
    painter.drawText(QRect(area.left() + w * 7, area.bottom() - 18, w * 5, 20), Qt::AlignCenter,
                     text("IDS_EXAM_RIGHT"));
}

// What the review tools write beside a kept line, from the stored row.
QString LabelOf(const Measurement& m, const QString& giantText) {
    const double px = m.lengthPx.value_or(0);
    if (m.kind == "count") return CReviewTool::CountText(m.count.value_or(0), m.perMm);
    if (m.kind == "width") return CReviewTool::WidthText(m.lengthUm, px, giantText);
    return CReviewTool::LengthText(m.lengthUm, px);
}

// One line of text per stored row, the numbers in the order the table gives them.
QString RowText(const Measurement& m, const CReportWriter::Text& text) {
    QString s = Q(m.kind);
    if (m.x1 && m.y1 && m.x2 && m.y2)
        s += QStringLiteral("  (%1, %2) – (%3, %4)")
                 .arg(Num(*m.x1), Num(*m.y1), Num(*m.x2), Num(*m.y2));
    if (m.lengthPx) s += QStringLiteral("  %1 px").arg(Num(*m.lengthPx));
    if (m.lengthUm) s += QStringLiteral("  %1 µm").arg(Num(*m.lengthUm));
    if (m.count) s += QStringLiteral("  n = %1").arg(*m.count);
    if (m.perMm) s += QStringLiteral("  %1 /mm").arg(Num(*m.perMm));
    if (m.proposed || m.changed)
        s += QStringLiteral("  ") + text("IDS_REPORT_ASSISTED")
                                        .arg(m.proposed ? QString::number(*m.proposed) : "–",
                                             m.changed ? QString::number(*m.changed) : "–");
    return s;
}

// The frame at the clip's size (smaller only when wider than the page), its kept lines and a
// scale bar; false when the frame cannot be read.
void DrawFrame(QPainter& painter, CPageFlow& flow, const QString& clipPath,
               CClipFrameReader& reader, int frame, const std::vector<const Measurement*>& rows,
               const CCalibration& calibration, const CReportWriter::Text& text) {
    if (reader.Path() != clipPath) reader.Open(clipPath);
    const cv::Mat bgr = reader.IsOpen() ? reader.Read(frame) : cv::Mat();
    if (bgr.empty()) {
        flow.Line(text("IDS_REPORT_NO_FRAME"));
        return;
    }
    const QImage image(bgr.data, bgr.cols, bgr.rows, static_cast<qsizetype>(bgr.step),
                       QImage::Format_BGR888);
    const double scale = std::min(1.0, double(flow.Width()) / image.width());
    const QSize drawn(int(image.width() * scale), int(image.height() * scale));
    flow.Need(drawn.height());
    painter.save();
    painter.translate(0, flow.y);
    painter.drawImage(QRect(QPoint(0, 0), drawn), image);
    const CClipCoordinates map(drawn, image.size());
    std::vector<CReviewTool::Line> kept;
    for (const Measurement* m : rows) {
        if (!(m->x1 && m->y1 && m->x2 && m->y2)) continue;
        CReviewTool::Line line;
        line.from = QPointF(*m->x1, *m->y1);
        line.to = QPointF(*m->x2, *m->y2);
        line.label = LabelOf(*m, text("IDS_TOOL_WIDTH_GIANT"));
        for (const MarkPoint& mark : m->marks) line.crossings.emplace_back(mark.x, mark.y);
        kept.push_back(line);
    }
    CReviewPainter::DrawKept(painter, map, kept, QRect(QPoint(0, 0), drawn));
    if (calibration.IsCalibrated()) {
        const double barPx =
            CReportWriter::kScaleBarMicrometres / calibration.MicrometresPerPixel() * scale;
        const QPointF from(10, drawn.height() - 12);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.fillRect(QRectF(from.x(), from.y(), barPx, 4), Qt::white);
        CReviewPainter::DrawLabel(painter, from + QPointF(0, -flow.LineHeight() - 8),
                                  QStringLiteral("100 µm"), QRect(QPoint(0, 0), drawn));
    }
    painter.restore();
    flow.y += drawn.height() + 4;
}

}  // namespace

const std::vector<const char*>& CReportWriter::TextKeys() {
    static const std::vector<const char*> keys = {
        "IDS_REPORT_TITLE",        "IDS_REPORT_PATIENT_ID",  "IDS_REPORT_NAME",
        "IDS_REPORT_BIRTH",        "IDS_REPORT_SEX",         "IDS_REPORT_VISIT",
        "IDS_REPORT_HOST",         "IDS_REPORT_CALIBRATION", "IDS_REPORT_UNCALIBRATED",
        "IDS_REPORT_FINGER",       "IDS_REPORT_CLIPS",       "IDS_REPORT_PER_MM",
        "IDS_REPORT_WIDEST",       "IDS_REPORT_GIANT",       "IDS_REPORT_YES",
        "IDS_REPORT_MEASUREMENTS", "IDS_REPORT_NOTHING",     "IDS_REPORT_NO_FRAME",
        "IDS_REPORT_FRAME",        "IDS_REPORT_ASSISTED",    "IDS_REPORT_PAGE",
        "IDS_EXAM_LEFT",           "IDS_EXAM_RIGHT",         "IDS_TOOL_WIDTH_GIANT"};
    return keys;
}

QPageSize CReportWriter::PageSizeFor(QLocale::MeasurementSystem system) {
    return QPageSize(system == QLocale::ImperialUSSystem ? QPageSize::Letter : QPageSize::A4);
}

QString CReportWriter::FileName(const std::string& patientId, const std::string& date) {
    QString id = Q(patientId);
    for (QChar& c : id)
        if (c == '/' || c == '\\' || c == ':' || c.unicode() < 32) c = '_';
    return id + '_' + Q(date) + QStringLiteral(".pdf");
}

std::vector<CReportWriter::FingerRow> CReportWriter::Summarise(const std::vector<ClipData>& clips) {
    std::vector<FingerRow> out;
    for (const std::string& finger : exam::FingerOrder()) {
        FingerRow row;
        row.finger = finger;
        double perMmSum = 0;
        int counts = 0;
        for (const ClipData& c : clips) {
            if (c.clip.record.finger != finger) continue;
            ++row.clips;
            for (const Measurement& m : c.rows) {
                if (m.kind == "calibrate") continue;
                ++row.measurements;
                if (m.kind == "count" && m.perMm) perMmSum += *m.perMm, ++counts;
                // Only the width tool measures across a vessel: a ruler line may span a loop's
                // height or the gap between two, and would flag a giant that is not there.
                if (m.kind == "width" && m.lengthUm &&
                    (!row.widestUm || *m.lengthUm > *row.widestUm))
                    row.widestUm = m.lengthUm;
            }
        }
        if (row.clips == 0) continue;
        if (counts > 0) row.perMm = perMmSum / counts;
        row.giant = row.widestUm && *row.widestUm > CReviewTool::kGiantMicrometres;
        out.push_back(row);
    }
    return out;
}

CReportWriter::Result CReportWriter::Write(CExamStore& store, const Visit& visit,
                                           const Options& options) {
    Result result;
    const Text& text = options.text;
    const auto patient = store.PatientByRow(visit.patientRow);
    const auto clips = store.ClipsOfVisit(visit.row);
    if (!patient.ok() || !clips.ok()) {
        result.error = Q(!patient.ok() ? patient.status.detail : clips.status.detail);
        return result;
    }
    const QDir root(Q(store.Root()));
    std::vector<ClipData> data;
    for (const Clip& clip : clips.value) {
        const auto rows = store.MeasurementsOf(clip.record.relPath);
        if (!rows.ok()) {
            result.error = Q(rows.status.detail);
            return result;
        }
        data.push_back({clip, rows.value});
    }
    const QString folder = root.filePath(Q(visit.date));
    result.path = QDir(folder).filePath(FileName(patient.value.patientId, visit.date));
    if (!QDir().mkpath(folder)) {
        result.error = QStringLiteral("cannot make the folder");
        return result;
    }

    // Written beside the target and renamed over it only once complete.
    QSaveFile file(result.path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = file.errorString();
        return result;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    {
        QPdfWriter writer(&file);
        writer.setResolution(kResolution);
        writer.setPageSize(options.pageSize);
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setTitle(text("IDS_REPORT_TITLE"));
        writer.setCreator(QStringLiteral("Quorvel"));
        QPainter painter;
        if (!painter.begin(&writer)) {
            file.cancelWriting();
            result.error = file.errorString();
            return result;
        }
        QFont font;
        font.setFamilies({QStringLiteral("DejaVu Sans"), options.cjkFamily});
        font.setPointSizeF(9);
        painter.setFont(font);
        CPageFlow flow(writer, painter, text("IDS_REPORT_PAGE"));

        // Page 1.
        const Patient& p = patient.value;
        flow.Line(text("IDS_REPORT_TITLE"), true);
        flow.y += flow.LineHeight() / 2;
        flow.Line(text("IDS_REPORT_PATIENT_ID") + QStringLiteral(": ") + Q(p.patientId));
        flow.Line(text("IDS_REPORT_NAME") + QStringLiteral(": ") + Q(p.name));
        flow.Line(text("IDS_REPORT_BIRTH") + QStringLiteral(": ") + Q(p.birthDate));
        flow.Line(text("IDS_REPORT_SEX") + QStringLiteral(": ") + Q(p.sex));
        flow.Line(text("IDS_REPORT_VISIT") + QStringLiteral(": ") + Q(visit.date));
        flow.Line(text("IDS_REPORT_HOST") + QStringLiteral(": ") + options.host);
        std::vector<double> scales;
        for (const ClipData& c : data)
            if (c.clip.record.umPerPx &&
                std::find(scales.begin(), scales.end(), *c.clip.record.umPerPx) == scales.end())
                scales.push_back(*c.clip.record.umPerPx);
        QString calibration;
        for (double s : scales)
            calibration += (calibration.isEmpty() ? QString() : QStringLiteral(", ")) +
                           QStringLiteral("%1 µm/px").arg(s, 0, 'f', 4);
        flow.Line(text("IDS_REPORT_CALIBRATION") + QStringLiteral(": ") +
                  (calibration.isEmpty() ? text("IDS_REPORT_UNCALIBRATED") : calibration));
        flow.y += flow.LineHeight();

        const std::vector<FingerRow> table = Summarise(data);
        std::vector<std::string> filmed;
        for (const FingerRow& r : table) filmed.push_back(r.finger);
        DrawHands(painter, QRect(0, flow.y, flow.Width(), flow.LineHeight() * 6), filmed, text);
        flow.y += flow.LineHeight() * 7;

        const char* heads[] = {"IDS_REPORT_FINGER", "IDS_REPORT_CLIPS", "IDS_REPORT_PER_MM",
                               "IDS_REPORT_WIDEST", "IDS_REPORT_GIANT", "IDS_REPORT_MEASUREMENTS"};
        const int col = flow.Width() / 6;
        // A head may wrap onto a second line; a line under each row, clear of the text.
        auto tableRow = [&](const QStringList& cells, bool bold, int lines) {
            QFont f = font;
            f.setBold(bold);
            painter.setFont(f);
            painter.setPen(Qt::black);
            const int height = flow.LineHeight() * lines;
            for (int i = 0; i < cells.size(); ++i)
                painter.drawText(QRect(i * col, flow.y, col - 4, height),
                                 Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, cells[i]);
            painter.setFont(font);
            flow.y += height + 3;
            painter.drawLine(0, flow.y, flow.Width(), flow.y);
            flow.y += 2;
        };
        QStringList head;
        for (const char* h : heads) head << text(h);
        tableRow(head, true, 2);
        for (const FingerRow& r : table)
            tableRow(
                {Q(r.finger), QString::number(r.clips), Opt(r.perMm), Opt(r.widestUm),
                 r.giant ? text("IDS_REPORT_YES") : QString(), QString::number(r.measurements)},
                false, 1);
        const bool anyMeasured = std::any_of(table.begin(), table.end(),
                                             [](const FingerRow& r) { return r.measurements > 0; });
        if (!anyMeasured) {
            flow.y += flow.LineHeight() / 2;
            flow.Line(text("IDS_REPORT_NOTHING"));
        }

        // A page, or more, per finger.
        CClipFrameReader reader;
        for (const FingerRow& r : table) {
            flow.NewPage();
            flow.Line(text("IDS_REPORT_FINGER") + QStringLiteral(" ") + Q(r.finger), true);
            for (const ClipData& c : data) {
                if (c.clip.record.finger != r.finger) continue;
                const QString name = QFileInfo(Q(c.clip.record.relPath)).fileName();
                const QString path = root.filePath(Q(c.clip.record.relPath));
                const CCalibration clipCalibration(c.clip.record.umPerPx.value_or(0));
                std::map<int, std::vector<const Measurement*>> frames;
                for (const Measurement& m : c.rows)
                    if (m.kind != "calibrate") frames[m.frame].push_back(&m);
                if (frames.empty())
                    flow.Line(name + QStringLiteral(": ") + text("IDS_REPORT_NOTHING"));
                for (const auto& [frame, rows] : frames) {
                    flow.y += flow.LineHeight() / 2;
                    DrawFrame(painter, flow, path, reader, frame, rows, clipCalibration, text);
                    flow.Line(name + QStringLiteral(" · ") + text("IDS_REPORT_FRAME") +
                              QStringLiteral(" ") + QString::number(frame));
                    for (const Measurement* m : rows) flow.Line(RowText(*m, text));
                }
            }
        }
        flow.Number();
        painter.end();
    }
    if (file.error() != QFileDevice::NoError) {
        result.error = file.errorString();
        file.cancelWriting();
        return result;
    }
    if (!file.commit()) {
        result.error = file.errorString();
        return result;
    }
    result.ok = true;
    return result;
}
