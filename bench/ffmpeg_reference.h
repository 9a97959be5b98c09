// ffmpeg over the same JPEG frames: decode, draw the local time, encode MJPEG AVI, one thread.
// The yardstick the capture benchmarks print their figures beside.
#pragma once

#include <sys/resource.h>

#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

inline double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Throughput {
    bool ran = false;
    double fps = 0;
    double cpuMsPerFrame = 0;
};

// Runs ffmpeg in folder over frames; ran is false when ffmpeg is not installed or failed.
inline Throughput RunFfmpegReference(const std::vector<std::vector<unsigned char>>& frames,
                                     const std::string& folder) {
    const std::string in = folder + "/in.mjpeg";
    {
        std::ofstream out(in, std::ios::binary);
        for (const auto& f : frames)
            out.write(reinterpret_cast<const char*>(f.data()),
                      static_cast<std::streamsize>(f.size()));
    }
    const std::string out = folder + "/ffmpeg.avi";
    // The filter goes through a script file: no shell quoting between us and ffmpeg.
    const std::string script = folder + "/stamp.txt";
    std::ofstream(script) << R"(drawtext=font=Sans:fontsize=16:fontcolor=black:x=10:y=18:)"
                          << R"(text='%{localtime\:%Y%m%d %H\\\:%M\\\:%S}')";
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -y -threads 1 -f mjpeg -framerate 25 -i '" + in +
        "' -filter_script:v '" + script + "' -c:v mjpeg -q:v 3 -f avi '" + out + "'";
    const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer wall;
    wall.start();
    const int rc = std::system(command.c_str());
    const double seconds = wall.nsecsElapsed() / 1e9;
    Throughput t;
    if (rc != 0) return t;
    t.ran = true;
    t.fps = frames.size() / seconds;
    t.cpuMsPerFrame = (CpuSeconds(RUSAGE_CHILDREN) - cpu0) * 1000 / frames.size();
    return t;
}

inline void PrintComparison(const Throughput& ours, const Throughput& theirs) {
    if (!theirs.ran) {
        std::printf("ffmpeg: did not run; install it with `make bench-deps`\n");
        return;
    }
    std::printf("ffmpeg (1 thread): %.1f fps, %.2f CPU ms/frame\n", theirs.fps,
                theirs.cpuMsPerFrame);
    std::printf("ratio quorvel/ffmpeg: %.2fx the frame rate, %.2fx the CPU per frame\n",
                ours.fps / theirs.fps, ours.cpuMsPerFrame / theirs.cpuMsPerFrame);
}

}  // namespace bench
