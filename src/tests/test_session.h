#pragma once

#include <functional>
#include <optional>
#include <string>

#include "link/event_hook.h"
#include "link/link_exchange.h"
#include "serial/port_context.h"
#include "tests/adaptor_tests.h"
#include "tests/baud_list.h"
#include "tests/run_control.h"
#include "tests/run_record.h"

class Clock;
class PortMap;
class TestPanel;

// What the user interface does while a session waits.
struct SessionHooks {
  // The port object, between closing and reopening the port: the pending events only.
  std::function<void()> port;
  // The link exchange's waits.
  EventHooks link;
};

// Without a user interface: nothing to process, and the link's waits sleep.
inline SessionHooks SleepingHooks() { return {[] {}, {SleepFor, [] {}}}; }

// One test session on the ports of a port map: the serial control, the port object and the port
// state, the link exchange over that serial control, the extended test's rate list, and the
// adaptor tests that report to the panel.
class TestSession {
 public:
  TestSession(PortMap& ports, Clock& clock, TestPanel& panel, SessionHooks hooks,
              std::string decimalSeparator);
  TestSession(const TestSession&) = delete;
  TestSession& operator=(const TestSession&) = delete;

  PortContext& Port() { return port_; }
  LinkExchange& Link() { return link_; }
  AdaptorTests& Tests() { return tests_; }

  // Start Test and Stop Test on this session's port and panel.
  std::optional<RunRecord> Start(TestKind kind);
  void Stop();

  BaudListArray BaudList = MakeBaudList();

 private:
  TestPanel& panel_;
  PortContext port_;
  LinkExchange link_;
  AdaptorTests tests_;
};
