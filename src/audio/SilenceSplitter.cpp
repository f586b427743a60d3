#include "audio/SilenceSplitter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "app/BookLimits.h"

namespace {

constexpr int kPhrasePauseBlocks[11] = {2, 3, 4, 5, 6, 7, 8, 9, 10, 15, 20};

uint32_t Clamp32(uint64_t value) {
    return static_cast<uint32_t>(std::min<uint64_t>(value, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

int BlockLevelDb(const int16_t* samples, size_t count) {
    if (count == 0) return kSilentBlockDb;
    const auto [low, high] = std::minmax_element(samples, samples + count);
    const int minimum = *low;
    const int maximum = *high;
    // The negative peak is measured against 32768 and the positive one against 32767,
    // so that both ends of the range read 0 dB.
    const double peak = -minimum > maximum ? -minimum * 3.0517578125e-05 : maximum / 32767.0;
    if (peak <= 0.0) return kSilentBlockDb;
    return static_cast<int>(20.0 * std::log10(peak));  // toward zero: -40.7 is -40
}

int PhrasePauseBlocks(int phrasePause) {
    if (phrasePause < 0 || phrasePause > 10) phrasePause = 2;  // the setting's default
    return kPhrasePauseBlocks[phrasePause];
}

int SectionPauseBlocks(int sectionPause) { return sectionPause >= 1 ? 10 * sectionPause : 0; }

CSplitSettings MakeSplitSettings(int phrasePause, int sectionPause, int silenceDb) {
    CSplitSettings settings;
    settings.phrasePauseBlocks = PhrasePauseBlocks(phrasePause);
    settings.sectionPauseBlocks = SectionPauseBlocks(sectionPause);
    settings.silenceDb = silenceDb;
    return settings;
}

CSilenceSplitter::CSilenceSplitter(CRecordList<CSectionInformation>& book, const CSplitSettings& settings,
                                   uint32_t bytesPerSecond, const CString& fileName, const CString& nameText)
    : m_book(book),
      m_settings(settings),
      m_nBytesPerSecond(bytesPerSecond),
      m_nBlockBytes(std::max<uint32_t>(2, bytesPerSecond / 10)),
      m_nBlockSamples(m_nBlockBytes / 2),
      m_strFileName(fileName),
      m_strNameText(nameText),
      m_pending(new int16_t[m_nBlockSamples]) {
    // Sound in the very first block opens the first phrase: the run starts as long as a
    // phrase pause.
    m_nRun = static_cast<uint64_t>(std::max(0, m_settings.phrasePauseBlocks));
}

CSilenceSplitter::~CSilenceSplitter() = default;

bool CSilenceSplitter::Begin(int index) {
    m_nIndex = index;
    CSectionInformation* at = m_book.GetAt(index);
    if (at && at->m_lstPhrase.IsEmpty()) {
        m_pCurrent = at;
        m_nRow = index;
        return true;
    }
    if (m_book.GetCount() >= kMaxSections) return false;
    m_pOwned = std::make_unique<CSectionInformation>();
    m_pCurrent = m_pOwned.get();
    m_nRow = at ? index + 1 : m_book.GetCount();
    return true;
}

void CSilenceSplitter::SetLeadIn(size_t samples) {
    m_nSkip = samples;
    m_nOrigin = m_nPosition = static_cast<uint64_t>(samples) * 2;
}

bool CSilenceSplitter::Feed(const int16_t* samples, size_t count) {
    if (m_bStopped || m_bFinished || !m_pCurrent) return !m_bStopped;
    const size_t skipped = std::min(m_nSkip, count);
    m_nSkip -= skipped;
    samples += skipped;
    count -= skipped;
    size_t used = 0;
    if (m_nPending > 0) {
        const size_t take = std::min(m_nBlockSamples - m_nPending, count);
        std::memcpy(m_pending.get() + m_nPending, samples, take * sizeof(int16_t));
        m_nPending += take;
        used = take;
        if (m_nPending < m_nBlockSamples) return true;
        m_nPending = 0;
        if (!JudgeBlock(m_pending.get(), m_nBlockSamples)) return false;
    }
    while (count - used >= m_nBlockSamples) {
        if (!JudgeBlock(samples + used, m_nBlockSamples)) return false;
        used += m_nBlockSamples;
    }
    m_nPending = count - used;
    if (m_nPending > 0) std::memcpy(m_pending.get(), samples + used, m_nPending * sizeof(int16_t));
    return true;
}

bool CSilenceSplitter::JudgeBlock(const int16_t* samples, size_t count) {
    const uint64_t block = m_nBlockBytes;
    if (BlockLevelDb(samples, count) < m_settings.silenceDb) {
        ++m_nRun;
        m_nPosition += block;
        return true;
    }
    const uint64_t sectionBlocks = static_cast<uint64_t>(std::max(0, m_settings.sectionPauseBlocks));
    if (sectionBlocks > 0 && m_nRun >= sectionBlocks && !m_pCurrent->m_lstPhrase.IsEmpty() && !BreakSection()) {
        m_bStopped = true;
        return false;
    }
    if (m_nRun >= static_cast<uint64_t>(std::max(0, m_settings.phrasePauseBlocks))) {
        if (m_pCurrent->m_lstPhrase.GetCount() >= kMaxPhrasesPerSection && !BreakSection()) {
            m_bStopped = true;
            return false;
        }
        if (m_pOpen) {
            const uint64_t start = m_pOpen->m_nStart;
            ClosePhrase(m_nPosition >= start + block ? m_nPosition - start - block : 0);
        }
        // The last silent block before the sound is the new phrase's lead-in.
        AppendPhrase(m_nPosition == m_nOrigin ? 0 : m_nPosition - block);
    }
    m_nRun = 0;
    m_nPosition += block;
    return true;
}

void CSilenceSplitter::PutCurrentIntoBook() {
    if (m_pOwned) m_book.InsertAt(m_nRow, std::move(m_pOwned));
}

bool CSilenceSplitter::BreakSection() {
    PutCurrentIntoBook();
    // The recording goes on right after its own section: in the empty section that
    // stands there, else in a new one put in between.
    const int next = m_nRow + 1;
    CSectionInformation* at = m_book.GetAt(next);
    if (at && at->m_lstPhrase.IsEmpty()) {
        m_pCurrent = at;
    } else {
        if (m_book.GetCount() >= kMaxSections) return false;
        m_pOwned = std::make_unique<CSectionInformation>();
        m_pCurrent = m_pOwned.get();
    }
    m_nRow = next;
    m_bBroken = true;
    return true;
}

void CSilenceSplitter::ClosePhrase(uint64_t length) {
    m_pOpen->m_nLength = Clamp32(length);
    m_pOpen->m_nPause = Clamp32(m_nRun * m_nBlockBytes);
    m_pOpenSection->m_nSectionTime = Clamp32(static_cast<uint64_t>(m_pOpenSection->m_nSectionTime) + m_pOpen->m_nLength);
    m_pOpen = nullptr;
    m_pOpenSection = nullptr;
}

void CSilenceSplitter::AppendPhrase(uint64_t start) {
    if (m_pCurrent->m_lstPhrase.IsEmpty()) {
        // A section takes the recording's name once it holds some of it; an empty section
        // that was only passed through stays as it was.
        m_pCurrent->m_strComment = m_strNameText;
        if (m_nFirstRow < 0) m_nFirstRow = m_nRow;
    }
    auto phrase = std::make_unique<CPhraseInformation>();
    phrase->m_nStart = Clamp32(start);
    phrase->m_strFileName = m_strFileName;
    phrase->m_nBytesPerSec = m_nBytesPerSecond;
    m_pOpen = m_pCurrent->m_lstPhrase.Add(std::move(phrase));
    m_pOpenSection = m_pCurrent;
}

void CSilenceSplitter::Finish(bool cancelled, uint64_t bytesWritten) {
    if (m_bFinished || !m_pCurrent) return;
    if (!m_bStopped && m_nPending > 0) {
        // A block cut short by the end of the data is judged on the samples it has.
        JudgeBlock(m_pending.get(), m_nPending);
        m_nPending = 0;
    }
    m_bFinished = true;
    const uint64_t block = m_nBlockBytes;
    if (m_pOpen) {
        const uint64_t start = m_pOpen->m_nStart;
        uint64_t length = 0;
        if (cancelled || m_bStopped)
            length = m_nPosition >= start + block ? m_nPosition - start - block : 0;
        else if (bytesWritten > m_nOrigin)
            length = std::max(m_nOrigin + (bytesWritten - m_nOrigin) / block * block, start) - start;
        // Never past the audio the file really holds.
        if (start + length > bytesWritten) length = bytesWritten > start ? bytesWritten - start : 0;
        ClosePhrase(length);
    }
    if (!m_pCurrent->m_lstPhrase.IsEmpty()) {
        PutCurrentIntoBook();
        m_nIndex = m_nRow;
    } else {
        m_pOwned.reset();
        if (m_bBroken) m_nIndex = m_nRow - 1;
    }
    m_pCurrent = nullptr;
}
