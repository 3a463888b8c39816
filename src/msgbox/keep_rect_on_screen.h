#pragma once

#include <cstdint>

// A screen rectangle in pixels.
struct MsgRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  friend bool operator==(const MsgRect&, const MsgRect&) = default;
};

// The screen's size in twips and its twips per pixel.
struct ScreenTwips {
  double width = 0;
  double height = 0;
  double twipsPerPixelX = 15;
  double twipsPerPixelY = 15;
};

// The box centred over the owner, halving in whole numbers and dropping any remainder.
MsgRect CentreOverOwner(const MsgRect& owner, const MsgRect& box);

// Moves the rectangle onto the screen, its size kept: first off the left and top edges, then
// back from the right and bottom ones, so one larger than the screen ends flush with its right
// and bottom edges.
void KeepRectOnScreen(MsgRect& rect, const ScreenTwips& screen);
