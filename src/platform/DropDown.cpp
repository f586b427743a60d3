#include "platform/DropDown.h"

#include <algorithm>

#include <wx/choice.h>

int FitDropDownWidth(wxChoice& choice, int designWidth) {
    // The best size measures every entry in the control's own font and adds the arrow.
    choice.InvalidateBestSize();
    return std::max(designWidth, choice.GetBestSize().x);
}

wxRect FitDropDown(wxChoice& choice, const wxRect& design) {
    const int width = FitDropDownWidth(choice, design.width);
    const int height = std::max(design.height, choice.GetBestSize().y);
    return wxRect(design.x, design.y - (height - design.height) / 2, width, height);
}
