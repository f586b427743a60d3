#pragma once
// The two displays of the phrase split: the waveform of a five-second window with the
// split cursor and the play position, and the time ruler above it. One pixel is 10 ms;
// positions are given in that unit from the phrase's start. The dialog owns the samples.

#include <cstdint>
#include <vector>

#include <wx/font.h>
#include <wx/window.h>

#include "platform/CString.h"

class CWaveViewStatic : public wxWindow {
public:
    static constexpr int kWidth = 500;   // pixels of the window (5 seconds)
    static constexpr int kHeight = 150;
    static constexpr int kHalf = 75;     // pixels for full scale on each side of the middle

    CWaveViewStatic(wxWindow* parent, int id);

    // A screen reader reads the split cursor's position as the waveform's description.
    void SetCursor(int cursor);
    void SetPlayPosition(int position) { m_nPlayPosition = position; }
    void SetOffset(int offset) { m_nOffset = offset; }
    void Refresh() { wxWindow::Refresh(false); }

    // One column of the waveform: a vertical line from `top` to `bottom` (exclusive).
    struct Column {
        int top, bottom;
    };
    // The pixels that hold data: 500 with `fullWidth`, else whole 100 ms blocks of the
    // bytes at `base` bytes per 100 ms, ten pixels each.
    static int DataWidth(int byteCount, int base, bool fullWidth);
    // The columns of the waveform of `byteCount` bytes of samples over `width` pixels.
    static std::vector<Column> Columns(const int16_t* samples, int byteCount, int width);

    // Set directly by the dialog.
    const int16_t* m_pSamples = nullptr;
    int m_nByteCount = 0;
    int m_nBase = 0;  // bytes per 100 ms
    int m_bFullWidth = 0;
    int m_bShowPlayPosition = 0;

    int GetCursor() const { return m_nCursor; }
    int GetPlayPosition() const { return m_nPlayPosition; }
    int GetOffset() const { return m_nOffset; }

private:
    void OnPaint(wxPaintEvent& event);

    int m_nCursor = -1;  // nothing said yet
    int m_nPlayPosition = 0;
    int m_nOffset = 0;
};

class CTimeScaleStatic : public wxWindow {
public:
    CTimeScaleStatic(wxWindow* parent, int id);

    // A picture: it never holds the focus, so Tab and the dialog's first focus pass it by.
    bool AcceptsFocus() const override { return false; }

    void SetStart(int start);
    int GetStart() const { return m_nStart; }

    struct Label {
        int x;
        CString text;  // "hh：mm：ss"
    };
    struct Tick {
        int x, top;  // down to pixel 30
    };
    // The labels of the whole seconds from the window's start on, and the ticks every
    // 100 ms (long ones every 500 ms), for a ruler of `width` pixels.
    static std::vector<Label> Labels(int start);
    static std::vector<Tick> Ticks(int start, int width);

private:
    void OnPaint(wxPaintEvent& event);

    wxFont m_font;
    int m_nStart = 0;
};
