#include "tests/capture/capture_test_window.h"

#include <fstream>
#include <opencv2/videoio.hpp>

int CountLogLines(const std::string& path, const std::string& text) {
    std::ifstream in(path);
    std::string line;
    int n = 0;
    while (std::getline(in, line))
        if (line == text) ++n;
    return n;
}

int CountClipFrames(const std::string& path) {
    cv::VideoCapture reader(path);
    if (!reader.isOpened()) return -1;
    int n = 0;
    cv::Mat frame;
    while (reader.read(frame)) ++n;
    return n;
}
