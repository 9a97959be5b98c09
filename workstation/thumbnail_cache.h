// The clip strip's pictures: the first frame of each listed clip, read once per path, and its
// thumbnail at the size last asked for. A rebuild of the strip at a new height only rescales;
// at the same height it costs nothing. Window's thread only; the frames are read elsewhere.
#pragma once

#include <QHash>
#include <QImage>
#include <QString>
#include <opencv2/core.hpp>

class CThumbnailCache {
  public:
    enum class State {
        Unknown,  // never asked for, or forgotten
        Pending,  // its first frame is being read
        Ready,    // first frame at hand
        Failed,   // the clip could not be opened or has no first frame
    };

    State StateOf(const QString& path) const;
    // The first frame of path is being read from now on; the file's size and modification time
    // are noted, so that a later change of the file is seen.
    void MarkPending(const QString& path);
    // Whether the file at path is no longer the one whose first frame was asked for (another
    // size or modification time). False for a path never asked for, and for a file gone since:
    // its picture is the best there is.
    bool FileChanged(const QString& path) const;
    // The first frame read for a pending path (empty: unreadable). False, and nothing kept, when
    // the path is not awaited (forgotten meanwhile).
    bool Store(const QString& path, const cv::Mat& frame);
    void Forget(const QString& path);
    void Clear();
    int PendingCount() const;

    // What the strip shows for path at width x height: the first frame stretched to that size
    // once it is at hand, else the placeholder.
    QImage Thumbnail(const QString& path, int width, int height);
    // Stands in for a clip not read yet or unreadable: grey with a crossed box.
    QImage Placeholder(int width, int height);

    // The frame stretched to exactly width x height (bilinear), or at its own size for a width
    // below 1. Null for an empty frame or one that is not 8-bit BGR, grey or BGRA.
    static QImage Scale(const cv::Mat& frame, int width, int height);
    // The size of the first frame kept for path; empty when none is at hand.
    cv::Size FrameSize(const QString& path) const;

  private:
    struct FileStamp {
        qint64 size = -1;
        qint64 modified = -1;  // milliseconds since the epoch
        bool operator==(const FileStamp&) const = default;
    };
    static FileStamp StampOf(const QString& path);

    struct Entry {
        State state = State::Pending;
        cv::Mat frame;
        QImage thumbnail;  // the frame at the size last asked for
        FileStamp stamp;   // the file as it was when its first frame was asked for
    };
    QHash<QString, Entry> m_entries;
    QImage m_placeholder;
};
