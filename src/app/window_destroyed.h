#pragma once

#include <QObject>

class frmBaudTest;

// The window ends as a closed window ends (a running test stopped, the settings saved, the line
// put back and the port freed) when another program destroys its native window, as an X client
// may. Without that the program would run on with no window, holding the port.
class EndWhenWindowDestroyed : public QObject {
 public:
  explicit EndWhenWindowDestroyed(frmBaudTest& window);
  ~EndWhenWindowDestroyed() override;
  EndWhenWindowDestroyed(const EndWhenWindowDestroyed&) = delete;
  EndWhenWindowDestroyed& operator=(const EndWhenWindowDestroyed&) = delete;

 private:
  struct Filter;
  Filter* filter_;
};
