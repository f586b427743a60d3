#pragma once
// A fresh folder for each test of files, removed afterwards, and environment variables
// changed for one scope.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/CString.h"

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvane-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(root); }
    // A path in the folder as the program names it (CP932; the folder's own path is
    // ASCII) and as the system does (UTF-8).
    CString P(const char* rel) const { return CString(root) + "/" + rel; }
    std::string Sys(const char8_t* rel) const { return root + "/" + reinterpret_cast<const char*>(rel); }
    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string root;
};

// Puts an environment variable back as it was at construction.
class ScopedEnv {
public:
    explicit ScopedEnv(const char* name) : m_name(name) {
        if (const char* old = ::getenv(name)) m_old = old;
    }
    // Sets it at once (a null value unsets it).
    ScopedEnv(const char* name, const char* value) : ScopedEnv(name) { Set(name, value); }
    ~ScopedEnv() { Set(m_name, m_old ? m_old->c_str() : nullptr); }
    static void Set(const char* name, const char* value) {
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};
