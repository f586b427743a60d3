// The per-user settings and the list column widths, kept in the settings store.

#include "app/AppStrings.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"

namespace {

const char kSettingsKey[] = "SOFTWARE\\KVT\\Tolvane Zavi";
const char kPrevProductKey[] = "SOFTWARE\\KVT\\Tolvane\\V";

void ReadNumber(const CRegistryKey& key, const char* name, int& value) {
    uint32_t v = 0;
    if (key.QueryDWORD(name, v)) value = static_cast<int>(v);
}

}  // namespace

const char* CKorvaneView::GetSpeedLabel(int speedIndex) {
    static const char* const kLabels[8] = {"x0.75", "x1.00", "x1.25", "x1.50", "x1.75", "x2.00", "x2.50", "x3.00"};
    return (speedIndex >= 1 && speedIndex <= 8) ? kLabels[speedIndex - 1] : "";
}

void CKorvaneView::LoadSettings() {
    m_strProjectFolder.Empty();
    m_nPhrasePause = 2;
    m_nSectionPause = 0;
    m_nNoiseLevel = 1;
    m_nSilenceDb = -35;
    m_nPlaySpeed = 2;
    m_nMp3Quality = 1;
    m_nListFont = 1;

    CRegistryKey key;
    if (key.Open(kSettingsKey)) {
        CString folder;
        if (key.QueryString("Folder", folder)) {
            // Longer than the original's path buffer: keep what it could have held.
            m_strProjectFolder = folder.GetLength() > 259 ? folder.Left(259) : folder;
            SetCurrentFolder(m_strProjectFolder);
        }
        ReadNumber(key, "PhrasePause", m_nPhrasePause);
        ReadNumber(key, "SectionPause", m_nSectionPause);
        ReadNumber(key, "NoiseLevel", m_nNoiseLevel);
        ReadNumber(key, "PlaySpeed", m_nPlaySpeed);
        ReadNumber(key, "Mp3Quality", m_nMp3Quality);
        ReadNumber(key, "ListFont", m_nListFont);
        key.Close();
    }

    if (m_nPhrasePause < 0 || m_nPhrasePause > 10) m_nPhrasePause = 2;
    if (m_nSectionPause < 0 || m_nSectionPause > 7) m_nSectionPause = 0;
    switch (m_nNoiseLevel) {
    case 0: m_nSilenceDb = -25; break;
    case 2: m_nSilenceDb = -45; break;
    case 1: m_nSilenceDb = -35; break;
    default: m_nNoiseLevel = 1; m_nSilenceDb = -35; break;
    }
    if (m_nPlaySpeed < 1 || m_nPlaySpeed > 8) m_nPlaySpeed = 2;
    SetControlText(IDC_STATIC_SPEED, GetSpeedLabel(m_nPlaySpeed));
    if (m_nMp3Quality < 0 || m_nMp3Quality > 2) m_nMp3Quality = 1;
    if (m_nListFont < 0 || m_nListFont > 2) m_nListFont = 1;
}

void CKorvaneView::SaveSettings() {
    CRegistryKey key;
    if (!key.Create(kSettingsKey)) return;
    key.SetString("Folder", m_strProjectFolder.GetLength() > 259 ? m_strProjectFolder.Left(259) : m_strProjectFolder);
    key.SetDWORD("PhrasePause", static_cast<uint32_t>(m_nPhrasePause));
    key.SetDWORD("SectionPause", static_cast<uint32_t>(m_nSectionPause));
    key.SetDWORD("NoiseLevel", static_cast<uint32_t>(m_nNoiseLevel));
    key.SetDWORD("PlaySpeed", static_cast<uint32_t>(m_nPlaySpeed));
    key.SetDWORD("Mp3Quality", static_cast<uint32_t>(m_nMp3Quality));
    key.SetDWORD("ListFont", static_cast<uint32_t>(m_nListFont));
    key.Close();
}

void CKorvaneView::LoadColumnWidths() {
    static const int kSection[7] = {95, 70, 200, 80, 90, 120, 200};
    static const int kPhrase[8] = {80, 50, 50, 80, 80, 80, 150, 200};
    std::copy(std::begin(kSection), std::end(kSection), m_anSectionColumn);
    std::copy(std::begin(kPhrase), std::end(kPhrase), m_anPhraseColumn);
    CRegistryKey key;
    if (!key.Open(kSettingsKey)) return;
    for (int i = 0; i < 7; ++i) ReadNumber(key, CString::Formatted("SectionColumn%d", i + 1).c_str(), m_anSectionColumn[i]);
    for (int i = 0; i < 8; ++i) ReadNumber(key, CString::Formatted("PhraseColumn%d", i + 1).c_str(), m_anPhraseColumn[i]);
    key.Close();
}

void CKorvaneView::SaveColumnWidths() {
    for (int i = 0; i < 7 && m_listSection && i < m_listSection->GetColumnCount(); ++i)
        m_anSectionColumn[i] = m_listSection->GetColumnWidth(i);
    for (int i = 0; i < 8 && m_listPhrase && i < m_listPhrase->GetColumnCount(); ++i)
        m_anPhraseColumn[i] = m_listPhrase->GetColumnWidth(i);
    CRegistryKey key;
    if (!key.Create(kSettingsKey)) return;
    for (int i = 0; i < 7; ++i)
        key.SetDWORD(CString::Formatted("SectionColumn%d", i + 1), static_cast<uint32_t>(m_anSectionColumn[i]));
    for (int i = 0; i < 8; ++i)
        key.SetDWORD(CString::Formatted("PhraseColumn%d", i + 1), static_cast<uint32_t>(m_anPhraseColumn[i]));
    key.Close();
}

void CKorvaneView::LoadPrevVersionFolder() {
    m_strPrevFolder.Empty();
    CRegistryKey key;
    if (!key.Open(CString(kPrevProductKey) + g_strPrevVersionNo)) return;
    key.QueryString("Folder", m_strPrevFolder);
    key.Close();
}
