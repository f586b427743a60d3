#include "audio/WaveformDisplays.h"

#include <algorithm>

#include <wx/dcbuffer.h>

#include "platform/AccessibleName.h"
#include "platform/CodePage.h"
#include "platform/FontMap.h"

namespace {

const wxColour kTeal(0, 128, 128);

// a * b / c rounded to the nearest integer, in 64 bits.
int64_t MulDiv(int64_t a, int64_t b, int64_t c) {
    if (c == 0) return 0;
    const int64_t p = a * b;
    return (p >= 0 ? p + c / 2 : p - c / 2) / c;
}

}  // namespace

CWaveViewStatic::CWaveViewStatic(wxWindow* parent, int id)
    : wxWindow(parent, id, wxDefaultPosition, wxSize(kWidth, kHeight), wxBORDER_NONE) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetAccessibleName(*this, "波形");
    SetCursor(0);
    Bind(wxEVT_PAINT, &CWaveViewStatic::OnPaint, this);
    // The waveform is where the arrows move the split cursor (the scroll bar beneath
    // takes no focus here): it is the dialog's first stop and shows when it holds the focus.
    for (auto type : {wxEVT_SET_FOCUS, wxEVT_KILL_FOCUS})
        Bind(type, [this](wxFocusEvent& e) {
            e.Skip();
            Refresh();
        });
}

void CWaveViewStatic::SetCursor(int cursor) {
    if (cursor == m_nCursor) return;
    m_nCursor = cursor;
    // The split falls on whole 100 ms, which tenths of a second show exactly.
    const int tenths = std::max(0, cursor) / 10;
    const int seconds = tenths / 10;
    SetAccessibleDescription(*this, CString::Formatted("分割位置 %02d：%02d：%02d.%d", seconds / 3600,
                                                       seconds / 60 % 60, seconds % 60, tenths % 10));
}

int CWaveViewStatic::DataWidth(int byteCount, int base, bool fullWidth) {
    if (fullWidth) return kWidth;
    if (base <= 0 || byteCount <= 0) return 0;
    return std::min(kWidth, byteCount / base * 10);
}

std::vector<CWaveViewStatic::Column> CWaveViewStatic::Columns(const int16_t* samples, int byteCount, int width) {
    std::vector<Column> columns;
    const int64_t count = byteCount / 2;
    if (!samples || width <= 0) return columns;
    for (int x = 0; x < width; ++x) {
        const int64_t first = std::min(count, MulDiv(x, count, width));
        const int64_t last = std::min(count, MulDiv(x + 1, count, width));
        int hi = 0, lo = 0;
        for (int64_t i = first; i < last; ++i) {
            const int v = samples[i];
            if (v >= 0) hi = std::max(hi, v);
            else lo = std::min(lo, v);
        }
        columns.push_back({static_cast<int>(MulDiv(32767 - hi, kHalf, 32767)),
                           static_cast<int>(MulDiv(32767 - lo, kHalf, 32767)) + 1});
    }
    return columns;
}

void CWaveViewStatic::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    const wxSize size = GetClientSize();
    const int w = DataWidth(m_nByteCount, m_nBase, m_bFullWidth != 0);
    dc.SetPen(wxPen(kTeal));
    dc.SetBrush(*wxWHITE_BRUSH);
    dc.DrawRectangle(0, 0, size.x, size.y);
    if (w < kWidth) {
        dc.SetBrush(wxBrush(wxColour(128, 128, 128)));
        dc.DrawRectangle(w, 0, kWidth - w, kHeight);
    }
    dc.SetPen(*wxBLACK_PEN);
    dc.DrawLine(0, size.y / 2, size.x, size.y / 2);
    dc.SetPen(wxPen(kTeal));
    const std::vector<Column> columns = Columns(m_pSamples, m_nByteCount, w);
    for (size_t x = 0; x < columns.size(); ++x)
        dc.DrawLine(static_cast<int>(x), columns[x].top, static_cast<int>(x), columns[x].bottom);
    // A position before the window gives a negative column, which lies outside it.
    if (m_nCursor - m_nOffset < w) {
        dc.SetPen(*wxRED_PEN);
        dc.DrawLine(m_nCursor - m_nOffset, 0, m_nCursor - m_nOffset, size.y);
    }
    if (m_bShowPlayPosition == 1 && m_nPlayPosition - m_nOffset < w) {
        dc.SetPen(*wxBLACK_PEN);
        dc.DrawLine(m_nPlayPosition - m_nOffset, 0, m_nPlayPosition - m_nOffset, size.y);
    }
    if (HasFocus()) {
        dc.SetPen(wxPen(*wxBLACK, 1, wxPENSTYLE_DOT));
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        dc.DrawRectangle(2, 2, size.x - 4, size.y - 4);
    }
}

CTimeScaleStatic::CTimeScaleStatic(wxWindow* parent, int id)
    : wxWindow(parent, id, wxDefaultPosition, wxSize(500, 31), wxBORDER_NONE),
      m_font(KvCreateFont(15, FW_BOLD, "ＭＳＰ ゴシック")) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetAccessibleName(*this, "時間軸");
    SetCanFocus(false);
    Bind(wxEVT_PAINT, &CTimeScaleStatic::OnPaint, this);
}

void CTimeScaleStatic::SetStart(int start) {
    m_nStart = start;
    Refresh(false);
}

std::vector<CTimeScaleStatic::Label> CTimeScaleStatic::Labels(int start) {
    std::vector<Label> labels;
    for (int s = start / 100;; ++s) {
        const int x = s * 100 - start + 3;
        if (x >= 501) break;
        const int hours = s / 3600;
        const int minutes = (s - hours * 3600) / 60;
        labels.push_back({x, CString::Formatted("%02d：%02d：%02d", hours, minutes, s % 60)});
    }
    return labels;
}

std::vector<CTimeScaleStatic::Tick> CTimeScaleStatic::Ticks(int start, int width) {
    std::vector<Tick> ticks;
    // Absolute time in 100 ms steps; the ticks before the window are skipped at once.
    for (int t = std::max(0, start / 10 * 10);; t += 10) {
        const int x = t - start;
        if (x > width) break;
        if (x >= 1 && x < width) ticks.push_back({x, t > 0 && t % 50 == 0 ? 17 : 23});
    }
    return ticks;
}

void CTimeScaleStatic::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    const wxSize size = GetClientSize();
    const wxColour green(128, 255, 128);
    dc.SetPen(wxPen(kTeal));
    dc.SetBrush(wxBrush(green));
    dc.DrawRectangle(0, 0, size.x, size.y);
    dc.SetFont(m_font);
    dc.SetTextForeground(kTeal);
    dc.SetTextBackground(green);
    for (const Label& label : Labels(m_nStart)) dc.DrawText(ToWx(label.text), label.x, 1);
    dc.DrawLine(0, 0, 0, size.y);
    dc.DrawLine(size.x - 1, 0, size.x - 1, size.y);
    for (const Tick& tick : Ticks(m_nStart, size.x)) dc.DrawLine(tick.x, tick.top, tick.x, 31);
}
