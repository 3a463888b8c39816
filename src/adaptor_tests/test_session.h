#pragma once

#include <functional>
#include <optional>
#include <string>

#include "adaptor_tests/adaptor_tests.h"
#include "adaptor_tests/baud_list.h"
#include "adaptor_tests/run_control.h"
#include "adaptor_tests/run_record.h"
#include "car_link/car_link_test.h"
#include "link/event_hook.h"
#include "link/link_exchange.h"
#include "serial/port_context.h"

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
// adaptor tests and the car link test that report to the panel.
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
  // What the car link test asks: the ECU's ID, and whether the bus is quieted first.
  CarLinkOptions CarLink;

 private:
  RunRecord RunCarLink();

  TestPanel& panel_;
  PortContext port_;
  LinkExchange link_;
  AdaptorTests tests_;
  CarLinkTest carLink_;
};
