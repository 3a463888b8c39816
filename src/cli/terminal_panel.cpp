#include "cli/terminal_panel.h"

#include <ostream>
#include <string_view>

#include "cli/interrupt.h"
#include "serial/port_selection.h"

namespace {

// Captions carry the sign space of their numbers and sometimes the report's line breaks.
std::string Trimmed(std::string_view text) {
  constexpr std::string_view kBlank = " \r\n";
  const auto first = text.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return "";
  return std::string(text.substr(first, text.find_last_not_of(kBlank) - first + 1));
}

std::string WithNewlines(const std::string& message) {
  std::string text;
  text.reserve(message.size());
  for (std::size_t i = 0; i < message.size(); ++i) {
    if (message.compare(i, 2, "\r\n") == 0) {
      text += '\n';
      ++i;
    } else {
      text += message[i];
    }
  }
  return text;
}

}  // namespace

TerminalPanel::TerminalPanel(std::ostream& report, std::ostream& captions, bool ringBell)
    : report_(report), captions_(captions), ringBell_(ringBell) {}

void TerminalPanel::ReportStatus(const std::string& message, const std::string& status,
                                 bool clear) {
  if (clear) {
    status_.clear();
    return;
  }
  if (!message.empty()) {
    const std::string text = WithNewlines(message);
    report_ << text << std::flush;
    midLine_ = text.back() != '\n';
  }
  if (!status.empty()) ShowCaption("Test Status:", status_, status);
  WritePendingCaptions();
}

// The verdict's words already say what the green or red background shows.
void TerminalPanel::SetStatusColour(Colour /*colour*/) {}

void TerminalPanel::SetBaudCaption(const std::string& caption) {
  ShowCaption("Baud Rate:", baudCaption_, caption);
}

void TerminalPanel::Beep() {
  if (ringBell_) captions_ << '\a' << std::flush;
}

// Nothing here can be used while a test runs; Ctrl-C stays usable as Stop Test.
void TerminalPanel::SetTestBusy(bool /*busy*/) {}

void TerminalPanel::StopNoLongerHeard() { InstallInterruptHandler(kSpeedCheckNotice); }

void TerminalPanel::ShowMessage(const std::string& text, std::int32_t /*buttons*/,
                                const std::string& title) {
  captions_ << title << ": " << text << std::endl;
}

void TerminalPanel::ShowPortSelection(const PortSelectionView& view) {
  ShowCaption("Com Status:", comStatus_, view.comStatus);
  if (view.baudValue) SetBaudCaption(*view.baudValue);
}

void TerminalPanel::EndReport() {
  if (midLine_) report_ << std::endl;
  midLine_ = false;
  WritePendingCaptions();
}

void TerminalPanel::ShowCaption(const char* label, std::string& shown, const std::string& caption) {
  std::string text = Trimmed(caption);
  if (text == shown) return;
  shown = std::move(text);
  pendingCaptions_.push_back(label + (' ' + shown));
  WritePendingCaptions();
}

void TerminalPanel::WritePendingCaptions() {
  if (midLine_) return;
  for (const std::string& caption : pendingCaptions_) captions_ << caption << '\n';
  captions_ << std::flush;
  pendingCaptions_.clear();
}
