#include "app/AboutDlg.h"

#include <memory>

#include <wx/button.h>
#include <wx/brush.h>
#include <wx/graphics.h>
#include <wx/pen.h>
#include <wx/image.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "platform/CodePage.h"
#include "platform/FontMap.h"

namespace {

// A book with a sound wave: the program's picture, drawn here.
wxBitmap DrawPicture(int width, int height) {
    wxImage image(width, height);
    image.InitAlpha();
    std::fill(image.GetAlpha(), image.GetAlpha() + width * height, 0);
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(image));
    if (gc) {
        const double u = height / 32.0;
        gc->SetPen(wxPen(wxColour(30, 60, 140), std::max(1, static_cast<int>(u))));
        gc->SetBrush(wxBrush(wxColour(220, 230, 250)));
        gc->DrawRectangle(2 * u, 4 * u, 13 * u, 24 * u);
        gc->DrawRectangle(15 * u, 4 * u, 13 * u, 24 * u);
        gc->SetPen(wxPen(wxColour(200, 60, 40), std::max(1, static_cast<int>(u))));
        wxGraphicsPath wave = gc->CreatePath();
        wave.MoveToPoint(30 * u, 16 * u);
        const double amp[] = {3, 8, 5, 10, 4, 7, 2};
        for (int i = 0; i < 7; ++i) {
            double x = (32 + i * 3) * u;
            wave.AddLineToPoint(x, (16 - amp[i]) * u);
            wave.AddLineToPoint(x + 1.5 * u, (16 + amp[i]) * u);
        }
        if (width > 55 * u) gc->StrokePath(wave);
    }
    gc.reset();
    return wxBitmap(image);
}

}  // namespace

CAboutDlg::CAboutDlg(wxWindow* parent) : wxDialog(parent, 100, ToWx("バージョン情報")) {
    wxFont big = KvCreateFont(20, FW_NORMAL, "ＭＳＰ ゴシック");
    wxFont small = KvCreateFont(15, FW_NORMAL, "ＭＳＰ ゴシック");
    m_icon = new wxStaticBitmap(this, 1108, DrawPicture(32, 32));
    m_title = new wxStaticText(this, 1107, wxEmptyString);
    m_line2 = new wxStaticText(this, 1105, ToWx("DAISY 2.02 録音図書編集ソフト"));
    m_picture = new wxStaticBitmap(this, 1109, DrawPicture(152, 85));
    m_notice = new wxStaticText(this, 1106, ToWx("MPEG-1/2 Audio Layer III の符号化と復号は本ソフト独自の実装です。"));
    m_ok = new wxButton(this, wxID_OK, wxASCII_STR("OK"));
    m_title->SetFont(big);
    m_line2->SetFont(big);
    for (wxWindow* w : {static_cast<wxWindow*>(m_icon), static_cast<wxWindow*>(m_picture),
                        static_cast<wxWindow*>(m_notice), static_cast<wxWindow*>(m_ok)})
        w->SetFont(small);
    SetClientSize(530, 177);
    LayoutControls();
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) { e.Skip(); LayoutControls(); });
}

bool CAboutDlg::TransferDataToWindow() {
    m_title->SetLabel(ToWx(m_strTitle));
    return wxDialog::TransferDataToWindow();
}

void CAboutDlg::LayoutControls() {
    m_icon->SetSize(12, 11, 32, 32);
    m_title->SetSize(60, 11, 372, 23);
    m_line2->SetSize(60, 41, 372, 23);
    m_picture->SetSize(12, 79, 152, 85);
    m_notice->SetSize(172, 79, 340, 38);
    m_notice->Wrap(340);
    m_ok->SetSize(408, 139, 100, 26);
}
