#include <gtest/gtest.h>

#include <wx/event.h>

#include "platform/KeyMap.h"

// Keys as wxGTK reports their key-down events: key code, GDK key value, hardware code.
TEST(KeyMap, ToolkitKeysBecomeTheOriginalVirtualKeys) {
    const struct {
        const char* name;
        int wxCode;
        unsigned keyval;
        unsigned hardware;
        int vk;
    } cases[] = {
        // Toolkit codes that are a different key's virtual-key number on the original.
        {"period is not Delete", '.', 0x2e, 60, VK_OEM_PERIOD},
        {"apostrophe is not Right", '\'', 0x27, 48, VK_OEM_7},
        {"Delete (toolkit 127)", WXK_DELETE, 0xffff, 119, VK_DELETE},
        {"F3 (toolkit 342)", WXK_F3, 0xffc0, 69, VK_F3},
        {"left bracket is not Left Windows", '[', 0x5b, 34, VK_OEM_4},
        {"right bracket is not Apps", ']', 0x5d, 35, VK_OEM_6},
        {"shifted 2 on a US keyboard", '2', 0x40, 11, 50},
        // wxGTK calls the Windows keys Alt; only the GDK value tells them apart.
        {"left Windows key", WXK_ALT, 0xffeb, 133, VK_LWIN},
        {"context-menu key", WXK_MENU, 0xff67, 135, VK_APPS},
        {"keypad 4 without Num Lock", WXK_NUMPAD_LEFT, 0xff96, 83, VK_LEFT},
        {"keypad . without Num Lock", WXK_NUMPAD_DELETE, 0xff9f, 91, VK_DELETE},
        {"JIS shifted @ (`)", '@', 0x60, 34, 192},
        {"JIS ] (where US has backslash)", ']', 0x5d, 51, 221},
        {"backslash is not Right Windows", '\\', 0x5c, 51, VK_OEM_5},
        {"JIS yen key", '\\', 0x5c, 132, 220},
        {"JIS shifted ro key (_)", '\\', 0x5f, 97, 226},
        // Japanese input keys come with key code 0: only the GDK value tells.
        {"Henkan", 0, 0xff23, 100, VK_CONVERT},
        {"Zenkaku_Hankaku", 0, 0xff2a, 49, VK_OEM_AUTO},
        {"Alt + Zenkaku_Hankaku (Kanji)", 0, 0xff21, 49, VK_KANJI},
        {"Hiragana_Katakana", 0, 0xff27, 101, VK_KANA},
        {"Eisu_toggle", 0, 0xff30, 66, VK_OEM_ATTN},
        {"volume down", WXK_VOLUME_DOWN, 0x1008ff11, 122, 174},
        {"volume up", WXK_VOLUME_UP, 0x1008ff13, 123, 175},
        {"pause (no toolkit code)", 0, 0x1008ff31, 209, 179},
        // Keys without a virtual key.
        {"unknown GDK value", 0, 0xfe52, 0, 0},  // a dead key
        {"Ctrl+A as a character code", WXK_CONTROL_A, 0, 0, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(VirtualKeyFromCodes(c.wxCode, c.keyval, c.hardware), c.vk) << c.name;
    for (int i = 0; i < 24; ++i) EXPECT_EQ(VirtualKeyFromCodes(WXK_F1 + i, 0xffbe + i, 0), 112 + i) << "F" << i + 1;
    for (int i = 0; i < 10; ++i) EXPECT_EQ(VirtualKeyFromCodes(WXK_NUMPAD0 + i, 0xffb0 + i, 0), 96 + i) << i;
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
}
