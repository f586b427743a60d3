#include <gtest/gtest.h>

#include "app/KorvaneView.h"

namespace {

using A = EViewKeyAction;

TEST(ViewKeyFilter, ClassifiesKeysAsTheFormExpects) {
    const struct { int vk; A action; const char* what; } cases[] = {
        {174, A::Swallow, "volume down"},   {175, A::Swallow, "volume up"},
        {173, A::Swallow, "volume mute"},   {179, A::Swallow, "media play"},
        {186, A::Swallow, "OEM ;"},         {190, A::Swallow, "OEM ."},
        {5, A::Swallow, "X button 1"},      {22, A::Swallow, "IME on"},
        {26, A::Swallow, "IME off"},        {95, A::Swallow, "sleep"},
        {255, A::Swallow, "reserved"},      {245, A::Swallow, "OEM range end"},
        {16, A::Pass, "Shift"},             {'D', A::Pass, "D"},
        {'H', A::Pass, "H"},                {'Q', A::Pass, "Q"},
        {'W', A::Pass, "W"},                {114, A::Pass, "F3"},
        {115, A::Pass, "F4"},               {120, A::Pass, "F9"},
        {121, A::Pass, "F10"},              {32, A::PlayOrStop, "Space"},
        {17, A::StopThenPass, "Ctrl"},      {18, A::StopThenPass, "Alt"},
        {37, A::StopThenPass, "Left"},      {38, A::StopThenPass, "Up"},
        {39, A::StopThenPass, "Right"},     {40, A::StopThenPass, "Down"},
        {13, A::StopThenPass, "Enter"},     {46, A::StopThenPass, "Delete"},
        {9, A::StopThenPass, "Tab"},        {'1', A::StopThenPass, "digit"},
        {'A', A::StopThenPass, "A"},        {'S', A::StopThenPass, "S"},
        {116, A::StopThenPass, "F5"},       {117, A::StopThenPass, "F6"},
        {229, A::StopThenPass, "IME processing key must get through"},
        {165, A::StopThenPass, "right Alt"}, {246, A::StopThenPass, "Attn"},
    };
    for (const auto& c : cases) EXPECT_EQ(CKorvaneView::ClassifyKey(c.vk), c.action) << c.what << " (" << c.vk << ")";
}

TEST(ViewKeyFilter, EverySwallowedRangeIsClosed) {
    // The ranges' neighbours are not swallowed.
    for (int vk : {4, 8, 12, 57, 65, 93, 96, 135, 144, 145, 160, 165, 229, 246, 254})
        EXPECT_NE(CKorvaneView::ClassifyKey(vk), A::Swallow) << vk;
    for (int vk : {6, 7, 10, 11, 14, 15, 58, 64, 94, 136, 143, 146, 159, 166, 228, 230})
        EXPECT_EQ(CKorvaneView::ClassifyKey(vk), A::Swallow) << vk;
}

}  // namespace
