#pragma once

#include <cstdint>
#include <string>

struct Colour {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
  friend bool operator==(const Colour&, const Colour&) = default;
};

// Report lines end in a carriage return and a line feed, which the callers write themselves.
inline const std::string CRLF = "\r\n";

inline constexpr Colour kWhite{255, 255, 255};
inline constexpr Colour kGreen{0, 255, 0};
inline constexpr Colour kRed{255, 0, 0};

// Where a test shows its progress: the window, or the headless runner's terminal.
class TestPanel {
 public:
  virtual ~TestPanel() = default;

  // Clear true empties the report and the status. Otherwise the message is appended exactly as
  // given (callers supply the CRLFs) and a non-empty status replaces the status caption.
  virtual void ReportStatus(const std::string& message, const std::string& status, bool clear) = 0;
  virtual void SetStatusColour(Colour colour) = 0;
  virtual void SetBaudCaption(const std::string& caption) = 0;
  virtual void Beep() = 0;
  // True locks every control that could interfere with a running test; Stop Test stays usable.
  virtual void SetTestBusy(bool busy) = 0;
  // The run has come to the speed check, after which it makes no more checks: a stop request
  // from here on no longer ends it before its verdict.
  virtual void StopNoLongerHeard() {}
  // A modal message with the message box's code for icon and buttons (16: stop, 64: information).
  virtual void ShowMessage(const std::string& text, std::int32_t buttons, const std::string& title) = 0;
};
