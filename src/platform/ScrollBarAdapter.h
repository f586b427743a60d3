#pragma once
// A horizontal scroll bar with the original's notification codes. The dialog that owns
// it computes the new position from the old one and the code, but GTK has already moved
// the thumb when the toolkit reports the event: the adapter keeps the position the
// owner last set, reports the event with that position in place, and shows whatever
// position the owner sets in answer. GTK scroll bars take no focus and draw no arrows,
// so owners map the keys to codes themselves and hand them to Send.

#include <functional>

class wxScrollBar;
class wxScrollEvent;

// Codes of a horizontal scroll notification.
enum : int {
    SB_LINELEFT = 0,
    SB_LINERIGHT = 1,
    SB_PAGELEFT = 2,
    SB_PAGERIGHT = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_LEFT = 6,
    SB_RIGHT = 7,
    SB_ENDSCROLL = 8,
};

class CScrollBarAdapter {
public:
    // `handler` receives the code and, for the thumb codes, the position the thumb was
    // dragged to.
    using Handler = std::function<void(int code, int trackPosition)>;

    CScrollBarAdapter() = default;
    void Attach(wxScrollBar* bar, Handler handler);

    // Positions run from `minimum` to `maximum`, both included.
    void SetScrollRange(int minimum, int maximum);
    void GetScrollRange(int& minimum, int& maximum) const;
    // During the handler: the position from before the event.
    int GetScrollPos() const { return m_nPos; }
    // Kept within the range, and shown.
    void SetScrollPos(int position);

    // A notification as the bar would send it (keys, or the owner's own codes).
    void Send(int code, int trackPosition = 0);
    // The code of a toolkit event; -1 for none.
    static int CodeFromEvent(const wxScrollEvent& event);

    wxScrollBar* GetWindow() const { return m_bar; }

private:
    void OnScroll(wxScrollEvent& event);
    void Show();

    wxScrollBar* m_bar = nullptr;
    Handler m_handler;
    int m_nMin = 0;
    int m_nMax = 0;
    int m_nPos = 0;
};
