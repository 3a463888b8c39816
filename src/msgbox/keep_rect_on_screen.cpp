#include "msgbox/keep_rect_on_screen.h"

#include <cmath>

namespace {

std::int32_t Whole(double value) { return static_cast<std::int32_t>(std::lround(value)); }

}  // namespace

MsgRect CentreOverOwner(const MsgRect& owner, const MsgRect& box) {
  MsgRect moved;
  moved.left = owner.left + (owner.right - owner.left) / 2 - (box.right - box.left) / 2;
  moved.right = moved.left + (box.right - box.left);
  moved.top = owner.top + (owner.bottom - owner.top) / 2 - (box.bottom - box.top) / 2;
  moved.bottom = moved.top + (box.bottom - box.top);
  return moved;
}

void KeepRectOnScreen(MsgRect& rect, const ScreenTwips& screen) {
  if (rect.left < 0) {
    rect.right -= rect.left;
    rect.left = 0;
  }
  if (rect.top < 0) {
    rect.bottom -= rect.top;
    rect.top = 0;
  }
  const std::int32_t widthPixels = Whole(screen.width) / Whole(screen.twipsPerPixelX);
  if (rect.right * screen.twipsPerPixelX > screen.width) {
    rect.left = widthPixels - (rect.right - rect.left);
    rect.right = widthPixels;
  }
  const std::int32_t heightPixels = Whole(screen.height) / Whole(screen.twipsPerPixelY);
  if (rect.bottom * screen.twipsPerPixelY > screen.height) {
    rect.top = heightPixels - (rect.bottom - rect.top);
    rect.bottom = heightPixels;
  }
}
