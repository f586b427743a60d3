#include <gtest/gtest.h>

#include <memory>

#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "platform/Mixer.h"

namespace {

// A mixer that keeps the volume it is given.
struct FakeMixer : IMixer {
    static inline uint32_t volume = 0;
    static inline bool readable = true;
    bool Open() override { return true; }
    void Close() override {}
    bool GetVolume(uint32_t& value) override { value = volume; return readable; }
    bool SetVolume(uint32_t value) override { volume = value; return true; }
    bool Unmute() override { return true; }
};

class ViewOptions : public ::testing::Test {
protected:
    void SetUp() override {
        SetMixerFactory([] { return std::make_unique<FakeMixer>(); });
        FakeMixer::volume = 0;
        FakeMixer::readable = true;
    }
    void TearDown() override { SetMixerFactory(nullptr); }
    CString Speed() const { return view.GetControlText(IDC_STATIC_SPEED); }
    CString Volume() const { return view.GetControlText(IDC_STATIC_VOLUME); }
    CKorvaneView view;
};

TEST_F(ViewOptions, SpeedStepsStopAtTheEndsAndRepairStrangeValues) {
    view.m_nPlaySpeed = 8;
    view.OnPlaySpeedUp();
    EXPECT_EQ(view.m_nPlaySpeed, 8);
    view.m_nPlaySpeed = 3;
    for (int i = 0; i < 3; ++i) view.OnPlaySpeedDown();
    EXPECT_EQ(view.m_nPlaySpeed, 1);
    EXPECT_EQ(Speed(), "x0.75");
    view.OnPlaySpeedUp();  // 1 is below the steps: back to x1.00
    EXPECT_EQ(view.m_nPlaySpeed, 2);
    for (int i = 0; i < 10; ++i) view.OnPlaySpeedUp();
    EXPECT_EQ(Speed(), "x3.00");
    view.m_nPlaySpeed = 42;
    view.OnPlaySpeedDown();
    EXPECT_EQ(view.m_nPlaySpeed, 2);
}

TEST_F(ViewOptions, VolumeStepsStopAtTheTopAndStartAtHalfWhenUnreadable) {
    view.InitOutputVolume();
    EXPECT_EQ(Volume(), " 0");
    for (int i = 0; i < 20; ++i) view.OnVolumeUp();
    EXPECT_EQ(view.m_nVolume, 65520);
    EXPECT_EQ(Volume(), "20");
    view.OnVolumeUp();
    view.OnVolumeUp();
    EXPECT_EQ(view.m_nVolume, 65535);
    EXPECT_EQ(FakeMixer::volume, 65535u);
    view.OnVolumeDown();
    EXPECT_EQ(view.m_nVolume, 65535 - 3276);
    EXPECT_EQ(Volume(), "19");

    FakeMixer::readable = false;
    view.InitOutputVolume();
    EXPECT_EQ(view.m_nVolume, 32767);
    EXPECT_EQ(FakeMixer::volume, 32767u);
}

TEST_F(ViewOptions, WithoutAMixerTheVolumeStaysAndNoLabelShows) {
    SetMixerFactory([] { return std::unique_ptr<IMixer>(); });
    view.m_nVolume = 1234;
    view.InitOutputVolume();
    EXPECT_EQ(view.m_nVolume, 1234);
    view.OnVolumeUp();
    EXPECT_EQ(Volume(), "");
}

TEST_F(ViewOptions, ListFontAndMp3QualityCommandsCheckTheirItems) {
    view.m_nListFont = 1;
    view.OnListFontLarge();
    EXPECT_EQ(view.m_nListFont, 2);
    EXPECT_EQ(view.GetCommandCheck(32843), 1);
    EXPECT_EQ(view.GetCommandCheck(32844), 0);
    view.OnMp3QualityHigh();
    EXPECT_EQ(view.m_nMp3Quality, 2);
    EXPECT_EQ(view.GetCommandCheck(32836), 1);
    EXPECT_EQ(view.GetCommandCheck(32771), -1);
}

}  // namespace
