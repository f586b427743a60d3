// The view's volume object over a scripted mixer, and over ALSA on a machine
// without a mixer.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

#include "audio/VolumeMixer.h"
#include "platform/Mixer.h"

namespace {

struct MixerScript {
    bool opens = true;
    bool hasVolume = true;
    bool hasSwitch = true;
    uint32_t volume = 40000;
    bool muted = true;
    int openCalls = 0;
    int openNow = 0;
};

class ScriptedMixer : public IMixer {
public:
    explicit ScriptedMixer(MixerScript& s) : m_s(s) {}
    ~ScriptedMixer() override { EXPECT_FALSE(m_open) << "mixer left open"; }
    bool Open() override {
        ++m_s.openCalls;
        if (!m_s.opens) return false;
        m_open = true;
        ++m_s.openNow;
        return true;
    }
    void Close() override {
        if (m_open) --m_s.openNow;
        m_open = false;
    }
    bool GetVolume(uint32_t& v) override {
        if (!m_open || !m_s.hasVolume) return false;
        v = m_s.volume;
        return true;
    }
    bool SetVolume(uint32_t v) override {
        if (!m_open || !m_s.hasVolume) return false;
        m_s.volume = v;
        if (m_s.hasSwitch) m_s.muted = false;
        return true;
    }
    bool Unmute() override {
        if (!m_open || !m_s.hasSwitch) return false;
        m_s.muted = false;
        return true;
    }

private:
    MixerScript& m_s;
    bool m_open = false;
};

class VolumeMixerTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMixerFactory([this] { return std::make_unique<ScriptedMixer>(script); });
    }
    void TearDown() override { SetMixerFactory({}); }
    MixerScript script;
};

TEST_F(VolumeMixerTest, WithoutAMixerEveryOperationFailsAndNothingChanges) {
    CVolumeMixer mixer;
    uint32_t untouched = 5;
    EXPECT_EQ(mixer.GetVolume(&untouched), 0);  // not looked for yet
    EXPECT_EQ(script.openCalls, 0);
    script.opens = false;
    EXPECT_EQ(mixer.Open(), 0);
    EXPECT_EQ(mixer.Unmute(), 0);
    EXPECT_EQ(mixer.SetVolume(1000), 0);
    uint32_t value = 5;
    EXPECT_EQ(mixer.GetVolume(&value), 0);
    EXPECT_EQ(value, 5u);
    EXPECT_EQ(script.volume, 40000u);
    EXPECT_TRUE(script.muted);
    // Not found once, not looked for again.
    EXPECT_EQ(script.openCalls, 1);
}

TEST_F(VolumeMixerTest, ReadsSetsAndUnmutesOpeningTheMixerForEachStep) {
    CVolumeMixer mixer;
    ASSERT_EQ(mixer.Open(), 1);
    EXPECT_EQ(script.openNow, 0);  // found, and closed again
    EXPECT_EQ(mixer.Unmute(), 1);
    EXPECT_FALSE(script.muted);
    uint32_t value = 0;
    EXPECT_EQ(mixer.GetVolume(&value), 1);
    EXPECT_EQ(value, 40000u);

    script.muted = true;
    EXPECT_EQ(mixer.SetVolume(65520), 1);
    EXPECT_EQ(script.volume, 65520u);
    EXPECT_FALSE(script.muted);  // a volume that is set is heard
    EXPECT_EQ(mixer.GetVolume(&value), 1);
    EXPECT_EQ(value, 65520u);
    EXPECT_EQ(mixer.GetVolume(nullptr), 0);
    EXPECT_EQ(script.openNow, 0);
    EXPECT_EQ(script.openCalls, 5);
}

TEST_F(VolumeMixerTest, MissingControlsOrAVanishedMixerFailTheirSteps) {
    CVolumeMixer mixer;
    ASSERT_EQ(mixer.Open(), 1);
    script.hasVolume = false;
    uint32_t value = 9;
    EXPECT_EQ(mixer.GetVolume(&value), 0);
    EXPECT_EQ(value, 9u);
    EXPECT_EQ(mixer.SetVolume(100), 0);
    script.hasVolume = true;
    script.hasSwitch = false;
    EXPECT_EQ(mixer.Unmute(), 0);
    EXPECT_EQ(mixer.SetVolume(100), 1);
    // The mixer has gone since Open found it.
    script.opens = false;
    EXPECT_EQ(mixer.GetVolume(&value), 0);
    EXPECT_EQ(mixer.SetVolume(0), 0);
    EXPECT_EQ(value, 9u);
}

TEST(VolumeMixerAlsa, MachineWithoutMixerTakesTheFailurePath) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto probe = [] {
        char home[] = "/tmp/korvane-volume-XXXXXX";
        if (!mkdtemp(home)) _exit(3);
        std::ofstream(std::string(home) + "/.asoundrc") << "ctl.!default {\n  type hw\n  card 31\n}\n";
        setenv("HOME", home, 1);
        CVolumeMixer mixer;
        uint32_t value = 32767;
        const int results = mixer.Open() + mixer.Unmute() + mixer.GetVolume(&value) + mixer.SetVolume(32767);
        std::filesystem::remove_all(home);
        _exit(results == 0 && value == 32767 ? 0 : 1);
    };
    EXPECT_EXIT(probe(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
