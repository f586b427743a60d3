#include "platform/FontMap.h"

#include <cstdlib>

#include "platform/CodePage.h"

namespace {

struct FaceRow {
    const char* original;
    const char* installed;
};

constexpr FaceRow kFaces[] = {
    {"ＭＳＰ ゴシック", "IPAPGothic"},
    {"ＭＳ ゴシック", "IPAGothic"},
};

}  // namespace

CString MapFontFace(const CString& face) {
    for (const FaceRow& row : kFaces)
        if (face == row.original) return row.installed;
    return face;
}

double PointSizeForPixels(int pixels) { return pixels * 72.0 / 96.0; }

wxFont KvCreateFont(int height, int weight, const CString& face) {
    wxFontInfo info = height == 0 ? wxFontInfo() : wxFontInfo(PointSizeForPixels(std::abs(height)));
    info.Weight(weight == FW_DONTCARE ? FW_NORMAL : weight);
    const CString installed = MapFontFace(face);
    if (!installed.IsEmpty()) info.FaceName(ToWx(installed));
    return wxFont(info);
}
