#pragma once

#include <string>
#include <vector>

#include "tests/test_panel.h"

// A panel that keeps everything a test writes, CRLFs included.
class RecordingPanel final : public TestPanel {
 public:
  struct Message {
    std::string text;
    std::int32_t buttons;
    std::string title;
  };

  void ReportStatus(const std::string& message, const std::string& status, bool clear) override {
    if (clear) {
      report.clear();
      this->status.clear();
      return;
    }
    report += message;
    if (!status.empty()) this->status = status;
    statuses.push_back(status);
  }
  void SetStatusColour(Colour value) override { colour = value; }
  void SetBaudCaption(const std::string& caption) override { baudCaption = caption; }
  void Beep() override { ++beeps; }
  void SetTestBusy(bool busy) override { busyCalls.push_back(busy); }
  void ShowMessage(const std::string& text, std::int32_t buttons, const std::string& title) override {
    messages.push_back({text, buttons, title});
  }

  std::string report;
  std::string status;
  std::vector<std::string> statuses;
  Colour colour{0, 0, 0};
  std::string baudCaption;
  int beeps = 0;
  std::vector<bool> busyCalls;
  std::vector<Message> messages;
};
