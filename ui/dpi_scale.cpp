#include "ui/dpi_scale.h"

namespace {

int Scale(int value, float scale) {
    return static_cast<int>(static_cast<double>(value) * static_cast<double>(scale));
}

} // namespace

Geometry ScaleForDpi(Geometry at96, int dpi) {
    if (dpi <= 0) return at96;
    volatile float scale = static_cast<float>(dpi) / 96.0f; // rounded to single precision
    return Geometry{Scale(at96.x, scale), Scale(at96.y, scale), Scale(at96.width, scale),
                    Scale(at96.height, scale)};
}
