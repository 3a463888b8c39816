#pragma once

#include <QPoint>
#include <QRect>

// Window geometry is kept in twips, 1440 to the inch at the primary screen's logical DPI.
int TwipsToPixelsX(int twips);
int TwipsToPixelsY(int twips);
int PixelsToTwipsX(int pixels);
int PixelsToTwipsY(int pixels);

// A control's Left, Top, Width, Height in twips as a rectangle in pixels.
QRect TwipsRect(int left, int top, int width, int height);
