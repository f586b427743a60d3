#include <gtest/gtest.h>

#include <wx/event.h>

#include "platform/KeyMap.h"

namespace {

// One key as wxGTK reports its key-down event: key code, GDK key value, hardware code.
struct KeyCase {
    const char* name;
    int wxCode;
    unsigned keyval;
    unsigned hardware;
    int vk;
};

void ExpectKeys(const std::vector<KeyCase>& cases) {
    for (const KeyCase& c : cases)
        EXPECT_EQ(VirtualKeyFromCodes(c.wxCode, c.keyval, c.hardware), c.vk) << c.name;
}

}  // namespace

// Keys whose toolkit code is a different key's virtual-key number on the original.
TEST(KeyMap, TrapsWhereToolkitCodesCollideWithVirtualKeys) {
    ExpectKeys({
        {"period is not Delete", '.', 0x2e, 60, VK_OEM_PERIOD},
        {"apostrophe is not Right", '\'', 0x27, 48, VK_OEM_7},
        {"Delete (toolkit 127)", WXK_DELETE, 0xffff, 119, VK_DELETE},
        {"F3 (toolkit 342)", WXK_F3, 0xffc0, 69, VK_F3},
        {"minus is not Insert", '-', 0x2d, 20, VK_OEM_MINUS},
        {"left bracket is not Left Windows", '[', 0x5b, 34, VK_OEM_4},
        {"backslash is not Right Windows", '\\', 0x5c, 51, VK_OEM_5},
        {"right bracket is not Apps", ']', 0x5d, 35, VK_OEM_6},
    });
}

TEST(KeyMap, LettersDigitsAndEditingKeys) {
    ExpectKeys({
        {"A", 'A', 0x61, 38, 65},
        {"shifted A", 'A', 0x41, 38, 65},
        {"lower-case code", 'q', 0, 0, 'Q'},
        {"0", '0', 0x30, 19, 48},
        {"shifted 2 on a US keyboard", '2', 0x40, 11, 50},
        {"Space", WXK_SPACE, 0x20, 65, VK_SPACE},
        {"Enter", WXK_RETURN, 0xff0d, 36, VK_RETURN},
        {"Esc", WXK_ESCAPE, 0xff1b, 9, VK_ESCAPE},
        {"Tab", WXK_TAB, 0xff09, 23, VK_TAB},
        {"Shift+Tab", WXK_TAB, 0xfe20, 23, VK_TAB},
        {"Back", WXK_BACK, 0xff08, 22, VK_BACK},
        {"Insert", WXK_INSERT, 0xff63, 118, VK_INSERT},
        {"Page Up", WXK_PAGEUP, 0xff55, 112, VK_PRIOR},
        {"Page Down", WXK_PAGEDOWN, 0xff56, 117, VK_NEXT},
        {"Print Screen", WXK_PRINT, 0xff61, 107, VK_SNAPSHOT},
    });
}

TEST(KeyMap, ModifiersAndWindowsKeys) {
    ExpectKeys({
        {"Shift", WXK_SHIFT, 0xffe1, 50, VK_SHIFT},
        {"Ctrl", WXK_CONTROL, 0xffe3, 37, VK_CONTROL},
        {"Alt", WXK_ALT, 0xffe9, 64, VK_MENU},
        {"Pause", WXK_PAUSE, 0xff13, 127, VK_PAUSE},
        // wxGTK calls the Windows keys Alt; only the GDK value tells them apart.
        {"left Windows key", WXK_ALT, 0xffeb, 133, VK_LWIN},
        {"right Windows key", WXK_ALT, 0xffec, 134, VK_RWIN},
        {"context-menu key", WXK_MENU, 0xff67, 135, VK_APPS},
        {"Windows key without GDK value", WXK_WINDOWS_LEFT, 0, 0, VK_LWIN},
    });
}

TEST(KeyMap, FunctionKeysSpanF1ToF24) {
    for (int i = 0; i < 24; ++i) EXPECT_EQ(VirtualKeyFromCodes(WXK_F1 + i, 0xffbe + i, 0), 112 + i) << "F" << i + 1;
}

TEST(KeyMap, KeypadWithAndWithoutNumLock) {
    for (int i = 0; i < 10; ++i) EXPECT_EQ(VirtualKeyFromCodes(WXK_NUMPAD0 + i, 0xffb0 + i, 0), 96 + i) << i;
    ExpectKeys({
        {"*", WXK_NUMPAD_MULTIPLY, 0xffaa, 63, 106},
        {"+", WXK_NUMPAD_ADD, 0xffab, 86, 107},
        {"-", WXK_NUMPAD_SUBTRACT, 0xffad, 82, 109},
        {".", WXK_NUMPAD_DECIMAL, 0xffae, 91, 110},
        {"/", WXK_NUMPAD_DIVIDE, 0xffaf, 106, 111},
        {"keypad Enter", WXK_NUMPAD_ENTER, 0xff8d, 104, VK_RETURN},
        {"keypad 4 without Num Lock", WXK_NUMPAD_LEFT, 0xff96, 83, VK_LEFT},
        {"keypad 9 without Num Lock", WXK_NUMPAD_PAGEUP, 0xff9a, 81, VK_PRIOR},
        {"keypad . without Num Lock", WXK_NUMPAD_DELETE, 0xff9f, 91, VK_DELETE},
        {"keypad 5 without Num Lock", WXK_NUMPAD_BEGIN, 0xff9d, 84, VK_CLEAR},
    });
}

TEST(KeyMap, PunctuationOfUsAndJapaneseKeyboards) {
    ExpectKeys({
        {"US ;", ';', 0x3b, 47, 186},
        {"US =", '=', 0x3d, 21, 187},
        {"US shifted = (+)", '=', 0x2b, 21, 187},
        {"JIS @", '@', 0x40, 34, 192},
        {"JIS shifted @ (`)", '@', 0x60, 34, 192},
        {"JIS :", ':', 0x3a, 48, 186},
        {"JIS ^", '^', 0x5e, 21, 222},
        {"JIS ] (where US has backslash)", ']', 0x5d, 51, 221},
        {"JIS yen key", '\\', 0x5c, 132, 220},
        {"JIS ro key", '\\', 0x5c, 97, 226},
        {"JIS shifted ro key (_)", '\\', 0x5f, 97, 226},
    });
}

TEST(KeyMap, JapaneseInputKeysComeFromTheGdkValue) {
    // The toolkit reports these with key code 0.
    ExpectKeys({
        {"Henkan", 0, 0xff23, 100, VK_CONVERT},
        {"Muhenkan", 0, 0xff22, 102, VK_NONCONVERT},
        {"Zenkaku_Hankaku", 0, 0xff2a, 49, VK_OEM_AUTO},
        {"Zenkaku", 0, 0xff28, 49, VK_OEM_ENLW},
        {"Alt + Zenkaku_Hankaku (Kanji)", 0, 0xff21, 49, VK_KANJI},
        {"Hiragana_Katakana", 0, 0xff27, 101, VK_KANA},
        {"Eisu_toggle", 0, 0xff30, 66, VK_OEM_ATTN},
    });
}

TEST(KeyMap, MediaVolumeAndBrowserKeys) {
    ExpectKeys({
        {"mute", WXK_VOLUME_MUTE, 0x1008ff12, 121, 173},
        {"volume down", WXK_VOLUME_DOWN, 0x1008ff11, 122, 174},
        {"volume up", WXK_VOLUME_UP, 0x1008ff13, 123, 175},
        {"play", WXK_MEDIA_PLAY_PAUSE, 0x1008ff14, 172, 179},
        {"pause (no toolkit code)", 0, 0x1008ff31, 209, 179},
        {"browser back", WXK_BROWSER_BACK, 0x1008ff26, 166, 166},
        {"browser home", WXK_BROWSER_HOME, 0x1008ff18, 180, 172},
        {"sleep (no toolkit code)", 0, 0x1008ff2f, 150, VK_SLEEP},
    });
}

TEST(KeyMap, KeysWithoutAVirtualKeyGiveZero) {
    ExpectKeys({
        {"nothing", 0, 0, 0, 0},
        {"unknown GDK value", 0, 0xfe52, 0, 0},  // a dead key
        {"non-ASCII character", 0xe9, 0xe9, 0, 0},
        {"Ctrl+A as a character code", WXK_CONTROL_A, 0, 0, 0},
    });
}

TEST(KeyMap, ReadsTheEventsOwnFields) {
    wxKeyEvent event(wxEVT_KEY_DOWN);
    event.m_keyCode = 0;
    event.m_rawCode = 0xff23;  // Henkan
    event.m_rawFlags = 100;
    EXPECT_EQ(VirtualKeyFromEvent(event), VK_CONVERT);
    event.m_keyCode = '\\';
    event.m_rawCode = 0x5c;
    event.m_rawFlags = 97;
    EXPECT_EQ(VirtualKeyFromEvent(event), VK_OEM_102);
    event.m_rawFlags = 51;
    EXPECT_EQ(VirtualKeyFromEvent(event), VK_OEM_5);
}
