#pragma once

// Ordwin's command, control and resource numbers.
namespace ordwin_id {

// Commands of the frame's menu.
inline constexpr int kAppExit = 57665;
inline constexpr int kViewStatusBar = 59393;
inline constexpr int kCheckForUpdates = 32783;
inline constexpr int kAppAbout = 57664;

// Templates and resources.
inline constexpr int kAboutTemplate = 100;
inline constexpr int kFormTemplate = 101;
inline constexpr int kDocumentTemplate = 128;  // menu, icon and template string

// Controls of the form view and the About box.
inline constexpr int kProductList = 1002;
inline constexpr int kInstallButton = 1010;
inline constexpr int kCaptionText = 1017;
inline constexpr int kLinkLabel = 1018;
inline constexpr int kVersionLine = 1021;

}  // namespace ordwin_id
