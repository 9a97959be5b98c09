// quorvel-demo: Quorvel with an emulated microscope camera plugged in, for trying the program
// without the hardware.
//
//   quorvel-demo [--frames PATH]
//     --frames PATH  stream the JPEG files of a folder (sorted by name) or the frames of a
//                    motion-JPEG AVI, in a loop at 30 frames per second, bytes unchanged
//   kill -USR1 <pid> unplugs the camera, kill -USR2 <pid> plugs it back in.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/quorvel_app.h"
#include "emulated/emulated_camera_system.h"
#include "emulated/emulated_frame_files.h"

namespace {

platform::v4l2::CEmulatedCameraSystem* g_cameras = nullptr;
int g_signalPipe[2] = {-1, -1};

// Only write(2) here: the rest happens on the UI thread when the byte is read.
void OnSignal(int signo) {
    const int saved = errno;
    const char byte = signo == SIGUSR1 ? 'u' : 'r';
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

// Runs as the application object is made: the notifier needs the UI thread's event loop.
void WatchSignals() {
    if (g_signalPipe[0] < 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char bytes[16];
        const ssize_t n = ::read(g_signalPipe[0], bytes, sizeof(bytes));
        for (ssize_t i = 0; i < n && g_cameras; ++i) {
            if (bytes[i] == 'u') {
                g_cameras->Unplug(0);
                std::fprintf(stderr, "quorvel-demo: camera unplugged\n");
            } else {
                g_cameras->Replug(0);
                std::fprintf(stderr, "quorvel-demo: camera plugged in\n");
            }
        }
    });
}
Q_COREAPP_STARTUP_FUNCTION(WatchSignals)

bool InstallSignalHandlers() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGUSR1, &action, nullptr) == 0 && sigaction(SIGUSR2, &action, nullptr) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    // At most 30 frames per second, as the real camera gives at 640x480.
    platform::v4l2::EmulatedCameraConfig camera =
        platform::v4l2::EmulatedCameraConfig::Microscope();
    camera.maxFramesPerSecond = 30;

    // Our own option is taken out before the application sees the rest.
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            std::string error;
            camera.frames = platform::v4l2::CEmulatedFrameFiles::Load(argv[++i], &error);
            if (!camera.frames) {
                std::fprintf(stderr, "quorvel-demo: %s\n", error.c_str());
                return 2;
            }
            if (!error.empty()) std::fprintf(stderr, "quorvel-demo: %s\n", error.c_str());
            std::fprintf(stderr, "quorvel-demo: streaming %zu frames from %s\n",
                         camera.frames->size(), argv[i]);
        } else {
            args.push_back(argv[i]);
        }
    }
    args.push_back(nullptr);
    int count = static_cast<int>(args.size()) - 1;

    if (!InstallSignalHandlers())
        std::fprintf(stderr, "quorvel-demo: no unplug signals: %s\n", std::strerror(errno));
    platform::v4l2::CEmulatedCameraSystem cameras({camera});
    g_cameras = &cameras;
    CQuorvelApp theApp;
    const int code = theApp.Run(count, args.data());
    g_cameras = nullptr;
    return code;
}
