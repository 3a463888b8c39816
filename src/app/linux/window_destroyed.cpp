#include "app/window_destroyed.h"

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QTimer>

#include "app/frmBaudTest.h"

namespace {

// How long a running test may take to reach its next check once the window has gone.
constexpr int kGraceMs = 500;

}  // namespace

// The X server tells the window's own client that the window was destroyed.
struct EndWhenWindowDestroyed::Filter : QAbstractNativeEventFilter {
  explicit Filter(frmBaudTest& window) : window(window) {}

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_DESTROY_NOTIFY) return false;
    const auto* destroyed = static_cast<const xcb_destroy_notify_event_t*>(message);
    if (destroyed->window != window.winId() || ended) return false;
    ended = true;
    QTimer::singleShot(0, &window, [this] {
      window.close();
      QTimer::singleShot(kGraceMs, &window, [this] {
        window.Form_Unload();
        QCoreApplication::exit(0);
      });
    });
    return false;
  }

  frmBaudTest& window;
  bool ended = false;
};

EndWhenWindowDestroyed::EndWhenWindowDestroyed(frmBaudTest& window) : filter_(new Filter(window)) {
  QCoreApplication::instance()->installNativeEventFilter(filter_);
}

EndWhenWindowDestroyed::~EndWhenWindowDestroyed() {
  QCoreApplication::instance()->removeNativeEventFilter(filter_);
  delete filter_;
}
