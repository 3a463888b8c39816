#pragma once

#include <QString>
#include <cstdint>

class QWidget;

// Message box codes: buttons in the low four bits (0 is OK alone), the icon above them.
inline constexpr std::int32_t kMsgBoxOkCancel = 1;
inline constexpr std::int32_t kMsgBoxAbortRetryIgnore = 2;
inline constexpr std::int32_t kMsgBoxYesNoCancel = 3;
inline constexpr std::int32_t kMsgBoxYesNo = 4;
inline constexpr std::int32_t kMsgBoxRetryCancel = 5;
inline constexpr std::int32_t kMsgBoxCritical = 16;
inline constexpr std::int32_t kMsgBoxQuestion = 32;
inline constexpr std::int32_t kMsgBoxExclamation = 48;
inline constexpr std::int32_t kMsgBoxInformation = 64;

// Shows the standard modal message box centred over the owner's outer rectangle and kept on the
// primary screen, and returns the answer: 1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes,
// 7 No. An empty title becomes the application's title, in the caller's string too.
std::int32_t ShowMsgBox(const QString& prompt, std::int32_t buttons, QString& title, QWidget* owner);
