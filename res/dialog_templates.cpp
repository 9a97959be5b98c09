// The windows' dialog templates: positions and sizes in dialog units, captions as the resource
// file has them (most are replaced from the language pack at run time).
#include "platform/dialog_template.h"
#include "res/resource.h"

namespace platform {
namespace {

using K = ControlKind;

const DialogTemplate kAboutBox = {
    IDD_ABOUTBOX,
    "关于 Quorvel",
    170,
    62,
    9,
    false,
    {
        {IDC_STATIC, K::StaticIcon, 14, 14, 21, 20, "", 0, 128},
        {IDC_STATIC, K::StaticText, 42, 14, 114, 8, "Quorvel, Version 1.0", 0, 0},
        {IDC_STATIC, K::StaticText, 42, 26, 114, 8, "Capillary microscope capture", 0, 0},
        {IDOK, K::PushButton, 113, 41, 50, 14, "OK", 0, 0},
    }};

const DialogTemplate kStartWindow = {
    IDD_QUORVEL_DIALOG,
    "",
    640,
    385,
    9,
    false,
    {
        {IDC_BTN_START, K::PushButton, 169, 245, 151, 36, "测量开始", 0, 0},
        {IDC_BTN_END, K::PushButton, 324, 245, 151, 36, "结束", 0, 0},
        {IDC_LOGO, K::StaticBitmap, 176, 87, 400, 117, "", 0, 137},
        {IDC_TITLE, K::StaticText, 244, 186, 157, 23, "毛細血管スコープ", ItemCentered, 0},
    }};

const DialogTemplate kCaptureWindow = {
    IDD_VIDEO_CAPTURE_DIALOG,
    "TAVERIN",
    849,
    468,
    8,
    true,
    {
        {IDC_LIVE_PANE, K::StaticFrame, 190, 38, 474, 306, "", 0, 0},
        {IDC_BTN_VIEW, K::PushButton, 381, 7, 87, 23, "双画面", 0, 0},
        {IDC_VIDEO_LIST, K::ListView, 75, 381, 527, 74, "", 0, 0},
        {IDC_BTN_DELETE_ONE, K::PushButton, 643, 404, 88, 30, "删除选中视频", 0, 0},
        {IDC_BTN_DELETE_ALL, K::PushButton, 748, 404, 88, 30, "删除全部视频", 0, 0},
        {IDC_PANE1, K::StaticFrame, 9, 38, 414, 305, "", ItemHidden, 0},
        {IDC_PANE2, K::StaticFrame, 428, 38, 414, 305, "", ItemHidden, 0},
        {IDC_BTN_RECORD, K::PushButton, 381, 350, 87, 23, "开始录制", 0, 0},
        {IDC_BTN_CANCEL, K::PushButton, 259, 350, 87, 23, "取消", 0, 0},
        {IDC_BTN_SAVE, K::PushButton, 501, 350, 87, 23, "保存", 0, 0},
        {IDC_LABEL1, K::StaticText, 147, 349, 90, 17, "", ItemCentered, 0},
        {IDC_LABEL2, K::StaticText, 597, 349, 90, 17, "", ItemCentered, 0},
        {IDC_BTN_OPEN, K::PushButton, 611, 410, 19, 18, "", 0, 0},
    }};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate* t : {&kAboutBox, &kStartWindow, &kCaptureWindow}) {
        if (t->id == id) return t;
    }
    return nullptr;
}

}  // namespace platform
