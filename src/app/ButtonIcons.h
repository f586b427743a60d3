#pragma once
// The pictures on the form's eleven buttons, drawn in code.

#include <wx/bitmap.h>

wxBitmap DrawButtonIcon(int buttonId, int size = 32);
