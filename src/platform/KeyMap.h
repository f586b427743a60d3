#pragma once
// Key presses in the original platform's virtual-key numbers, which the key filter of
// the view and the accelerators are written in. The toolkit's key codes differ ('.' is
// 46 there and 46 is Delete here; '\'' is 39 there and 39 is Right here; its Delete is
// 127 and its F3 342), so every key goes through an explicit table.
//
// Keys the toolkit has no code for come from the GDK key value (the event's raw key
// code): the Windows keys (the toolkit calls them Alt), the sleep key, and the Japanese
// input keys:
//   Henkan 28 (convert), Muhenkan 29 (non-convert),
//   Zenkaku_Hankaku and Hankaku 243, Zenkaku 244: what the Japanese keyboard layout
//     itself reports for the half/full-width key (its two states); Alt with that key
//     (GDK's Kanji) is 25, the kanji key,
//   Hiragana_Katakana (and Hiragana, Katakana, the kana lock and shift) 21, the kana key,
//   Eisu_toggle (the alphanumeric key on Caps Lock) 240.
// Punctuation keys are named by the character they type without Shift (the toolkit
// reports that one): US ';' 186 '=' 187 ',' 188 '-' 189 '.' 190 '/' 191 '`' 192
// '[' 219 '\' 220 ']' 221 '\'' 222; Japanese '@' 192 ':' 186 '^' 222, and the second
// backslash key (the "ro" key, hardware key code 97) 226. The Japanese ';' key (';' and
// '+') reads as 186 like the US one, not 187 as the original's Japanese layout has it;
// the view swallows both alike.
// The number does not include Shift, Ctrl or Alt, which the event carries separately,
// as on the original.

class wxKeyEvent;

constexpr int VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_CANCEL = 0x03, VK_MBUTTON = 0x04;
constexpr int VK_BACK = 0x08, VK_TAB = 0x09, VK_CLEAR = 0x0C, VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12, VK_PAUSE = 0x13, VK_CAPITAL = 0x14;
constexpr int VK_KANA = 0x15, VK_KANJI = 0x19, VK_ESCAPE = 0x1B, VK_CONVERT = 0x1C, VK_NONCONVERT = 0x1D;
constexpr int VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24;
constexpr int VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28;
constexpr int VK_SELECT = 0x29, VK_EXECUTE = 0x2B, VK_SNAPSHOT = 0x2C, VK_INSERT = 0x2D, VK_DELETE = 0x2E,
              VK_HELP = 0x2F;
constexpr int VK_LWIN = 0x5B, VK_RWIN = 0x5C, VK_APPS = 0x5D, VK_SLEEP = 0x5F;
constexpr int VK_NUMPAD0 = 0x60;  // to VK_NUMPAD9 = 0x69
constexpr int VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SEPARATOR = 0x6C, VK_SUBTRACT = 0x6D, VK_DECIMAL = 0x6E,
              VK_DIVIDE = 0x6F;
constexpr int VK_F1 = 0x70, VK_F2 = 0x71, VK_F3 = 0x72, VK_F4 = 0x73, VK_F5 = 0x74, VK_F6 = 0x75,
              VK_F7 = 0x76, VK_F8 = 0x77, VK_F9 = 0x78, VK_F10 = 0x79, VK_F11 = 0x7A, VK_F12 = 0x7B;
constexpr int VK_F24 = 0x87;
constexpr int VK_NUMLOCK = 0x90, VK_SCROLL = 0x91;
constexpr int VK_BROWSER_BACK = 0xA6, VK_BROWSER_FORWARD = 0xA7, VK_BROWSER_REFRESH = 0xA8,
              VK_BROWSER_STOP = 0xA9, VK_BROWSER_SEARCH = 0xAA, VK_BROWSER_FAVORITES = 0xAB,
              VK_BROWSER_HOME = 0xAC;
constexpr int VK_VOLUME_MUTE = 0xAD, VK_VOLUME_DOWN = 0xAE, VK_VOLUME_UP = 0xAF;
constexpr int VK_MEDIA_NEXT_TRACK = 0xB0, VK_MEDIA_PREV_TRACK = 0xB1, VK_MEDIA_STOP = 0xB2,
              VK_MEDIA_PLAY_PAUSE = 0xB3;
constexpr int VK_LAUNCH_MAIL = 0xB4, VK_LAUNCH_MEDIA_SELECT = 0xB5, VK_LAUNCH_APP1 = 0xB6,
              VK_LAUNCH_APP2 = 0xB7;
constexpr int VK_OEM_1 = 0xBA, VK_OEM_PLUS = 0xBB, VK_OEM_COMMA = 0xBC, VK_OEM_MINUS = 0xBD,
              VK_OEM_PERIOD = 0xBE, VK_OEM_2 = 0xBF, VK_OEM_3 = 0xC0;
constexpr int VK_OEM_4 = 0xDB, VK_OEM_5 = 0xDC, VK_OEM_6 = 0xDD, VK_OEM_7 = 0xDE, VK_OEM_102 = 0xE2;
constexpr int VK_PROCESSKEY = 0xE5;
constexpr int VK_OEM_ATTN = 0xF0, VK_OEM_AUTO = 0xF3, VK_OEM_ENLW = 0xF4;

// The virtual key of a key-down event; 0 when the key has none.
int VirtualKeyFromEvent(const wxKeyEvent& event);

// The same from the event's parts: the toolkit's key code, the GDK key value (0 when
// unknown) and the hardware key code (0 when unknown).
int VirtualKeyFromCodes(int wxKeyCode, unsigned gdkKeyval, unsigned hardwareKeycode);
