// Emulated USB cameras behind the V4L2 seam, with a sysfs tree of their own in a temporary
// folder. While an object lives, every V4L2 call of the process reaches these cameras and no
// real one.
//
// The one-call way, for the demo and any test that needs "a camera":
//
//     auto cameras = platform::v4l2::CEmulatedCameraSystem::InstallDefault();
//     ... // dscap_enum_device() now finds one supported camera (534d:0021, MJPEG 640x480)
//
// Keep the returned object alive for as long as the camera may be used; destroying it
// restores the kernel and /sys. Only one system may be installed at a time.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "emulated/emulated_camera_config.h"
#include "emulated/emulated_camera_device.h"
#include "platform/v4l2/unique_fd.h"
#include "platform/v4l2/v4l2_syscalls.h"

namespace platform::v4l2 {

class CEmulatedCameraSystem : public CV4l2Syscalls {
  public:
    // Installs the cameras, in this order (video0, video1... with metadata nodes between).
    explicit CEmulatedCameraSystem(std::vector<EmulatedCameraConfig> cameras);
    ~CEmulatedCameraSystem() override;
    CEmulatedCameraSystem(const CEmulatedCameraSystem&) = delete;
    CEmulatedCameraSystem& operator=(const CEmulatedCameraSystem&) = delete;

    // One supported microscope camera.
    static std::unique_ptr<CEmulatedCameraSystem> InstallDefault();

    const std::string& Root() const { return m_root; }
    std::string NodeOf(int camera) const;  // "/dev/videoN" of a camera's capture node

    // Test controls and observations, safe from any thread.
    // Unplug: open files fail with ENODEV and the node and its sysfs entries disappear.
    // Replug: the camera comes back on the same USB port as a fresh device with its old node
    // names; files still open on the old one stay dead. Counters start again from 0.
    void Unplug(int camera);
    void Replug(int camera);
    // Comes back changed (no access for the user, say), on the same port and node names.
    void Replug(int camera, std::optional<EmulatedCameraConfig> config);
    bool Plugged(int camera) const;
    int FramesDelivered(int camera) const;
    int Maps(int camera) const;
    int Unmaps(int camera) const;
    int BadUnmaps(int camera) const;
    int MappedNow(int camera) const;
    // Buffers given back to the driver: all of them once the streaming thread is done with
    // every frame it took.
    int QueuedNow(int camera) const;
    bool Streaming(int camera) const;
    double IntervalSeconds(int camera) const;
    int OpenFiles() const;
    // Opens tried on any node of the camera (capture or metadata), failed ones too; kept
    // across unplug and replug.
    int OpenAttempts(int camera) const;
    std::vector<unsigned char> SampleBytes(int camera, int sequence) const;
    // A control's value now, and the ids of every control set since the camera was plugged in.
    int32_t ControlValue(int camera, uint32_t id) const;
    std::vector<uint32_t> ControlSetOrder(int camera) const;

    // CV4l2Syscalls
    int Open(const char* path, int flags) override;
    int Close(int fd) override;
    int Ioctl(int fd, unsigned long request, void* arg) override;
    void* Mmap(std::size_t length, int prot, int flags, int fd, off_t offset) override;
    int Munmap(void* addr, std::size_t length) override;
    int Poll(pollfd* fds, nfds_t count, int timeoutMs) override;

  private:
    struct Node {
        int camera;
        bool metadata;
    };
    struct OpenFile {
        CEmulatedCameraDevice* device;  // the device as it was when opened
        bool metadata;
        CUniqueFd descriptor;  // a real one, so that the number is unique in the process
    };

    // The camera's USB device, interface, nodes and class links; its node names are kept.
    void WriteSysfs(int camera);
    void RemoveSysfs(int camera);
    CEmulatedCameraDevice& Device(int camera) const;

    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<CEmulatedCameraDevice>> m_devices;
    std::vector<std::unique_ptr<CEmulatedCameraDevice>> m_unplugged;  // kept for open files
    std::vector<std::vector<std::string>> m_nodeNames;  // per camera: "video0", "video1"
    std::unordered_map<std::string, Node> m_nodes;      // "/dev/videoN"
    std::unordered_map<int, OpenFile> m_files;          // guarded by m_mutex
    std::unordered_map<int, int> m_openAttempts;        // per camera; guarded by m_mutex
    std::string m_root;
};

}  // namespace platform::v4l2
