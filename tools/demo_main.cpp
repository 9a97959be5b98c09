// quorvel-demo: Quorvel with an emulated microscope camera plugged in, for trying the program
// without the hardware.
#include "app/quorvel_app.h"
#include "platform/v4l2/emulated_camera_system.h"

int main(int argc, char** argv) {
    // At most 30 frames per second, as the real camera gives at 640x480.
    platform::v4l2::EmulatedCameraConfig camera =
        platform::v4l2::EmulatedCameraConfig::Microscope();
    camera.maxFramesPerSecond = 30;
    platform::v4l2::CEmulatedCameraSystem cameras({camera});
    return AfxGetApp().Run(argc, argv);
}
