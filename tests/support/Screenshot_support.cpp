#include "Screenshot.h"

#include <cstdlib>
#include <filesystem>

#include <wx/toplevel.h>
#include <wx/window.h>

#include "WxTestApp.h"

bool SaveScreenshot(wxWindow& window, const std::string& name) {
    const std::filesystem::path dir = std::filesystem::path(KORVANE_BUILD_DIR) / "screenshots";
    const std::filesystem::path png = dir / (name + ".png");
    std::filesystem::create_directories(dir);
    std::filesystem::remove(png);
    wxWindow* top = wxGetTopLevelParent(&window);
    if (!top) top = &window;
    top->Raise();
    WaitUntilPainted(*top);
    // The whole frame, caption included where a window manager draws one.
    const wxRect r = top->GetScreenRect().Inflate(2, 30).Intersect(wxRect(0, 0, 4096, 4096));
    const std::string crop = std::to_string(r.width) + "x" + std::to_string(r.height) + "+" + std::to_string(r.x) +
                             "+" + std::to_string(std::max(0, r.y));
    const std::string command = "import -window root -crop " + crop + " '" + png.string() + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) return false;
    return std::filesystem::exists(png) && std::filesystem::file_size(png) > 200;
}
