#include "msgbox/MMsgBoxPos.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <utility>

#include "msgbox/keep_rect_on_screen.h"
#include "version.h"

namespace {

MsgRect ToMsgRect(const QRect& rect) {
  return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

ScreenTwips PrimaryScreenTwips() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  ScreenTwips twips;
  twips.twipsPerPixelX = 1440.0 / screen->logicalDotsPerInchX();
  twips.twipsPerPixelY = 1440.0 / screen->logicalDotsPerInchY();
  twips.width = screen->geometry().width() * twips.twipsPerPixelX;
  twips.height = screen->geometry().height() * twips.twipsPerPixelY;
  return twips;
}

// The widths of a window's frame as far as the platform knows them: none before the window
// manager has framed the window.
QMargins KnownFrame(const QWidget& window) {
  const QRect outer = window.frameGeometry();
  const QRect inner = window.geometry();
  return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
          outer.bottom() - inner.bottom()};
}

// The platform's message box, centred by its outer frame over the owner's outer frame. It is
// placed as it is shown, with the frame it will most likely get, and placed again once the
// window manager has framed it and activates it; later activations leave it where it is.
class PositionedMessageBox : public QMessageBox {
 public:
  PositionedMessageBox(QWidget* owner, Icon icon, const QString& title, const QString& text,
                       StandardButtons buttons)
      : QMessageBox(icon, title, text, buttons, owner), owner_(owner) {}

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    if (!std::exchange(shown_, true)) Place();
  }

  bool event(QEvent* event) override {
    if (event->type() == QEvent::WindowActivate && !std::exchange(activated_, true)) Place();
    return QMessageBox::event(event);
  }

 private:
  void Place() {
    if (!owner_) return;
    const QMargins known = KnownFrame(*this);
    const QMargins ownerKnown = owner_->isVisible() ? KnownFrame(*owner_) : QMargins();
    // A frame not known yet is taken to be the other window's: one window manager decorates both.
    const QMargins frame = known.isNull() ? ownerKnown : known;
    const QMargins ownerFrame = ownerKnown.isNull() ? frame : ownerKnown;
    // pos() is the frame's corner, also where an owner not shown yet has been placed.
    const QRect ownerOuter(owner_->pos(), owner_->size().grownBy(ownerFrame));
    const QRect outer(QPoint(), size().grownBy(frame));

    MsgRect rect = CentreOverOwner(ToMsgRect(ownerOuter), ToMsgRect(outer));
    KeepRectOnScreen(rect, PrimaryScreenTwips());
    // Qt places a window by as much of its frame as it knows.
    move(rect.left + frame.left() - known.left(), rect.top + frame.top() - known.top());
  }

  QWidget* owner_;
  bool shown_ = false;
  bool activated_ = false;
};

QMessageBox::Icon IconOf(std::int32_t code) {
  switch (code & 0xF0) {
    case kMsgBoxCritical: return QMessageBox::Critical;
    case kMsgBoxQuestion: return QMessageBox::Question;
    case kMsgBoxExclamation: return QMessageBox::Warning;
    case kMsgBoxInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

QMessageBox::StandardButtons ButtonsOf(std::int32_t code) {
  switch (code & 0x0F) {
    case kMsgBoxOkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case kMsgBoxAbortRetryIgnore: return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case kMsgBoxYesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case kMsgBoxYesNo: return QMessageBox::Yes | QMessageBox::No;
    case kMsgBoxRetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
    default: return QMessageBox::Ok;
  }
}

std::int32_t AnswerOf(int button) {
  switch (button) {
    case QMessageBox::Ok: return 1;
    case QMessageBox::Cancel: return 2;
    case QMessageBox::Abort: return 3;
    case QMessageBox::Retry: return 4;
    case QMessageBox::Ignore: return 5;
    case QMessageBox::Yes: return 6;
    case QMessageBox::No: return 7;
    default: return 2;
  }
}

}  // namespace

std::int32_t ShowMsgBox(const QString& prompt, std::int32_t buttons, QString& title, QWidget* owner) {
  if (title.isEmpty()) title = kApplicationTitle;
  PositionedMessageBox box(owner, IconOf(buttons), title, prompt, ButtonsOf(buttons));
  return AnswerOf(box.exec());
}
