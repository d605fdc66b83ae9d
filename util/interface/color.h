// Colour comparison by 8-bit channel values.
#pragma once

#include <QColor>

// True when red, green, blue and alpha are equal at 8 bits per channel, however each colour
// was made (QColor's own == also compares the colour model and 16-bit precision).
inline bool is_same_rgb_color(const QColor& a, const QColor& b) {
  return a.rgba() == b.rgba();
}
