#pragma once
// Drop-down lists at the fixed pixel layouts. The layouts were drawn for a drop-down
// whose arrow and frame take a few pixels; GTK's take more and cut the longest entries
// off at the side and every entry at the bottom.

#include <wx/gdicmn.h>

class wxChoice;

// The width that shows every entry of `choice` whole in its font: at least
// `designWidth`, wider when an entry needs it.
int FitDropDownWidth(wxChoice& choice, int designWidth);

// The rectangle for a drop-down laid out at `design`: as wide as FitDropDownWidth, as
// high as the toolkit needs, centred on the designed rectangle's height.
wxRect FitDropDown(wxChoice& choice, const wxRect& design);
