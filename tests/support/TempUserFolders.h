#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

// Points the per-user folders at a fresh temporary folder for one test, so
// tests never touch the real home and never see each other's aliases or locks.
class TempUserFolders {
public:
    TempUserFolders()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vennix-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            root = pattern;
        std::filesystem::create_directories(root / "config");
        std::filesystem::create_directories(root / "run");
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        // The download log lands here (made when first written).
        ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    }
    ~TempUserFolders()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    TempUserFolders(const TempUserFolders&) = delete;
    TempUserFolders& operator=(const TempUserFolders&) = delete;

    const std::filesystem::path& Root() const { return root; }

private:
    std::filesystem::path root;
};
