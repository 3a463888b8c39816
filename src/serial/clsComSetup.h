#pragma once

#include <cstdint>
#include <functional>
#include <string>

class MSComm;

// The port object: probes, opens with the fixed line configuration, sets any rate through the
// device control block, and closes the one serial control it is given. It never shows anything;
// it reports through results, ErrCode and BaudSetting.
class clsComSetup {
 public:
  // doEvents lets the user interface process its pending events between closing and opening.
  explicit clsComSetup(std::function<void()> doEvents);
  // Releasing the object closes the port.
  ~clsComSetup();
  clsComSetup(const clsComSetup&) = delete;
  clsComSetup& operator=(const clsComSetup&) = delete;

  void SetComObject(MSComm& objNewComm) { comm_ = &objNewComm; }

  std::int32_t PortNum() const;
  void SetPortNum(std::int32_t NewValue);

  std::int32_t ErrCode() const { return errCode_; }
  void SetErrCode(std::int32_t /*vNewValue*/) { errCode_ = 0; }

  std::int32_t MaxComPorts() const { return maxComPorts_; }
  void SetMaxComPorts(std::int32_t NewValue) { maxComPorts_ = NewValue; }

  // "TRUE" or "FALSE" for each port from 1 to MaxComPorts, joined by commas: whether it could be
  // opened, found without opening any. The port is closed afterwards.
  std::string FindAvailPorts();
  // 0: the port is open (or port 0 asked: closed); -1: number out of range, nothing done;
  // -2: the port could not be opened and is closed.
  std::int32_t OpenComPort(std::int32_t ComPortNum);
  bool SetBaud(std::int32_t Baud);
  void CloseCom();

  std::int32_t BaudSetting() const { return baudSetting_; }

 private:
  void ConfigurePort();

  MSComm* comm_ = nullptr;
  std::int32_t errCode_ = 0;
  std::int32_t maxComPorts_ = 4;
  std::int32_t baudSetting_ = 9600;
  std::function<void()> doEvents_;
};
