#pragma once

#include <string>

#include "common/test_panel.h"

// A panel that shows nothing: the benchmarks read the run's record instead.
class SilentPanel final : public TestPanel {
 public:
  void ReportStatus(const std::string&, const std::string&, bool) override {}
  void SetStatusColour(Colour) override {}
  void SetBaudCaption(const std::string&) override {}
  void Beep() override {}
  void SetTestBusy(bool) override {}
  void ShowMessage(const std::string&, std::int32_t, const std::string&) override {}
};
