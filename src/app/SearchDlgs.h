#pragma once
// The three search dialogs: the next section by heading text ("見出し検索") or by level
// ("セクション検索"), and the next phrase by page text ("ページ番号検索"). They stay open
// and select what they find in the view's lists, so that 検索 (or Enter) finds the next.

#include <wx/dialog.h>

#include "app/RecordList.h"
#include "app/SectionInformation.h"
#include "platform/CString.h"

class CKorvaneView;
class wxButton;
class wxChoice;
class wxStaticText;
class wxTextCtrl;

// The searches themselves. Each starts after the selection and wraps around the book
// once; the start comes last. -1 when nothing matches.
// The section whose heading contains `text` (whole characters), from `selected` + 1.
int FindSectionByHeading(const CRecordList<CSectionInformation>& book, int selected, const CString& text);
// The section of heading level `level` (0..5), from `selected` + 1.
int FindSectionByLevel(const CRecordList<CSectionInformation>& book, int selected, int level);
// The phrase with a page whose text contains `text`: from phrase `phrase` + 1 of section
// `section`, on through the following sections, and the start section once more from
// its first phrase. True with the place found.
bool FindPhraseByPage(const CRecordList<CSectionInformation>& book, int section, int phrase, const CString& text,
                      int& foundSection, int& foundPhrase);

// What the three dialogs share: a label, one input control, 検索 and キャンセル.
class CSearchDlgBase : public wxDialog {
public:
    enum { IDC_SEARCH = 1086, IDC_LABEL = 1038 };

protected:
    struct Layout {
        int label[4];
        int input[4];
        int search[2];
        int cancel[2];
        int width, height;
    };
    CSearchDlgBase(CKorvaneView* view, int id, const char* title, const char* label, const Layout& layout);
    // Adds the input control (after the label, before the buttons, for Tab's order).
    void Finish(wxWindow* input);
    virtual void OnSearch() = 0;

    CKorvaneView* m_pView;

private:
    void LayoutControls();

    const Layout m_layout;
    wxStaticText* m_stcLabel = nullptr;
    wxWindow* m_input = nullptr;
    wxButton* m_btnSearch = nullptr;
    wxButton* m_btnCancel = nullptr;
};

class CTitleSearchDlg : public CSearchDlgBase {
public:
    enum { IDD = 148, IDC_TEXT = 1084 };
    explicit CTitleSearchDlg(CKorvaneView* view);
    CString m_strText;

private:
    void OnSearch() override;
    wxTextCtrl* m_edit = nullptr;
};

class CPageSearchDlg : public CSearchDlgBase {
public:
    enum { IDD = 149, IDC_TEXT = 1082 };
    explicit CPageSearchDlg(CKorvaneView* view);
    CString m_strText;

private:
    void OnSearch() override;
    wxTextCtrl* m_edit = nullptr;
};

class CSectionSearchDlg : public CSearchDlgBase {
public:
    enum { IDD = 150, IDC_LEVEL = 1051 };
    explicit CSectionSearchDlg(CKorvaneView* view);
    int m_nLevel = -1;

private:
    void OnSearch() override;
    wxChoice* m_combo = nullptr;
};
