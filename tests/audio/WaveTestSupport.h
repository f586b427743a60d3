#pragma once
// Helpers of the WAV and rate-conversion tests: a scratch folder, WAV files built byte
// by byte (so that odd layouts can be made), tones and their measurement, and a host
// that records what the copy and the conversion show.

#include <cstdint>
#include <string>
#include <vector>

#include "audio/WaveTaskHost.h"
#include "platform/CString.h"

namespace wavetest {

// A fresh folder in /tmp, removed with the object. Its path is ASCII, so it is the same
// in CP932 and UTF-8.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string Path(const std::string& name) const { return m_root + "/" + name; }
    CString CPath(const std::string& name) const { return CString(Path(name)); }

private:
    std::string m_root;
};

std::string Le16(uint32_t v);
std::string Le32(uint32_t v);
// One chunk: id, size field, data and a pad byte when the data's length is odd. A
// `size` of -1 means the data's length.
std::string Chunk(const std::string& id, const std::string& data, int64_t size = -1);
// The 16 leading bytes of a format record, with the derived fields given explicitly.
std::string FmtRecord(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t bytesPerSecond, uint16_t blockAlign,
                      uint16_t bits);
// A consistent PCM record.
std::string PcmFmt(uint16_t channels, uint32_t rate, uint16_t bits);
// "RIFF" + size + "WAVE" around `body`; `size` -1 means the body's length + 4.
std::string RiffWave(const std::string& body, int64_t size = -1);

std::string SamplesToBytes(const std::vector<int16_t>& samples);
std::vector<int16_t> BytesToSamples(const std::string& bytes);

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

// A canonical 16-bit PCM WAV file.
void WriteWav(const std::string& path, uint32_t rate, uint16_t channels, const std::vector<int16_t>& samples);
// The samples of a canonical file written by the code under test (header 44 bytes,
// checked), or an empty vector with a test failure.
std::vector<int16_t> ReadCanonicalWav(const std::string& path, uint32_t& rate);

// A sine at `frequency` Hz of `amplitude` (full scale 1.0), as doubles and as PCM.
std::vector<double> Tone(double frequency, double rate, long count, double amplitude, double phase = 0.0);
std::vector<int16_t> TonePcm(double frequency, double rate, long count, double amplitude);

// Amplitude (full scale 1.0) of the component at `frequency`, fitted by least squares
// over values [first, first+count).
double ToneAmplitude(const std::vector<double>& values, double frequency, double rate, long first, long count);
double ToneAmplitude(const std::vector<int16_t>& samples, double frequency, double rate, long first, long count);
// Root-mean-square of values [first, first+count).
double Rms(const std::vector<double>& values, long first, long count);
// Signal-to-noise ratio in dB of `samples` against the ideal sine that best fits them
// (frequency known; amplitude and phase fitted) over [first, first+count).
double SnrAgainstTone(const std::vector<int16_t>& samples, double frequency, double rate, long first, long count);

// Records messages and progress; answers questions and cancel checks from a script.
class RecordingHost : public CWaveTaskHost {
public:
    void ShowError(const CString& text) override { errors.push_back(text); }
    bool AskYesNo(const CString& text) override {
        questions.push_back(text);
        return answerYes;
    }
    void BeginProgress(const CString& caption, const CString& text, int range) override {
        ++begun;
        this->caption = caption;
        this->text = text;
        this->range = range;
    }
    void SetProgress(int position) override { positions.push_back(position); }
    bool CheckCancel() override { return cancelAfter >= 0 && static_cast<int>(positions.size()) > cancelAfter; }
    void EndProgress() override { ++ended; }

    std::vector<CString> errors;
    std::vector<CString> questions;
    std::vector<int> positions;
    CString caption, text;
    int range = -1;
    int begun = 0;
    int ended = 0;
    bool answerYes = true;
    int cancelAfter = -1;  // cancel is pressed once this many positions were set
};

}  // namespace wavetest
