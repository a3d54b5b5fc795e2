#pragma once

#include <string>

// A per-user serial port alias: a symbolic link named COM<n> in the alias
// folder, pointing at a tty device, under which Vennix lists the device.
class ComAlias {
public:
    ComAlias() = default;
    ~ComAlias();
    ComAlias(const ComAlias&) = delete;
    ComAlias& operator=(const ComAlias&) = delete;

    // number 0 takes the first free number from firstAuto on.
    bool Publish(const std::string& folder, const std::string& target, int number, int firstAuto, std::string* error);
    // Removes the link, but only while it still points at our target.
    void Remove();

    int Number() const { return number; }
    std::string Name() const;
    const std::string& Path() const { return path; }

private:
    int number = 0;
    std::string path;
    std::string target;
};
