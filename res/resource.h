// Resource ids: the dialog templates, the controls of each window, and the window messages the
// program defines. Every file takes them from here.
#pragma once

#include "platform/win_types.h"

// Dialog templates
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_QUORVEL_DIALOG = 102;
constexpr int IDD_VIDEO_CAPTURE_DIALOG = 130;

// Start window (template 102)
constexpr int IDC_BTN_START = 1000;
constexpr int IDC_BTN_END = 1001;
constexpr int IDC_LOGO = 1010;
constexpr int IDC_TITLE = 1012;

// Capture window (template 130)
constexpr int IDC_BTN_VIEW = 1002;
constexpr int IDC_VIDEO_LIST = 1003;
constexpr int IDC_BTN_DELETE_ONE = 1004;
constexpr int IDC_BTN_DELETE_ALL = 1005;
constexpr int IDC_LIVE_PANE = 1006;
constexpr int IDC_PANE1 = 1007;
constexpr int IDC_PANE2 = 1008;
constexpr int IDC_BTN_RECORD = 1009;
constexpr int IDC_BTN_CANCEL = 1010;
constexpr int IDC_BTN_SAVE = 1011;
constexpr int IDC_LABEL1 = 1012;
constexpr int IDC_LABEL2 = 1013;
constexpr int IDC_BTN_OPEN = 1014;

// Window messages
// A camera frame for the capture window, sent from the camera thread. wParam: a FrameMessage*,
// lParam: 0. The sender owns the record, valid during the send only; the receiver keeps the
// frame's pixels only by swapping record->frame with a frame of its own (FrameMessage).
constexpr UINT WM_CAPTURE_FRAME = WM_USER + 10;
// Posted when a write or the close of the clip failed: the recorder has closed the file and
// stopped. wParam, lParam: 0.
constexpr UINT WM_RECORD_FAIL = WM_USER + 11;
// Posted when the camera's stream ended because the device went away. wParam: the errno of the
// failing call (ENODEV when it was unplugged); lParam: 0.
constexpr UINT WM_DEVICE_LOST = WM_USER + 12;
// An entry of the clip strip was dropped. wParam: pointer to the sender's QString with the full
// path, valid only during the send. lParam: MAKELPARAM(screen x, screen y) of the release point.
constexpr UINT WM_LIST_DROP = WM_USER + 101;
