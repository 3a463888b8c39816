#pragma once

#include <string>
#include <vector>

#include "tests/test_panel.h"

// A panel that keeps everything a test writes, CRLFs included.
class RecordingPanel final : public TestPanel {
 public:
  void ReportStatus(const std::string& message, const std::string& status, bool clear) override {
    if (clear) {
      report.clear();
      this->status.clear();
      return;
    }
    report += message;
    if (!status.empty()) this->status = status;
  }
  void SetStatusColour(Colour value) override { colour = value; }
  void SetBaudCaption(const std::string& caption) override { baudCaption = caption; }
  void Beep() override { ++beeps; }
  void SetTestBusy(bool busy) override { busyCalls.push_back(busy); }
  void ShowMessage(const std::string&, std::int32_t, const std::string&) override {}

  std::string report;
  std::string status;
  Colour colour{0, 0, 0};
  std::string baudCaption;
  int beeps = 0;
  std::vector<bool> busyCalls;
};
