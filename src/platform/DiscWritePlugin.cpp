#include "platform/DiscWritePlugin.h"

#include <dlfcn.h>

#include <map>
#include <string>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace {

using ShowFunction = int (*)(const char*, const char*);

// A library stays loaded once it was: its dialog classes may still be registered with
// the toolkit. A failed load is tried again at the next use (the user may install it).
ShowFunction FindShow(const std::string& path) {
    static std::map<std::string, void*> loaded;
    void*& handle = loaded[path];
    if (!handle) handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return nullptr;
    return reinterpret_cast<ShowFunction>(::dlsym(handle, kDiscWriteShowFunction));
}

}  // namespace

int ShowDiscWriteDialog(const CString& pluginFolder, const CString& folder, const CString& name) {
    std::string systemFolder;
    if (!ToSystemPath(pluginFolder, systemFolder)) return -1;
    // Only an absolute path: dlopen would search the library path for a bare name.
    if (systemFolder.empty() || systemFolder[0] != '/') return -1;
    if (systemFolder.back() != '/') systemFolder += '/';
    ShowFunction show = FindShow(systemFolder + kDiscWritePluginFile);
    if (!show) return -1;
    return show(Cp932ToUtf8(folder).c_str(), Cp932ToUtf8(name).c_str());
}
