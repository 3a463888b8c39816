#include "app/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace {

constexpr double kTwipsPerInch = 1440.0;

double DpiX() { return QGuiApplication::primaryScreen()->logicalDotsPerInchX(); }
double DpiY() { return QGuiApplication::primaryScreen()->logicalDotsPerInchY(); }

}  // namespace

int TwipsToPixelsX(int twips) { return static_cast<int>(std::lround(twips * DpiX() / kTwipsPerInch)); }
int TwipsToPixelsY(int twips) { return static_cast<int>(std::lround(twips * DpiY() / kTwipsPerInch)); }
int PixelsToTwipsX(int pixels) { return static_cast<int>(std::lround(pixels * kTwipsPerInch / DpiX())); }
int PixelsToTwipsY(int pixels) { return static_cast<int>(std::lround(pixels * kTwipsPerInch / DpiY())); }

QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(TwipsToPixelsX(left), TwipsToPixelsY(top), TwipsToPixelsX(width),
               TwipsToPixelsY(height));
}
