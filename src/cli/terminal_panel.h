#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "common/test_panel.h"

struct PortSelectionView;

// The test's panel on a terminal: the report as the test writes it, each CRLF a newline, and
// the captions of the window's status labels, one line each time they change. A caption that
// changes while the report stands mid-line waits for the line's end, so that the two streams
// do not break each other's lines on one terminal.
class TerminalPanel final : public TestPanel {
 public:
  TerminalPanel(std::ostream& report, std::ostream& captions, bool ringBell);

  void ReportStatus(const std::string& message, const std::string& status, bool clear) override;
  void SetStatusColour(Colour colour) override;
  void SetBaudCaption(const std::string& caption) override;
  void Beep() override;
  void SetTestBusy(bool busy) override;
  // Ctrl-C then says that the test runs on to its verdict.
  void StopNoLongerHeard() override;
  void ShowMessage(const std::string& text, std::int32_t buttons,
                   const std::string& title) override;

  // What choosing a port shows: the Com Status and, when it says one, the Baud Rate.
  void ShowPortSelection(const PortSelectionView& view);
  // The verdict and the halt texts carry no line break; a terminal wants one at the end.
  void EndReport();

 private:
  void ShowCaption(const char* label, std::string& shown, const std::string& caption);
  void WritePendingCaptions();

  std::ostream& report_;
  std::ostream& captions_;
  bool ringBell_;
  bool midLine_ = false;
  std::vector<std::string> pendingCaptions_;
  std::string comStatus_;
  std::string baudCaption_;
  std::string status_;
};
