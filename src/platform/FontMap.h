#pragma once
// Fonts by the original's face names and pixel heights. The fixed pixel layouts were
// drawn for "ＭＳＰ ゴシック" and "ＭＳ ゴシック"; the IPA fonts (package
// fonts-ipafont-gothic) share their metrics and stand in for them.

#include <wx/font.h>

#include "platform/CString.h"

constexpr int FW_DONTCARE = 0;
constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;

// The installed face that stands in for `face`; other names pass unchanged.
CString MapFontFace(const CString& face);

// A font as the original's CreateFont makes it from a height in pixels, a weight
// (FW_NORMAL, FW_BOLD; FW_DONTCARE is normal) and a face name. A negative height is the
// character height, a positive one the cell height; the two faces above have no
// internal leading, so both give a character of |height| pixels. 0 takes the
// toolkit's normal size.
wxFont KvCreateFont(int height, int weight, const CString& face);

// The point size that draws a character `pixels` high. The toolkit's own pixel sizes
// search whole point sizes and come out a pixel or two short (18 -> 17), which the
// fixed layouts do not tolerate; GTK renders points at 96 dots per inch unless the
// desktop scales text, so pixels * 72 / 96 is exact.
double PointSizeForPixels(int pixels);
