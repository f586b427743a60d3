// The disc-writing plug-in's dialog: the book folder goes into an ISO 9660 image file
// that the user chooses, ready for any disc-burning program.

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <gtk/gtk.h>

#include "DiscImage.h"

namespace {

wxString U(const char* text) { return wxString::FromUTF8(text); }

enum {
    kIdFolderLabel = 100,
    kIdFolder,
    kIdImageLabel,
    kIdImage,
    kIdBrowse,
    kIdStatus,
    kIdWrite,
};

class CDiscWriteDlg : public wxDialog {
public:
    CDiscWriteDlg(wxWindow* parent, const std::string& folder, const std::string& name)
        : wxDialog(parent, wxID_ANY, U("CD書込み")), m_folder(folder), m_name(name) {
        new wxStaticText(this, kIdFolderLabel, U("Daisy図書のフォルダ"), wxPoint(10, 10), wxSize(300, 19));
        new wxTextCtrl(this, kIdFolder, wxString::FromUTF8(folder), wxPoint(10, 30), wxSize(460, 23), wxTE_READONLY);
        new wxStaticText(this, kIdImageLabel, U("ISOイメージファイル"), wxPoint(10, 62), wxSize(300, 19));
        m_image = new wxTextCtrl(this, kIdImage, wxString(), wxPoint(10, 82), wxSize(390, 23));
        new wxButton(this, kIdBrowse, U("参照..."), wxPoint(404, 82), wxSize(66, 23));
        m_status = new wxStaticText(this, kIdStatus, wxString(), wxPoint(10, 114), wxSize(460, 38));
        auto* write = new wxButton(this, kIdWrite, U("作成"), wxPoint(266, 158), wxSize(100, 26));
        new wxButton(this, wxID_CANCEL, U("閉じる"), wxPoint(370, 158), wxSize(100, 26));
        write->SetDefault();
        SetClientSize(480, 194);
        // A screen reader reads a dialog's text as it opens, and the toolkit would report
        // this window as a frame.
        if (GtkWidget* widget = GetHandle()) atk_object_set_role(gtk_widget_get_accessible(widget), ATK_ROLE_DIALOG);
        Bind(wxEVT_BUTTON, &CDiscWriteDlg::OnBrowse, this, kIdBrowse);
        Bind(wxEVT_BUTTON, &CDiscWriteDlg::OnWrite, this, kIdWrite);
    }

private:
    void OnBrowse(wxCommandEvent&) {
        wxFileDialog chooser(this, U("ISOイメージファイル"), wxString(), wxString::FromUTF8(m_name) + ".iso",
                             U("ISOイメージ (*.iso)|*.iso"), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
        if (chooser.ShowModal() == wxID_OK) {
            m_image->ChangeValue(chooser.GetPath());
            m_overwriteAsked = chooser.GetPath();
        }
    }

    void OnWrite(wxCommandEvent&) {
        const std::string image = std::string(m_image->GetValue().utf8_str());
        struct stat st;
        if (!image.empty() && ::stat(image.c_str(), &st) == 0) {
            if (!S_ISREG(st.st_mode)) {
                Report(image + " はファイルではありません。", true);
                return;
            }
            if (m_image->GetValue() != m_overwriteAsked &&
                wxMessageBox(wxString::FromUTF8(image + " は既に存在します。上書きしますか？"), U("CD書込み"),
                             wxYES_NO | wxICON_QUESTION, this) != wxYES)
                return;
            // The old image goes only when the user said so; xorriso would not replace it.
            if (::unlink(image.c_str()) != 0) {
                Report(image + " を削除できません。", true);
                return;
            }
        }
        wxBusyCursor busy;
        std::string message;
        const int result = MakeDiscImage(m_folder, m_name, image, message);
        Report(message, result != 0);
    }

    void Report(const std::string& text, bool failed) {
        m_status->SetForegroundColour(failed ? *wxRED : wxColour(0, 96, 0));
        m_status->SetLabel(wxString::FromUTF8(text));
        m_status->Wrap(460);
    }

    std::string m_folder;
    std::string m_name;
    wxTextCtrl* m_image = nullptr;
    wxStaticText* m_status = nullptr;
    wxString m_overwriteAsked;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int KorvaneDiscWriteShow(const char* folder, const char* name) {
    // The dialog needs the program's toolkit; without it there is nothing to show.
    if (!wxTheApp || !folder || !name) return 0;
    CDiscWriteDlg dlg(wxTheApp->GetTopWindow(), folder, name);
    dlg.ShowModal();
    return 1;
}

// The dialog's work without the dialog, for checking the image a book gives.
extern "C" __attribute__((visibility("default"))) int KorvaneDiscWriteMakeImage(const char* folder, const char* name,
                                                                                 const char* image, char* message,
                                                                                 int messageSize) {
    std::string text;
    const int result = MakeDiscImage(folder ? folder : "", name ? name : "", image ? image : "", text);
    if (message && messageSize > 0) {
        const size_t n = std::min(text.size(), static_cast<size_t>(messageSize - 1));
        text.copy(message, n);
        message[n] = '\0';
    }
    return result;
}
