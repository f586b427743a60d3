#pragma once
// The level meter (a row of 36 segments with a peak-hold marker) and its dB scale.
// The owner of a player passes the peak of every finished buffer
// (CWavePlayOperation::GetPeakLevel, whole dB from -96 to 0) to CLMRectStatic::SetLevel;
// -96 clears the bar.

#include <wx/brush.h>
#include <wx/colour.h>
#include <wx/font.h>
#include <wx/window.h>

// What the meter shows, apart from any window: the lit segments and the held peak.
// One call per 100 ms buffer: a peak stays for at most 16 changing calls, and four
// unchanged calls in a row after a change bring the marker down to the current level.
class CLevelMeterState {
public:
    static constexpr int kSegmentCount = 36;
    static constexpr int kSilence = -96;  // clears the bar and the marker

    // The highest segment lit by `dB`: 0 below -49, 1..4 for each 5 dB up to -30,
    // one segment per dB from -29 (5) to 0 (34), 35 only above 0.
    static int SegmentOfLevel(int dB);

    // True when the picture changed and the control must be drawn again.
    bool SetLevel(int dB);

    int CurrentSegment() const { return m_nCurrent; }  // -1: nothing lit
    int PeakSegment() const { return m_nPeak; }        // -1: no marker
    int HoldCount() const { return m_nHold; }
    int SameCount() const { return m_nSame; }

private:
    int m_nCurrent = -1;
    int m_nPrevious = -1;
    int m_nPeak = -1;
    int m_nHold = 0;  // changing calls since the peak was last set
    int m_nSame = 0;  // consecutive calls with an unchanged segment
};

// Colour of segment `index` (0..35): green brightening to full, then through yellow to red.
wxColour LevelSegmentColour(int index);

class CLMRectStatic : public wxWindow {
public:
    static constexpr int kSegmentWidth = 9;  // the whole bar is 324 pixels wide

    CLMRectStatic(wxWindow* parent, int id);

    // A picture, as the static control it stands for: Tab passes it by, and a screen
    // reader does not offer it as a stop.
    bool AcceptsFocus() const override { return false; }

    void SetLevel(int dB);
    const CLevelMeterState& GetState() const { return m_state; }

private:
    void OnPaint(wxPaintEvent& event);

    CLevelMeterState m_state;
    wxBrush m_segmentBrushes[CLevelMeterState::kSegmentCount];
    wxBrush m_backgroundBrush;  // also the gaps between segments
};

class CLMScaleStatic : public wxWindow {
public:
    CLMScaleStatic(wxWindow* parent, int id);

    bool AcceptsFocus() const override { return false; }

private:
    void OnPaint(wxPaintEvent& event);

    wxFont m_font;
    wxBrush m_tickBrush;
};
