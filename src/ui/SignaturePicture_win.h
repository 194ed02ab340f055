#pragma once
// The picture box 图片框1: the signature PNG compiled into the program, decoded once, stretched
// to the box and put over the box's background colour.
#include <windows.h>

#include "ui/PixelScale.h"
#include "ui/UniqueGdi_win.h"

namespace uptorra {

// The PNG resource (type RCDATA) decoded to premultiplied pixels; empty when it cannot be
// found or decoded. COM must be initialised on the calling thread.
PixelImage DecodePngResource(HINSTANCE instance, int resourceId);

// A bitmap of width x height showing picture stretched over the background (a COLORREF).
UniqueBitmap RenderPicture(const PixelImage& picture, int width, int height, COLORREF background);

}  // namespace uptorra
