#include "platform/ScrollBarAdapter.h"

#include <algorithm>

#include <wx/scrolbar.h>

void CScrollBarAdapter::Attach(wxScrollBar* bar, Handler handler) {
    m_bar = bar;
    m_handler = std::move(handler);
    if (m_bar) {
        const wxEventTypeTag<wxScrollEvent> types[] = {
            wxEVT_SCROLL_LINEUP,       wxEVT_SCROLL_LINEDOWN,   wxEVT_SCROLL_PAGEUP,
            wxEVT_SCROLL_PAGEDOWN,     wxEVT_SCROLL_THUMBRELEASE, wxEVT_SCROLL_THUMBTRACK,
            wxEVT_SCROLL_TOP,          wxEVT_SCROLL_BOTTOM,     wxEVT_SCROLL_CHANGED};
        for (const auto& type : types) m_bar->Bind(type, [this](wxScrollEvent& e) { OnScroll(e); });
    }
    Show();
}

void CScrollBarAdapter::SetScrollRange(int minimum, int maximum) {
    m_nMin = minimum;
    m_nMax = std::max(minimum, maximum);
    m_nPos = std::clamp(m_nPos, m_nMin, m_nMax);
    Show();
}

void CScrollBarAdapter::GetScrollRange(int& minimum, int& maximum) const {
    minimum = m_nMin;
    maximum = m_nMax;
}

void CScrollBarAdapter::SetScrollPos(int position) {
    m_nPos = std::clamp(position, m_nMin, m_nMax);
    Show();
}

void CScrollBarAdapter::Show() {
    if (!m_bar) return;
    // The toolkit's positions run from 0 to range - thumb. GTK draws a thumb of a single
    // unit at the start whatever the position, so the thumb gets a tenth of the range and
    // the range grows by as much: every position of the original's range stays reachable.
    const int span = m_nMax - m_nMin;
    const int thumb = std::max(1, (span + 1) / 10);
    m_bar->SetScrollbar(m_nPos - m_nMin, thumb, span + thumb, thumb, true);
}

void CScrollBarAdapter::Send(int code, int trackPosition) {
    if (m_handler) m_handler(code, trackPosition);
    Show();
}

int CScrollBarAdapter::CodeFromEvent(const wxScrollEvent& event) {
    const wxEventType type = event.GetEventType();
    if (type == wxEVT_SCROLL_LINEUP) return SB_LINELEFT;
    if (type == wxEVT_SCROLL_LINEDOWN) return SB_LINERIGHT;
    if (type == wxEVT_SCROLL_PAGEUP) return SB_PAGELEFT;
    if (type == wxEVT_SCROLL_PAGEDOWN) return SB_PAGERIGHT;
    if (type == wxEVT_SCROLL_THUMBRELEASE) return SB_THUMBPOSITION;
    if (type == wxEVT_SCROLL_THUMBTRACK) return SB_THUMBTRACK;
    if (type == wxEVT_SCROLL_TOP) return SB_LEFT;
    if (type == wxEVT_SCROLL_BOTTOM) return SB_RIGHT;
    if (type == wxEVT_SCROLL_CHANGED) return SB_ENDSCROLL;
    return -1;
}

void CScrollBarAdapter::OnScroll(wxScrollEvent& event) {
    const int code = CodeFromEvent(event);
    if (code < 0) return;
    Send(code, event.GetPosition() + m_nMin);
}
