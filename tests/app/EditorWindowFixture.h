#pragma once
// A whole editor window with its own settings folder, so that runs do not meet: commands
// go in through the menu, keys through the window's key hook (then the view's key
// filter, the accelerators and the focused control).

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include <wx/choice.h>
#include <wx/dialog.h>

#include "WxTestApp.h"
#include "app/CommandIds.h"
#include "app/KorvaneView.h"
#include "app/MainFrame.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"

namespace fs = std::filesystem;

class EditorWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureWxApp());
        root = fs::temp_directory_path() / ("korvane-gui-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "config");
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        Open();
    }
    void TearDown() override {
        Close();
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    void Open() {
        frame = new CMainFrame();
        view = frame->GetView();
        view->OnInitialUpdate();
        frame->Show(true);
        WaitUntilPainted(*view);
    }
    void Close() {
        if (!frame) return;
        frame->Close(true);
        WaitUntilGone(frame);
        frame = nullptr;
        view = nullptr;
    }
    // An open project of three sections "章1".."章3" of `phrases` phrases each, cut from one
    // recording (without a folder, so that nothing plays and nothing is saved).
    void OpenThreeSections(int phrases, uint32_t pause = 0) {
        view->m_lstSection.RemoveAll();
        for (int s = 0; s < 3; ++s) {
            auto* section = view->m_lstSection.Add(std::make_unique<CSectionInformation>());
            section->m_strHeading = CString::Formatted("章%d", s + 1);
            for (int p = 0; p < phrases; ++p) {
                auto* phrase = section->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
                phrase->m_nStart = static_cast<uint32_t>((s * phrases + p) * 32000);
                phrase->m_nLength = 32000;
                phrase->m_nPause = pause;
                phrase->m_strFileName = "A000001.wav";
                phrase->m_nBytesPerSec = 32000;
                section->m_nSectionTime += 32000;
            }
        }
        view->m_bProjectOpen = 1;
        view->EnableButtons();
        view->RefreshSectionList(0);
        RunQueuedEvents();
    }
    // Runs "新規作成" through the menu with the dialog and the chooser answered.
    void NewProject(int format, const fs::path& folder) {
        CUiScript script;
        script.AnswerDialog([format](wxDialog& dlg) {
            if (auto* list = wxDynamicCast(dlg.FindWindow(1042), wxChoice)) list->SetSelection(format);
            CUiScript::ClickButton(dlg, wxID_OK);
            return IDOK;
        });
        script.AnswerFile({CString(folder.string())});
        frame->RunMenuCommand(ID_PROJECT_NEW);
        RunQueuedEvents();
    }
    // Gives `list` the keyboard focus, as a click into it would.
    void Focus(IListView* list) {
        list->SetFocus();
        PumpEvents(1);  // what the toolkit already has to say about the focus, before it is set by hand
        view->m_hFocusList = list;  // a display without a window manager may not report the focus
    }
    // A key as the window's key hook receives it.
    void Press(int keyCode, bool ctrl = false, bool shift = false) {
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = keyCode;
        event.SetControlDown(ctrl);
        event.SetShiftDown(shift);
        event.SetEventObject(frame);
        frame->ProcessWindowEvent(event);
        RunQueuedEvents();  // what the key left for later
    }

    fs::path root;
    CMainFrame* frame = nullptr;
    CKorvaneView* view = nullptr;
};
