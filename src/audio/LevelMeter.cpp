#include "audio/LevelMeter.h"

#include <wx/dcclient.h>

#include "platform/AccessibleName.h"
#include "platform/CodePage.h"
#include "platform/FontMap.h"

namespace {

// The colour of the grey frame, the gaps between segments and the unlit part.
const wxColour kFrameGrey(0x50, 0x50, 0x50);

// Everything is drawn as filled pixel rectangles without an outline: the toolkit draws
// lines and outlines half a pixel off the grid and blends them into their neighbours,
// where the meter's one-pixel gaps and marker must be exact. A vertical line from
// `top` to `bottom` covers the rows top .. bottom - 1.
void FillRect(wxDC& dc, const wxBrush& brush, int x, int y, int width, int height) {
    if (width <= 0 || height <= 0) return;
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(brush);
    dc.DrawRectangle(x, y, width, height);
}
void VerticalLine(wxDC& dc, const wxBrush& brush, int x, int top, int bottom) {
    FillRect(dc, brush, x, top, 1, bottom - top);
}

// Scale labels and ticks line up with the meter's segments: 9 pixels per dB from
// -30 dB up, 9 pixels per 5 dB below.
struct ScaleLabel {
    const char* text;
    int x;
};
constexpr ScaleLabel kScaleLabels[] = {
    {"-dB", 6}, {"50", 30}, {"40", 48}, {"30", 66}, {"20", 156}, {"12", 228}, {"6", 285}, {"0", 339},
};
constexpr int kScaleTicks[] = {35, 53, 71, 161, 233, 287, 341};
constexpr int kLabelTop = 2;
constexpr int kTickTop = 13;
constexpr int kTickBottom = 17;

}  // namespace

int CLevelMeterState::SegmentOfLevel(int dB) {
    if (dB < -49) return 0;
    if (dB <= -45) return 1;
    if (dB <= -40) return 2;
    if (dB <= -35) return 3;
    if (dB <= -30) return 4;
    if (dB <= 0) return dB + 34;
    return 35;
}

bool CLevelMeterState::SetLevel(int dB) {
    if (dB == kSilence) {
        m_nCurrent = m_nPrevious = m_nPeak = -1;
        m_nHold = m_nSame = 0;
        return true;
    }
    const int segment = SegmentOfLevel(dB);
    m_nCurrent = segment;
    if (segment == m_nPrevious) {
        // A level that stays put pulls the marker down to it.
        if (++m_nSame > 3) {
            m_nPeak = segment;
            m_nHold = 0;
            m_nSame = 0;
            return true;
        }
        return false;
    }
    if (m_nPeak < segment) {
        m_nPeak = segment;
        m_nHold = 0;
    } else {
        ++m_nHold;
    }
    if (m_nHold > 15) {
        m_nPeak = segment;
        m_nHold = 0;
    }
    m_nSame = 0;
    m_nPrevious = segment;
    return true;
}

wxColour LevelSegmentColour(int index) {
    // Green rises by 10 to full, red by 20 to yellow, then green falls by 21 to red.
    static constexpr unsigned char kColours[CLevelMeterState::kSegmentCount][2] = {
        {0, 155},   {0, 165},   {0, 175},   {0, 185},   {0, 195},   {0, 205},   {0, 215},   {0, 225},
        {0, 235},   {0, 245},   {0, 255},   {15, 255},  {35, 255},  {55, 255},  {75, 255},  {95, 255},
        {115, 255}, {135, 255}, {155, 255}, {175, 255}, {195, 255}, {215, 255}, {235, 255}, {255, 255},
        {255, 234}, {255, 213}, {255, 192}, {255, 171}, {255, 150}, {255, 129}, {255, 108}, {255, 87},
        {255, 66},  {255, 45},  {255, 24},  {255, 0},
    };
    if (index < 0) index = 0;
    if (index >= CLevelMeterState::kSegmentCount) index = CLevelMeterState::kSegmentCount - 1;
    return wxColour(kColours[index][0], kColours[index][1], 0);
}

CLMRectStatic::CLMRectStatic(wxWindow* parent, int id)
    : wxWindow(parent, id, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE),
      m_backgroundBrush(kFrameGrey, wxBRUSHSTYLE_SOLID) {
    for (int i = 0; i < CLevelMeterState::kSegmentCount; ++i)
        m_segmentBrushes[i] = wxBrush(LevelSegmentColour(i), wxBRUSHSTYLE_SOLID);
    // Everything is painted in OnPaint; an erased background would only flicker.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetAccessibleName(*this, "レベルメーター");
    SetCanFocus(false);
    Bind(wxEVT_PAINT, &CLMRectStatic::OnPaint, this);
}

void CLMRectStatic::SetLevel(int dB) {
    if (m_state.SetLevel(dB)) Refresh(true);
}

void CLMRectStatic::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    const wxSize size = GetClientSize();
    const int height = size.GetHeight();
    const int current = m_state.CurrentSegment();
    const int barEnd = kSegmentWidth * CLevelMeterState::kSegmentCount;

    if (current < 0) {
        FillRect(dc, m_backgroundBrush, 0, 0, size.GetWidth(), height);
        return;
    }

    for (int i = 0; i <= current; ++i) {
        FillRect(dc, m_segmentBrushes[i], kSegmentWidth * i, 0, kSegmentWidth, height);
        // The last column of each segment is the gap to the next one.
        VerticalLine(dc, m_backgroundBrush, kSegmentWidth * i + 8, 0, height);
    }
    const int unlit = kSegmentWidth * (current + 1);
    FillRect(dc, m_backgroundBrush, unlit, 0, barEnd - unlit, height);

    const int peak = m_state.PeakSegment();
    if (peak >= 0) VerticalLine(dc, m_segmentBrushes[peak], kSegmentWidth * peak + 8, 0, height - 1);
}

CLMScaleStatic::CLMScaleStatic(wxWindow* parent, int id)
    : wxWindow(parent, id, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE),
      m_font(KvCreateFont(12, FW_NORMAL, "ＭＳＰ ゴシック")),
      m_tickBrush(*wxWHITE, wxBRUSHSTYLE_SOLID) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetAccessibleName(*this, "レベルスケール");
    SetCanFocus(false);
    Bind(wxEVT_PAINT, &CLMScaleStatic::OnPaint, this);
}

void CLMScaleStatic::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    const wxSize size = GetClientSize();
    FillRect(dc, *wxBLACK_BRUSH, 0, 0, size.GetWidth(), size.GetHeight());

    dc.SetFont(m_font);
    dc.SetTextForeground(*wxWHITE);
    for (const ScaleLabel& label : kScaleLabels) dc.DrawText(ToWx(label.text), label.x, kLabelTop);

    for (int x : kScaleTicks) VerticalLine(dc, m_tickBrush, x, kTickTop, kTickBottom);
}
