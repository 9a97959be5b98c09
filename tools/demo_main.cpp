// quorvel-demo: Quorvel with an emulated microscope camera plugged in, for trying the program
// without the hardware.
#include "app/quorvel_app.h"
#include "platform/v4l2/emulated_camera_system.h"

int main(int argc, char** argv) {
    auto cameras = platform::v4l2::CEmulatedCameraSystem::InstallDefault();
    return AfxGetApp().Run(argc, argv);
}
