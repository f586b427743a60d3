#include "platform/FolderSize.h"

#include <filesystem>
#include <system_error>

#include "platform/FileSystem.h"

bool GetFolderFilesSize(const CString& folder, uint64_t& bytes) {
    bytes = 0;
    std::string sys;
    if (!ToSystemPath(folder, sys)) return false;
    std::error_code ec;
    std::filesystem::directory_iterator it(sys, ec), end;
    if (ec) return false;
    for (; it != end; it.increment(ec)) {
        if (ec) return false;
        std::error_code statError;
        // Links are counted as what they are, not as what they point to.
        if (!it->is_regular_file(statError) || it->is_symlink(statError)) continue;
        const uintmax_t size = it->file_size(statError);
        if (!statError) bytes += size;
    }
    return !ec;
}
