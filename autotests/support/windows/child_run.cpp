#include "support/child_run.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

// Windows has no fork: the test program starts itself again on the same test, told by the
// environment which of the test's runs to make and in which folder. The copy skips the test's
// other runs and ends with the run's status; what it says outside that run goes nowhere.
namespace {

constexpr char kRunVariable[] = "ALDL_CHILD_RUN";
constexpr char kDirVariable[] = "ALDL_CHILD_DIR";

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

ChildRun::ChildRun() {
  if (const std::string given = Environment(kDirVariable); !given.empty()) {
    dir_ = given;
    ownsDir_ = false;
    return;
  }
  dir_ = std::filesystem::temp_directory_path() / ("aldl-child-" + std::to_string(GetCurrentProcessId()) + "-" +
                                                   std::to_string(GetTickCount64()));
  std::filesystem::create_directories(dir_);
}

ChildRun::~ChildRun() {
  if (ownsDir_) std::filesystem::remove_all(dir_);
}

int ChildRun::RunInChild(const std::function<int()>& body) {
  const std::string out = FilePath("out");
  const std::string err = FilePath("err");
  ++calls_;
  if (!ownsDir_) {
    if (std::to_string(calls_) != Environment(kRunVariable)) return 0;
    // Binary: the test reads what the program wrote, not the console's line ends.
    if (!std::freopen(out.c_str(), "wb", stdout) || !std::freopen(err.c_str(), "wb", stderr)) _exit(99);
    const int status = body();
    std::cout.flush();
    std::fflush(nullptr);
    _exit(status);
  }
  const testing::TestInfo& test = *testing::UnitTest::GetInstance()->current_test_info();
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(program) + L"\" --gtest_filter=" +
                             Wide(std::string(test.test_suite_name()) + "." + test.name());
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE nowhere = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = nowhere;
  PROCESS_INFORMATION child{};
  SetEnvironmentVariableA(kRunVariable, std::to_string(calls_).c_str());
  SetEnvironmentVariableA(kDirVariable, dir_.string().c_str());
  const bool started = CreateProcessW(program, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                      &startup, &child) != 0;
  SetEnvironmentVariableA(kRunVariable, nullptr);
  SetEnvironmentVariableA(kDirVariable, nullptr);
  CloseHandle(nowhere);
  if (!started) return -1;
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(child.hProcess, &status);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  out_ = FileText(out);
  err_ = FileText(err);
  return static_cast<int>(status);
}
