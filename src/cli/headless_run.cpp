#include "cli/headless_run.h"

#include "cli/interrupt.h"
#include "cli/terminal_panel.h"
#include "common/number_text.h"
#include "serial/baud_select.h"
#include "serial/port_map.h"
#include "serial/port_selection.h"

HeadlessRun::HeadlessRun(PortMap& ports, Clock& clock, TerminalPanel& panel,
                         std::string decimalSeparator)
    : ports_(ports),
      panel_(panel),
      session_(ports, clock, panel,
               {[this] { DoEvents(); }, {[this](std::int32_t ms) { Sleep(ms); }, [] {}}},
               std::move(decimalSeparator)) {}

std::optional<std::string> HeadlessRun::OpenPort(std::int16_t comPort) {
  // The window's start-up probe sets how many ports the port object may open; this opens one.
  PortContext& port = session_.Port();
  port.ComSetup().SetMaxComPorts(kProbedComPorts);
  const PortSelectionView view = SelectComPort(port, comPort);
  panel_.ShowPortSelection(view);
  if (port.state.PortReady) return std::nullopt;
  if (const auto failure = port.MSComm1.OpenFailure(comPort)) return *failure;
  return ports_.Unavailability(comPort).value_or(view.comStatus);
}

void HeadlessRun::SelectRate(std::int32_t rate) {
  panel_.SetBaudCaption(SelectBaud(session_.Port(), rate) ? NumberText(rate) : "Error Setting Baud");
}

std::optional<RunRecord> HeadlessRun::Run(TestKind kind, const CarLinkOptions& car) {
  InstallInterruptHandler();
  session_.CarLink = car;
  std::optional<RunRecord> record = session_.Start(kind);
  // The window shows the refusal as it is; to a script and a bench the adaptor has failed.
  if (record && RefusesCarRate(*record)) record->verdict = Verdict::Failed;
  if (const auto lost = DropLostPort(session_.Port())) panel_.ShowPortSelection(*lost);
  return record;
}

void HeadlessRun::Sleep(std::int32_t ms) {
  SleepFor(ms);
  DoEvents();
}

void HeadlessRun::DoEvents() {
  if (InterruptRequested()) session_.Stop();
}
