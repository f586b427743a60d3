#include "audio/LevelMeter.h"

#include <gtest/gtest.h>

#include <ostream>

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/utils.h>

#include "audio/PlayerTestSupport.h"

// Readable failures.
void PrintTo(const wxColour& colour, std::ostream* os) {
    *os << "rgb(" << int(colour.Red()) << ", " << int(colour.Green()) << ", " << int(colour.Blue()) << ")";
}

namespace {

const wxColour kGrey(0x50, 0x50, 0x50);

class LevelMeterGui : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(playertest::EnsureWxApp()); }

    void SetUp() override {
        m_frame = new wxFrame(nullptr, wxID_ANY, wxASCII_STR("meter"), wxDefaultPosition, wxSize(420, 120));
        m_scale = new CLMScaleStatic(m_frame, 1018);
        m_meter = new CLMRectStatic(m_frame, 1019);
        m_scale->SetSize(20, 10, 360, 20);
        m_meter->SetSize(20, 32, 324, 15);
        m_frame->Show();
        Paint();
    }
    void TearDown() override {
        m_frame->Destroy();
        wxYield();
    }

    void Paint() {
        m_frame->Refresh();
        m_frame->Update();
        wxYield();
    }

    // What the control shows now.
    static wxImage Shot(wxWindow* window) {
        const wxSize size = window->GetClientSize();
        wxClientDC screen(window);
        wxBitmap bitmap(size);
        wxMemoryDC memory(bitmap);
        memory.Blit(0, 0, size.x, size.y, &screen, 0, 0);
        memory.SelectObject(wxNullBitmap);
        return bitmap.ConvertToImage();
    }
    static wxColour At(const wxImage& image, int x, int y) {
        return wxColour(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
    }

    void SetLevels(std::initializer_list<int> levels) {
        for (int dB : levels) m_meter->SetLevel(dB);
        Paint();
    }

    wxFrame* m_frame = nullptr;
    CLMScaleStatic* m_scale = nullptr;
    CLMRectStatic* m_meter = nullptr;
};

}  // namespace

TEST_F(LevelMeterGui, TheBarShowsTheLevelAndTheHeldPeak) {
    EXPECT_EQ(At(Shot(m_meter), 3, 7), kGrey);

    SetLevels({-50, -30, 0, 3, -20});  // lit to segment 14, peak held at 35
    wxImage image = Shot(m_meter);
    EXPECT_EQ(At(image, 3, 7), LevelSegmentColour(0));
    EXPECT_EQ(At(image, 8, 7), kGrey);  // the gap between segments
    EXPECT_EQ(At(image, 9 * 14 + 3, 7), LevelSegmentColour(14));
    EXPECT_EQ(At(image, 9 * 15 + 3, 7), kGrey);  // unlit
    EXPECT_EQ(At(image, 9 * 35 + 8, 7), LevelSegmentColour(35));  // the marker
    EXPECT_EQ(At(image, 9 * 35 + 8, 14), kGrey);                  // stops a pixel short of the bottom

    SetLevels({-20, -20, -20, -20});  // the marker comes down onto the current segment
    image = Shot(m_meter);
    EXPECT_EQ(At(image, 9 * 35 + 8, 7), kGrey);
    EXPECT_EQ(At(image, 9 * 14 + 8, 7), LevelSegmentColour(14));
    EXPECT_EQ(At(image, 9 * 13 + 8, 7), kGrey);

    SetLevels({-96});
    image = Shot(m_meter);
    EXPECT_EQ(At(image, 3, 7), kGrey);
    EXPECT_EQ(At(image, 9 * 14 + 8, 7), kGrey);
    EXPECT_EQ(m_meter->GetState().PeakSegment(), -1);
}

TEST_F(LevelMeterGui, TheScaleHasTicksUnderTheSegmentEdges) {
    const wxImage image = Shot(m_scale);
    for (int x : {35, 53, 71, 161, 233, 287, 341}) {
        EXPECT_EQ(At(image, x, 16), *wxWHITE) << x;
        EXPECT_EQ(At(image, x + 2, 16), *wxBLACK) << x;
    }
    EXPECT_EQ(At(image, 100, 18), *wxBLACK);
}
