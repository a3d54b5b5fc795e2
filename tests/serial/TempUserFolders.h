#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// Points the per-user folders at a fresh temporary folder for one test, so
// tests never touch the real home and never see each other's aliases or locks.
class TempUserFolders {
public:
    TempUserFolders()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vennix-serial-XXXXXX").string();
        root = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
        std::filesystem::create_directories(root + "/config");
        std::filesystem::create_directories(root + "/runtime");
        ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
    }
    ~TempUserFolders()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    const std::string& Root() const { return root; }

private:
    std::string root;
};
