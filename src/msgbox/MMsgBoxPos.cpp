#include "msgbox/MMsgBoxPos.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <utility>

#include "msgbox/keep_rect_on_screen.h"

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

// The platform's message box, moved once, as it is first shown (when its size is known).
class PositionedMessageBox : public QMessageBox {
 public:
  PositionedMessageBox(QWidget* owner, Icon icon, const QString& title, const QString& text,
                       StandardButtons buttons)
      : QMessageBox(icon, title, text, buttons, owner), owner_(owner) {}

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    if (std::exchange(moved_, true) || !owner_) return;
    MsgRect rect = CentreOverOwner(ToMsgRect(owner_->frameGeometry()), ToMsgRect(frameGeometry()));
    KeepRectOnScreen(rect, PrimaryScreenTwips());
    move(rect.left, rect.top);
  }

 private:
  QWidget* owner_;
  bool moved_ = false;
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
  if (title.isEmpty()) title = QGuiApplication::applicationDisplayName();
  PositionedMessageBox box(owner, IconOf(buttons), title, prompt, ButtonsOf(buttons));
  return AnswerOf(box.exec());
}
