#include <gtest/gtest.h>

#include "capture/device_discovery.h"
#include "capture/dscapture.h"
#include "emulated/emulated_camera_system.h"
#include "platform/graph/com_runtime.h"
#include "platform/v4l2/device_discovery.h"

using platform::v4l2::CEmulatedCameraSystem;
using platform::v4l2::EmulatedCameraConfig;

TEST(SupportedDevice, IdsAfterMarkersMatchTheTable) {
    const QString prefix = QStringLiteral("@device:pnp:\\\\?\\usb#");
    // Digits in either case; markers only in lower case.
    EXPECT_TRUE(dscap_is_supported_device(prefix + "vid_534d&pid_0021#1-1:1.0#video4linux"));
    EXPECT_TRUE(dscap_is_supported_device(prefix + "vid_534D&pid_0021&mi_00#7&1b2"));
    EXPECT_FALSE(dscap_is_supported_device(prefix + "VID_534D&PID_0021#1-1:1.0"));
    EXPECT_FALSE(dscap_is_supported_device(prefix + "vid_534d&PID_0021"));
    // Both ids must match the same slot.
    EXPECT_FALSE(dscap_is_supported_device(prefix + "vid_534d&pid_0022"));
    EXPECT_FALSE(dscap_is_supported_device(prefix + "vid_046d&pid_0021"));
    EXPECT_FALSE(dscap_is_supported_device(prefix + "vid_046d&pid_0825"));
    // Without "pid" the product text starts at position 3.
    EXPECT_TRUE(dscap_is_supported_device(QStringLiteral("abc0021 vid_534d")));
    EXPECT_FALSE(dscap_is_supported_device(QStringLiteral("abcd0021 vid_534d")));
    // Short tails: fewer than four characters are what remains, and match nothing.
    EXPECT_FALSE(dscap_is_supported_device(QStringLiteral("vid_534d&pid_002")));
    EXPECT_FALSE(dscap_is_supported_device(QString()));
    // Unused slots never match a name without ids.
    EXPECT_FALSE(dscap_is_supported_device(QStringLiteral("vid_")));
}

TEST(SupportedDevice, TableHasOneCameraInHundredSlots) {
    EXPECT_STREQ(kSupportedCameras[0].vendorId, "534D");
    EXPECT_STREQ(kSupportedCameras[0].productId, "0021");
    for (int i = 1; i < kSupportedCameraSlots; ++i) {
        EXPECT_STREQ(kSupportedCameras[i].vendorId ? kSupportedCameras[i].vendorId : "", "");
        EXPECT_STREQ(kSupportedCameras[i].productId ? kSupportedCameras[i].productId : "", "");
    }
}

TEST(Discovery, OneCameraWithMetadataNodeGivesOneEntry) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    const auto nodes = platform::v4l2::EnumerateCaptureDevices();
    ASSERT_EQ(nodes.size(), 1u);  // the metadata node is left out
    EXPECT_EQ(nodes[0].node, cameras->NodeOf(0));
    EXPECT_EQ(nodes[0].vendorId, "534d");

    const auto list = dscap_enum_device();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].displayName.contains(QStringLiteral("vid_534d&pid_0021")));
    EXPECT_TRUE(list[0].displayName.contains(QStringLiteral("1-1:1.0")));
    EXPECT_EQ(list[0].friendlyName, QStringLiteral("USB Camera"));

    // The name leads back to the same device.
    const auto found = platform::v4l2::FindCaptureDevice(list[0].displayName);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->node, cameras->NodeOf(0));
}

TEST(Discovery, SupportedCamerasInSystemOrderOthersLeftOut) {
    EmulatedCameraConfig a = EmulatedCameraConfig::Microscope();
    a.card = "Scope A";
    EmulatedCameraConfig b = EmulatedCameraConfig::Microscope();
    b.card = "Scope B";
    b.metadataNode = false;
    EmulatedCameraConfig sameVendor = EmulatedCameraConfig::Microscope();
    sameVendor.productId = "0022";
    EmulatedCameraConfig upper = EmulatedCameraConfig::Microscope();
    upper.vendorId = "534D";  // ids compare without regard to case
    upper.card = "Scope C";
    CEmulatedCameraSystem cameras({a, EmulatedCameraConfig::OtherWebcam(), sameVendor, b, upper});

    const auto list = dscap_enum_device();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].friendlyName, QStringLiteral("Scope A"));
    EXPECT_EQ(list[1].friendlyName, QStringLiteral("Scope B"));
    EXPECT_EQ(list[2].friendlyName, QStringLiteral("Scope C"));
    EXPECT_TRUE(list[1].displayName.contains(QStringLiteral("#1-4:1.0#")));
    EXPECT_NE(list[0].displayName, list[1].displayName);
    EXPECT_EQ(platform::v4l2::FindCaptureDevice(list[1].displayName)->node, cameras.NodeOf(3));
}

// Another program's camera is told apart by the ids sysfs gives, without opening it.
TEST(Discovery, OtherCamerasAreNeverOpened) {
    CEmulatedCameraSystem cameras(
        {EmulatedCameraConfig::OtherWebcam(), EmulatedCameraConfig::Microscope()});
    const auto all = platform::v4l2::ListVideoDevices();
    ASSERT_EQ(all.size(), 2u);  // one per camera, metadata nodes aside
    EXPECT_EQ(all[0].vendorId, "046d");
    EXPECT_EQ(all[1].node, cameras.NodeOf(1));
    EXPECT_EQ(cameras.OpenAttempts(0) + cameras.OpenAttempts(1), 0);

    const auto list = dscap_enum_device();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].friendlyName, QStringLiteral("USB Camera"));
    EXPECT_GT(cameras.OpenAttempts(1), 0);
    EXPECT_EQ(cameras.OpenAttempts(0), 0);
    // Finding the listed camera again opens only its own nodes.
    const int before = cameras.OpenAttempts(1);
    ASSERT_TRUE(platform::v4l2::FindCaptureDevice(list[0].displayName).has_value());
    EXPECT_GT(cameras.OpenAttempts(1), before);
    EXPECT_EQ(cameras.OpenAttempts(0), 0);
}

TEST(Discovery, CameraWithoutFriendlyNameIsNotListed) {
    EmulatedCameraConfig nameless = EmulatedCameraConfig::Microscope();
    nameless.card.clear();
    CEmulatedCameraSystem cameras({nameless});
    EXPECT_EQ(platform::v4l2::EnumerateCaptureDevices().size(), 1u);
    EXPECT_TRUE(dscap_enum_device().empty());
}

TEST(Discovery, NoneOrOnlyUnsupportedCamerasGiveEmptyList) {
    {
        CEmulatedCameraSystem cameras({});
        EXPECT_TRUE(dscap_enum_device().empty());
    }
    {
        CEmulatedCameraSystem cameras({EmulatedCameraConfig::OtherWebcam()});
        EXPECT_TRUE(dscap_enum_device().empty());
    }
}

TEST(Discovery, DisplayNamesThatNameNoDeviceDoNotOpen) {
    auto cameras = CEmulatedCameraSystem::InstallDefault();
    CComPtr<IBindCtx> ctx;
    ASSERT_EQ(CreateBindCtx(0, &ctx), S_OK);
    CComPtr<IMoniker> moniker;
    ULONG eaten = 0;
    EXPECT_EQ(MkParseDisplayName(ctx.Get(), QStringLiteral("garbage"), &eaten, &moniker),
              MK_E_SYNTAX);
    EXPECT_FALSE(moniker);
    EXPECT_EQ(dscap_open_device(nullptr, {QStringLiteral("vid_534d&pid_0021"), QString()}),
              nullptr);
    // A well-formed name of a camera that is not there parses, but does not bind.
    const QString absent =
        QStringLiteral("@device:pnp:\\\\?\\usb#vid_534d&pid_0021#9-9:1.0#video4linux");
    ASSERT_EQ(MkParseDisplayName(ctx.Get(), absent, &eaten, &moniker), S_OK);
    CComPtr<IBaseFilter> filter;
    EXPECT_TRUE(FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.AsOut())));
    EXPECT_FALSE(filter);
}
