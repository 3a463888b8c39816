#include "adaptor_tests/test_session.h"

#include <utility>

TestSession::TestSession(PortMap& ports, Clock& clock, TestPanel& panel, SessionHooks hooks,
                         std::string decimalSeparator)
    : panel_(panel),
      port_(ports, std::move(hooks.port)),
      link_(port_.MSComm1, clock, std::move(hooks.link)),
      tests_(port_, link_, clock, panel, BaudList, std::move(decimalSeparator)),
      carLink_(port_, link_, clock, panel, tests_.ContinueTest) {}

std::optional<RunRecord> TestSession::Start(TestKind kind) {
  return StartTest(
      [&] {
        switch (kind) {
          case TestKind::Extended: return tests_.ExtendedComTest();
          case TestKind::Car: return RunCarLink();
          case TestKind::Fast: break;
        }
        return tests_.FastComTest();
      },
      port_, panel_);
}

RunRecord TestSession::RunCarLink() {
  CarLinkRecord car = carLink_.Run(CarLink);
  RunRecord record;
  switch (car.verdict) {
    case CarVerdict::Answered: record.verdict = Verdict::Passed; break;
    case CarVerdict::Halted: record.verdict = Verdict::Halted; break;
    case CarVerdict::RateRefused:
      record.verdict = Verdict::RateRefused;
      record.refusal = RateRefusal{kVehicleBaud, car.refusedReadBack};
      break;
    default: record.verdict = Verdict::Failed; break;
  }
  record.portLost = car.verdict == CarVerdict::PortLost;
  record.car = std::move(car);
  return record;
}

void TestSession::Stop() { StopTest(tests_); }
