#include "tests/test_session.h"

#include <utility>

TestSession::TestSession(PortMap& ports, Clock& clock, TestPanel& panel, SessionHooks hooks,
                         std::string decimalSeparator)
    : panel_(panel),
      port_(ports, std::move(hooks.port)),
      link_(port_.MSComm1, clock, std::move(hooks.link)),
      tests_(port_, link_, clock, panel, BaudList, std::move(decimalSeparator)) {}

std::optional<RunRecord> TestSession::Start(TestKind kind) {
  return StartTest(tests_, port_, panel_, kind);
}

void TestSession::Stop() { StopTest(tests_); }
