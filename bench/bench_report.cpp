// The time to write a visit's report: 32 clips of 640x480 (four per finger of the eight filmed
// without the thumbs), each with a width and a count with its marks on two frames, so 64 frames
// decoded and drawn.
// Asserts nothing.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <string>

#include "exam/exam_store.h"
#include "exam/finger.h"
#include "report/report_writer.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    CExamStore store;
    if (!store.Open(dir.path().toStdString()).ok()) return 1;
    const long long patient =
        store.CreatePatient({0, "B-32", "Bench Patient", "1970-05-04", "F"}).value;
    const Visit visit = store.VisitOn(patient, "2026-12-11").value;
    QDir(dir.path()).mkpath("2026-12-11");
    // Pink skin with dark loops across it, roughly as a nailfold looks.
    cv::Mat frame(480, 640, CV_8UC3, cv::Scalar(150, 160, 225));
    for (int x = 30; x < 640; x += 45)
        cv::ellipse(frame, cv::Point(x, 240), cv::Size(9, 150), 0, 180, 360,
                    cv::Scalar(60, 50, 140), 6);
    for (int i = 0; i < 32; ++i) {
        const std::string rel = "2026-12-11/" + std::to_string(100000 + i) + ".avi";
        cv::VideoWriter out(dir.filePath(QString::fromStdString(rel)).toStdString(),
                            cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25, frame.size());
        for (int f = 0; f < 25; ++f) out.write(frame);
        out.release();
        ClipRecord r;
        r.visitRow = visit.row;
        r.finger = exam::FingerOrder()[i / 4];
        r.relPath = rel;
        r.savedAt = "2026-12-11 10:00:00";
        r.umPerPx = 0.8;
        store.SaveClip(r);
        // A vessel's width on one frame, a count with its nine marks on another.
        Measurement width;
        width.frame = 5;
        width.kind = "width";
        width.x1 = 250, width.y1 = 180, width.x2 = 274, width.y2 = 181;
        width.lengthPx = 24.0, width.lengthUm = 19.2;
        width.proposed = 1, width.changed = 0;
        Measurement count;
        count.frame = 15;
        count.kind = "count";
        count.x1 = 30, count.y1 = 200, count.x2 = 610, count.y2 = 200;
        count.lengthPx = 580, count.lengthUm = 464, count.count = 9, count.perMm = 19.4;
        count.proposed = 10, count.changed = 1;
        // On the left limbs of the loops drawn above.
        for (int k = 0; k < 9; ++k) count.marks.push_back({66.0 + 45 * k, 200});
        for (const Measurement& m : {width, count})
            if (!store.AddMeasurement(rel, m).ok()) return 1;
    }
    CReportWriter::Options options;
    options.host = QStringLiteral("bench");
    // The English pack's texts.
    auto texts = std::make_shared<std::map<std::string, QString>>();
    QFile pack(QStringLiteral(QUORVEL_SOURCE_DIR "/res/Language/English.ini"));
    if (pack.open(QIODevice::ReadOnly))
        for (const QString& line : QString::fromUtf8(pack.readAll()).split('\n'))
            if (const int eq = line.indexOf('='); eq > 0)
                (*texts)[line.left(eq).toStdString()] = line.mid(eq + 1).trimmed();
    options.text = [texts](const char* key) {
        return texts->count(key) ? texts->at(key) : QString();
    };
    const auto start = std::chrono::steady_clock::now();
    const CReportWriter::Result r = CReportWriter::Write(store, visit, options);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("report of 32 clips, 64 measurements: %s in %.0f ms (%lld bytes)\n",
                r.ok ? "written" : r.error.toUtf8().constData(), ms,
                static_cast<long long>(QFileInfo(r.path).size()));
    // With a path, the report is kept there (the README's pictures come from it).
    if (r.ok && argc > 1) QFile::copy(r.path, QString::fromLocal8Bit(argv[1]));
    return r.ok ? 0 : 1;
}
