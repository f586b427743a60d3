#include <gtest/gtest.h>

#include "app/KorvaneView.h"

namespace {

using A = EViewKeyAction;

TEST(ViewKeyFilter, ClassifiesKeysAsTheFormExpects) {
    const struct { int vk; A action; const char* what; } cases[] = {
        {174, A::Swallow, "volume down"},  {175, A::Swallow, "volume up"},   {179, A::Swallow, "media play"},
        {190, A::Swallow, "OEM ."},        {22, A::Swallow, "IME on"},       {255, A::Swallow, "reserved"},
        {16, A::Pass, "Shift"},            {'D', A::Pass, "D"},              {'H', A::Pass, "H"},
        {'Q', A::Pass, "Q"},               {114, A::Pass, "F3"},             {115, A::Pass, "F4"},
        {120, A::Pass, "F9"},              {121, A::Pass, "F10"},            {32, A::PlayOrStop, "Space"},
        {17, A::StopThenPass, "Ctrl"},     {37, A::StopThenPass, "Left"},    {40, A::StopThenPass, "Down"},
        {13, A::StopThenPass, "Enter"},    {46, A::StopThenPass, "Delete"},  {'1', A::StopThenPass, "digit"},
        {'S', A::StopThenPass, "S"},       {116, A::StopThenPass, "F5"},
        {9, A::StopThenPass, "Tab"},
        {229, A::StopThenPass, "IME processing key must get through"},
    };
    for (const auto& c : cases) EXPECT_EQ(CKorvaneView::ClassifyKey(c.vk), c.action) << c.what << " (" << c.vk << ")";
    // The swallowed ranges are closed: their ends are swallowed, their neighbours not.
    for (int vk : {4, 8, 12, 57, 65, 93, 96, 135, 144, 145, 160, 165, 229, 246, 254})
        EXPECT_NE(CKorvaneView::ClassifyKey(vk), A::Swallow) << vk;
    for (int vk : {6, 7, 10, 11, 14, 15, 58, 64, 94, 136, 143, 146, 159, 166, 228, 230})
        EXPECT_EQ(CKorvaneView::ClassifyKey(vk), A::Swallow) << vk;
}

}  // namespace
