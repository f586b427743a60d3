#pragma once
// Helpers of the cutting and import tests: the shape of a book (its phrases by section),
// and a view without a window on a scratch project folder of 22050 Hz.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "../app/FakeListView.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "app/RecordList.h"
#include "app/SectionInformation.h"
#include "audio/WaveTestSupport.h"
#include "platform/DialogHost.h"

namespace importtest {

struct Phrase {
    uint32_t start, length, pause;  // bytes
    bool operator==(const Phrase&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Phrase& p) {
    return os << "{" << p.start << ", " << p.length << ", " << p.pause << "}";
}
using Sections = std::vector<std::vector<Phrase>>;

inline Sections Shape(const CRecordList<CSectionInformation>& book) {
    Sections out;
    for (const auto& section : book) {
        out.emplace_back();
        for (const auto& p : section->m_lstPhrase) out.back().push_back({p->m_nStart, p->m_nLength, p->m_nPause});
    }
    return out;
}

class ImportView : public ::testing::Test {
protected:
    void SetUp() override {
        m_previousReporter = CUiScript::SetFaultReporter([](const std::string& m) { ADD_FAILURE() << m; });
        std::filesystem::create_directory(folder.Path("prj"));
        view.AttachLists(&sectionList, &phraseList);
        view.m_strProjectFolder = folder.CPath("prj");
        view.SetProjectFormat(1);
        view.m_bProjectOpen = 1;
        view.m_nSilenceDb = -35;
        Restart(1);  // the command counts the file before it imports it
    }
    void TearDown() override { CUiScript::SetFaultReporter(m_previousReporter); }

    // An empty book of one section, shown in the lists; the next file is numbered `count`.
    void Restart(int count) {
        view.m_nPhrasePause = view.m_nSectionPause = 0;
        view.m_lstSection.RemoveAll();
        view.m_lstSection.Add(std::make_unique<CSectionInformation>());
        view.RefreshSectionList(0);
        view.m_nWaveImportCount = count;
    }
    int ImportOne(const CString& path, int phrasePause, int sectionPause) {
        view.m_nPhrasePause = phrasePause;
        view.m_nSectionPause = sectionPause;
        int index = 0;
        return view.ImportWaveFile(&index, path, CString(), "(1/1)");
    }
    std::string Written() const {
        return folder.Path(CString::Formatted("prj/A%06d.wav", view.m_nWaveImportCount).str());
    }

    wavetest::ScratchFolder folder;
    CFakeListView sectionList{IDC_LIST_SECTION};
    CFakeListView phraseList{IDC_LIST_PHRASE};
    CKorvaneView view;

private:
    CUiScript::FaultReporter m_previousReporter;
};

}  // namespace importtest
