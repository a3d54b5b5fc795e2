#include "LogFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Reason(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

bool WriteAll(int fd, const char* data, size_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool LogFile::AppendLine(const std::string& path, const std::string& line, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = Reason("cannot open", path);
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        error = Reason("cannot read the size of", path);
        ::close(fd);
        return false;
    }
    const off_t before = status.st_size;
    char last = '\n';
    if (before > 0 && ::pread(fd, &last, 1, before - 1) != 1)
        last = '\n';
    std::string text;
    text.reserve(line.size() + 1);
    if (last != '\n')
        text.push_back('\n');
    text.append(line);

    bool written = WriteAll(fd, text.data(), text.size());
    if (written && ::fsync(fd) != 0)
        written = false;
    if (!written) {
        error = Reason("cannot write", path);
        // No half line stays behind for the next writer to continue.
        if (::ftruncate(fd, before) == 0)
            ::fsync(fd);
        ::close(fd);
        return false;
    }
    if (::close(fd) != 0) {
        error = Reason("cannot write", path);
        return false;
    }
    return true;
}

bool LogFile::ReadAll(const std::string& path, std::string& content, std::string& error)
{
    content.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        error = Reason("cannot open", path);
        return false;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = Reason("cannot read", path);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        content.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

int64_t LogFile::Size(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return -1;
    return static_cast<int64_t>(status.st_size);
}

bool LogFile::Rename(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool LogFile::Remove(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}
