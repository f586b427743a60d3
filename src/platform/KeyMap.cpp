#include "platform/KeyMap.h"

#include <wx/defs.h>
#include <wx/event.h>

namespace {

struct KeyRow {
    unsigned from;
    int vk;
};

// GDK key values the toolkit reports wrongly or not at all (its key code is then Alt
// or 0). Consulted first; other keys are read from the toolkit's key code.
constexpr KeyRow kGdkKeys[] = {
    {0xffeb, VK_LWIN},   // Super_L (toolkit: Alt)
    {0xffec, VK_RWIN},   // Super_R (toolkit: Alt)
    {0xff21, VK_KANJI},  // Kanji (Alt + half/full-width)
    {0xff22, VK_NONCONVERT},  // Muhenkan
    {0xff23, VK_CONVERT},     // Henkan_Mode
    {0xff25, VK_KANA},        // Hiragana
    {0xff26, VK_KANA},        // Katakana
    {0xff27, VK_KANA},        // Hiragana_Katakana
    {0xff28, VK_OEM_ENLW},    // Zenkaku
    {0xff29, VK_OEM_AUTO},    // Hankaku
    {0xff2a, VK_OEM_AUTO},    // Zenkaku_Hankaku
    {0xff2d, VK_KANA},        // Kana_Lock
    {0xff2e, VK_KANA},        // Kana_Shift
    {0xff2f, VK_OEM_ATTN},    // Eisu_Shift
    {0xff30, VK_OEM_ATTN},    // Eisu_toggle
    {0x1008ff2f, VK_SLEEP},               // XF86Sleep
    {0x1008ff31, VK_MEDIA_PLAY_PAUSE},    // XF86AudioPause
    {0x1008ff32, VK_LAUNCH_MEDIA_SELECT}, // XF86AudioMedia
};

// The toolkit's codes for keys that are not characters.
constexpr KeyRow kWxKeys[] = {
    {WXK_BACK, VK_BACK},
    {WXK_TAB, VK_TAB},
    {WXK_RETURN, VK_RETURN},
    {WXK_ESCAPE, VK_ESCAPE},
    {WXK_SPACE, VK_SPACE},
    {WXK_DELETE, VK_DELETE},
    {WXK_LBUTTON, VK_LBUTTON},
    {WXK_RBUTTON, VK_RBUTTON},
    {WXK_CANCEL, VK_CANCEL},
    {WXK_MBUTTON, VK_MBUTTON},
    {WXK_CLEAR, VK_CLEAR},
    {WXK_SHIFT, VK_SHIFT},
    {WXK_ALT, VK_MENU},
    {WXK_CONTROL, VK_CONTROL},
    {WXK_MENU, VK_APPS},  // GDK's Menu: the context-menu key
    {WXK_PAUSE, VK_PAUSE},
    {WXK_CAPITAL, VK_CAPITAL},
    {WXK_END, VK_END},
    {WXK_HOME, VK_HOME},
    {WXK_LEFT, VK_LEFT},
    {WXK_UP, VK_UP},
    {WXK_RIGHT, VK_RIGHT},
    {WXK_DOWN, VK_DOWN},
    {WXK_SELECT, VK_SELECT},
    {WXK_PRINT, VK_SNAPSHOT},  // GDK's Print is the print-screen key
    {WXK_EXECUTE, VK_EXECUTE},
    {WXK_SNAPSHOT, VK_SNAPSHOT},
    {WXK_INSERT, VK_INSERT},
    {WXK_HELP, VK_HELP},
    {WXK_MULTIPLY, VK_MULTIPLY},
    {WXK_ADD, VK_ADD},
    {WXK_SEPARATOR, VK_SEPARATOR},
    {WXK_SUBTRACT, VK_SUBTRACT},
    {WXK_DECIMAL, VK_DECIMAL},
    {WXK_DIVIDE, VK_DIVIDE},
    {WXK_NUMLOCK, VK_NUMLOCK},
    {WXK_SCROLL, VK_SCROLL},
    {WXK_PAGEUP, VK_PRIOR},
    {WXK_PAGEDOWN, VK_NEXT},
    // The keypad with Num Lock off reads as the keys it stands for, as on the original.
    {WXK_NUMPAD_SPACE, VK_SPACE},
    {WXK_NUMPAD_TAB, VK_TAB},
    {WXK_NUMPAD_ENTER, VK_RETURN},
    {WXK_NUMPAD_F1, VK_F1},
    {WXK_NUMPAD_F2, VK_F2},
    {WXK_NUMPAD_F3, VK_F3},
    {WXK_NUMPAD_F4, VK_F4},
    {WXK_NUMPAD_HOME, VK_HOME},
    {WXK_NUMPAD_LEFT, VK_LEFT},
    {WXK_NUMPAD_UP, VK_UP},
    {WXK_NUMPAD_RIGHT, VK_RIGHT},
    {WXK_NUMPAD_DOWN, VK_DOWN},
    {WXK_NUMPAD_PAGEUP, VK_PRIOR},
    {WXK_NUMPAD_PAGEDOWN, VK_NEXT},
    {WXK_NUMPAD_END, VK_END},
    {WXK_NUMPAD_BEGIN, VK_CLEAR},
    {WXK_NUMPAD_INSERT, VK_INSERT},
    {WXK_NUMPAD_DELETE, VK_DELETE},
    {WXK_NUMPAD_MULTIPLY, VK_MULTIPLY},
    {WXK_NUMPAD_ADD, VK_ADD},
    {WXK_NUMPAD_SEPARATOR, VK_SEPARATOR},
    {WXK_NUMPAD_SUBTRACT, VK_SUBTRACT},
    {WXK_NUMPAD_DECIMAL, VK_DECIMAL},
    {WXK_NUMPAD_DIVIDE, VK_DIVIDE},
    {WXK_WINDOWS_LEFT, VK_LWIN},
    {WXK_WINDOWS_RIGHT, VK_RWIN},
    {WXK_WINDOWS_MENU, VK_APPS},
    {WXK_BROWSER_BACK, VK_BROWSER_BACK},
    {WXK_BROWSER_FORWARD, VK_BROWSER_FORWARD},
    {WXK_BROWSER_REFRESH, VK_BROWSER_REFRESH},
    {WXK_BROWSER_STOP, VK_BROWSER_STOP},
    {WXK_BROWSER_SEARCH, VK_BROWSER_SEARCH},
    {WXK_BROWSER_FAVORITES, VK_BROWSER_FAVORITES},
    {WXK_BROWSER_HOME, VK_BROWSER_HOME},
    {WXK_VOLUME_MUTE, VK_VOLUME_MUTE},
    {WXK_VOLUME_DOWN, VK_VOLUME_DOWN},
    {WXK_VOLUME_UP, VK_VOLUME_UP},
    {WXK_MEDIA_NEXT_TRACK, VK_MEDIA_NEXT_TRACK},
    {WXK_MEDIA_PREV_TRACK, VK_MEDIA_PREV_TRACK},
    {WXK_MEDIA_STOP, VK_MEDIA_STOP},
    {WXK_MEDIA_PLAY_PAUSE, VK_MEDIA_PLAY_PAUSE},
    {WXK_LAUNCH_MAIL, VK_LAUNCH_MAIL},
    {WXK_LAUNCH_APP1, VK_LAUNCH_APP1},
    {WXK_LAUNCH_APP2, VK_LAUNCH_APP2},
};

// Punctuation, by the character its key types without Shift.
constexpr KeyRow kPunctuation[] = {
    {';', VK_OEM_1},      {'=', VK_OEM_PLUS},  {',', VK_OEM_COMMA}, {'-', VK_OEM_MINUS},
    {'.', VK_OEM_PERIOD}, {'/', VK_OEM_2},     {'`', VK_OEM_3},     {'[', VK_OEM_4},
    {'\\', VK_OEM_5},     {']', VK_OEM_6},     {'\'', VK_OEM_7},
    // Japanese keyboard
    {'@', VK_OEM_3},      {':', VK_OEM_1},     {'^', VK_OEM_7},
};

// Hardware key code of the Japanese "ro" key (backslash and underscore).
constexpr unsigned kRoKeyHardwareCode = 97;

template <size_t N>
int Lookup(const KeyRow (&table)[N], unsigned key) {
    for (const KeyRow& row : table)
        if (row.from == key) return row.vk;
    return 0;
}

}  // namespace

int VirtualKeyFromCodes(int wxKeyCode, unsigned gdkKeyval, unsigned hardwareKeycode) {
    if (gdkKeyval != 0) {
        if (int vk = Lookup(kGdkKeys, gdkKeyval)) return vk;
    }
    if (wxKeyCode >= 'A' && wxKeyCode <= 'Z') return wxKeyCode;
    if (wxKeyCode >= 'a' && wxKeyCode <= 'z') return wxKeyCode - 'a' + 'A';
    if (wxKeyCode >= '0' && wxKeyCode <= '9') return wxKeyCode;
    if (wxKeyCode >= WXK_F1 && wxKeyCode <= WXK_F24) return VK_F1 + (wxKeyCode - WXK_F1);
    if (wxKeyCode >= WXK_NUMPAD0 && wxKeyCode <= WXK_NUMPAD9) return VK_NUMPAD0 + (wxKeyCode - WXK_NUMPAD0);
    if (wxKeyCode == '\\' && hardwareKeycode == kRoKeyHardwareCode) return VK_OEM_102;
    if (wxKeyCode <= 0) return 0;
    if (int vk = Lookup(kPunctuation, static_cast<unsigned>(wxKeyCode))) return vk;
    return Lookup(kWxKeys, static_cast<unsigned>(wxKeyCode));
}

int VirtualKeyFromEvent(const wxKeyEvent& event) {
    return VirtualKeyFromCodes(event.GetKeyCode(), event.GetRawKeyCode(), event.GetRawKeyFlags());
}
