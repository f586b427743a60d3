#include "app/ButtonIcons.h"

#include <algorithm>
#include <memory>

#include <wx/dcmemory.h>
#include <wx/graphics.h>
#include <wx/image.h>

#include "app/ControlIds.h"

namespace {

const wxColour kInk(20, 20, 20);
const wxColour kBlue(30, 80, 190);
const wxColour kGreen(20, 140, 60);
const wxColour kRed(200, 40, 40);
const wxColour kOrange(220, 130, 20);

void Triangle(wxGraphicsContext& gc, double x1, double y1, double x2, double y2, double x3, double y3) {
    wxGraphicsPath p = gc.CreatePath();
    p.MoveToPoint(x1, y1);
    p.AddLineToPoint(x2, y2);
    p.AddLineToPoint(x3, y3);
    p.CloseSubpath();
    gc.FillPath(p);
}

void Draw(wxGraphicsContext& gc, int id, double s) {
    const double u = s / 32.0;
    gc.SetPen(wxNullPen);
    switch (id) {
    case IDC_BUTTON_LEVELUP:  // an arrow up over a heading bar
        gc.SetBrush(wxBrush(kBlue));
        Triangle(gc, 16 * u, 4 * u, 6 * u, 16 * u, 26 * u, 16 * u);
        gc.DrawRectangle(12 * u, 16 * u, 8 * u, 8 * u);
        gc.SetBrush(wxBrush(kInk));
        gc.DrawRectangle(4 * u, 26 * u, 24 * u, 3 * u);
        break;
    case IDC_BUTTON_LEVELDOWN:
        gc.SetBrush(wxBrush(kInk));
        gc.DrawRectangle(4 * u, 3 * u, 24 * u, 3 * u);
        gc.SetBrush(wxBrush(kBlue));
        gc.DrawRectangle(12 * u, 8 * u, 8 * u, 8 * u);
        Triangle(gc, 16 * u, 28 * u, 6 * u, 16 * u, 26 * u, 16 * u);
        break;
    case IDC_BUTTON_GROUP: {  // a brace holding three lines
        gc.SetPen(wxPen(kGreen, std::max(1, static_cast<int>(2 * u))));
        wxGraphicsPath p = gc.CreatePath();
        p.MoveToPoint(10 * u, 5 * u);
        p.AddLineToPoint(6 * u, 5 * u);
        p.AddLineToPoint(6 * u, 27 * u);
        p.AddLineToPoint(10 * u, 27 * u);
        gc.StrokePath(p);
        gc.SetPen(wxNullPen);
        gc.SetBrush(wxBrush(kInk));
        for (int i = 0; i < 3; ++i) gc.DrawRectangle(12 * u, (8 + 7 * i) * u, 15 * u, 3 * u);
        break;
    }
    case IDC_BUTTON_PAGE: {  // a sheet with a folded corner
        gc.SetPen(wxPen(kInk, 1));
        gc.SetBrush(*wxWHITE_BRUSH);
        wxGraphicsPath p = gc.CreatePath();
        p.MoveToPoint(7 * u, 3 * u);
        p.AddLineToPoint(19 * u, 3 * u);
        p.AddLineToPoint(25 * u, 9 * u);
        p.AddLineToPoint(25 * u, 29 * u);
        p.AddLineToPoint(7 * u, 29 * u);
        p.CloseSubpath();
        gc.DrawPath(p);
        gc.SetPen(wxNullPen);
        gc.SetBrush(wxBrush(kInk));
        for (int i = 0; i < 3; ++i) gc.DrawRectangle(10 * u, (13 + 5 * i) * u, 12 * u, 2 * u);
        break;
    }
    case IDC_BUTTON_MARK: {  // a flag
        gc.SetBrush(wxBrush(kInk));
        gc.DrawRectangle(8 * u, 4 * u, 2.5 * u, 25 * u);
        gc.SetBrush(wxBrush(kRed));
        Triangle(gc, 10.5 * u, 4 * u, 26 * u, 10 * u, 10.5 * u, 16 * u);
        break;
    }
    case IDC_BUTTON_BACK:
        gc.SetBrush(wxBrush(kInk));
        Triangle(gc, 4 * u, 16 * u, 16 * u, 6 * u, 16 * u, 26 * u);
        Triangle(gc, 15 * u, 16 * u, 27 * u, 6 * u, 27 * u, 26 * u);
        break;
    case IDC_BUTTON_NEXT:
        gc.SetBrush(wxBrush(kInk));
        Triangle(gc, 5 * u, 6 * u, 17 * u, 16 * u, 5 * u, 26 * u);
        Triangle(gc, 16 * u, 6 * u, 28 * u, 16 * u, 16 * u, 26 * u);
        break;
    case IDC_BUTTON_PLAY:
        gc.SetBrush(wxBrush(kGreen));
        Triangle(gc, 8 * u, 5 * u, 27 * u, 16 * u, 8 * u, 27 * u);
        break;
    case IDC_BUTTON_STOP:
        gc.SetBrush(wxBrush(kRed));
        gc.DrawRectangle(7 * u, 7 * u, 18 * u, 18 * u);
        break;
    case IDC_BUTTON_HEAD:
        gc.SetBrush(wxBrush(kOrange));
        gc.DrawRectangle(5 * u, 6 * u, 3 * u, 20 * u);
        Triangle(gc, 8 * u, 16 * u, 18 * u, 6 * u, 18 * u, 26 * u);
        Triangle(gc, 17 * u, 16 * u, 27 * u, 6 * u, 27 * u, 26 * u);
        break;
    case IDC_BUTTON_TAIL:
        gc.SetBrush(wxBrush(kOrange));
        Triangle(gc, 5 * u, 6 * u, 15 * u, 16 * u, 5 * u, 26 * u);
        Triangle(gc, 14 * u, 6 * u, 24 * u, 16 * u, 14 * u, 26 * u);
        gc.DrawRectangle(24 * u, 6 * u, 3 * u, 20 * u);
        break;
    default:
        break;
    }
}

}  // namespace

wxBitmap DrawButtonIcon(int buttonId, int size) {
    wxImage image(size, size);
    image.InitAlpha();
    unsigned char* alpha = image.GetAlpha();
    std::fill(alpha, alpha + size * size, 0);
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(image));
    if (gc) {
        gc->SetAntialiasMode(wxANTIALIAS_DEFAULT);
        Draw(*gc, buttonId, size);
    }
    gc.reset();  // the drawing lands in the image when the context goes
    return wxBitmap(image);
}
