#pragma once

#include <string>

// Per-user folders shared by the program, its settings store and the terminal
// simulator. Each honours the XDG variables, so tests can point them at a
// temporary folder.
class UserFolders {
public:
    // The folder that holds the settings store: $XDG_CONFIG_HOME (or ~/.config)
    // followed by "Tavrix Corporation".
    static std::string SettingsFolder();
    // The program's per-user data (the download log): $XDG_DATA_HOME (or
    // ~/.local/share) followed by "Vennix"; %LOCALAPPDATA%\Vennix on Windows.
    static std::string DataFolder();
    // Per-user serial port aliases: symbolic links named COM<n>.
    static std::string ComAliasFolder();
    // Where run-time lock files live: $XDG_RUNTIME_DIR, else the settings
    // folder. Never a folder shared between users, where another user's file
    // of the same name would lock us out.
    static std::string RuntimeFolder();
    // Creates `path` and any missing parents, each new one private to the user.
    // True when it exists as a folder afterwards.
    static bool MakeFolder(const std::string& path);
};
