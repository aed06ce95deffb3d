#pragma once

// A rectangle in pixels.
struct Geometry {
    int x;
    int y;
    int width;
    int height;
};

// Scales a geometry laid out for 96 DPI to the screen's DPI. The scale is dpi / 96 in single
// precision; each product is formed in double precision and truncated. Without a DPI (zero or
// negative, as when no screen device context could be had) the geometry stays as laid out.
Geometry ScaleForDpi(Geometry at96, int dpi);
