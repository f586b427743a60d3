#include "DiscImage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

std::string RealPath(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ParentOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Runs xorriso without a shell (the paths are the user's) and keeps what it says.
int RunXorriso(const std::vector<std::string>& args, std::string& output) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return -1;
    }
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::dup2(pipeFds[1], 2);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) output.append(buffer, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string VolumeLabel(const std::string& name) {
    std::string label;
    for (char c : name) {
        if (label.size() == 32) break;
        if (c >= 'a' && c <= 'z') label += static_cast<char>(c - 'a' + 'A');
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) label += c;
        else if (static_cast<unsigned char>(c) < 0x80) label += '_';
    }
    return label.find_first_not_of('_') == std::string::npos ? std::string("DAISY") : label;
}

int MakeDiscImage(const std::string& folder, const std::string& name, const std::string& image, std::string& message) {
    if (image.empty()) {
        message = "イメージファイルを指定して下さい。";
        return 1;
    }
    const std::string source = RealPath(folder);
    struct stat st;
    if (source.empty() || ::stat(source.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        message = folder + " が見つかりません。";
        return 1;
    }
    const std::string target = RealPath(ParentOf(image));
    if (target.empty()) {
        message = ParentOf(image) + " が見つかりません。";
        return 1;
    }
    // An image inside the book would end up on the disc itself.
    if (target == source || target.rfind(source + "/", 0) == 0) {
        message = "イメージファイルはDaisy図書のフォルダの外に作成して下さい。";
        return 1;
    }
    // The disc holds what the disc information counts: the plain files of the folder, no
    // link and nothing below it (the backup of the recordings is no part of the book).
    std::vector<std::string> args = {"xorriso", "-as", "mkisofs", "-r", "-J", "-joliet-long", "-V", VolumeLabel(name),
                                     "-o", image};
    const size_t first = args.size();
    std::error_code ec;
    for (std::filesystem::directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code statError;
        if (it->is_regular_file(statError) && !it->is_symlink(statError)) args.push_back(it->path().string());
    }
    if (ec) {
        message = folder + " の内容が読み取れません。";
        return 1;
    }
    // A file given by its path goes to the top of the disc under its own name.
    std::sort(args.begin() + static_cast<std::ptrdiff_t>(first), args.end());
    std::string output;
    const int status = RunXorriso(args, output);
    if (status == 127 || status < 0) {
        message = "xorriso が実行できません。";
        return 1;
    }
    if (status != 0) {
        // What xorriso said last is why it failed.
        while (!output.empty() && output.back() == '\n') output.pop_back();
        const size_t last = output.find_last_of('\n');
        message = NameOf(image) + " の作成に失敗しました。\n" + (last == std::string::npos ? output : output.substr(last + 1));
        return 1;
    }
    // The whole path stands in the field above the message.
    message = NameOf(image) + " を作成しました。";
    return 0;
}
