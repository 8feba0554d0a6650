// The system-call seam on Windows: files through CreateFileA, handed to the C run-time
// library as descriptors in binary mode, so callers read and write them as on POSIX.
#include "platform/sysio.h"

#include <windows.h>

#include <cerrno>
#include <climits>
#include <io.h>

namespace corvana::platform {
namespace {

int errnoFor(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EIO;
    }
}

bool isDirectory(const char* path) {
    const DWORD a = ::GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

int open(const char* path, int flags, mode_t) {
    if (injected("open"))
        return -1;
    const int accessMode = flags & (O_RDONLY | O_WRONLY | O_RDWR);
    DWORD access = GENERIC_READ;
    if (accessMode == O_WRONLY)
        access = GENERIC_WRITE;
    else if (accessMode == O_RDWR)
        access = GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    if ((flags & O_CREAT) && (flags & O_EXCL))
        disposition = CREATE_NEW;
    else if ((flags & O_CREAT) && (flags & O_TRUNC))
        disposition = CREATE_ALWAYS;
    else if (flags & O_CREAT)
        disposition = OPEN_ALWAYS;
    else if (flags & O_TRUNC)
        disposition = TRUNCATE_EXISTING;
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if (flags & O_NOFOLLOW)
        attributes |= FILE_FLAG_OPEN_REPARSE_POINT;
    if (flags & O_DIRECTORY)
        attributes |= FILE_FLAG_BACKUP_SEMANTICS;
    // Handles of CreateFileA are never inherited (O_CLOEXEC holds anyway); sharing as POSIX
    // files have it, so a reader does not lock out a deleter.
    const HANDLE h =
        ::CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      disposition, attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        errno = error == ERROR_ACCESS_DENIED && isDirectory(path) ? EISDIR : errnoFor(error);
        return -1;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    int err = 0;
    if (!::GetFileInformationByHandle(h, &info))
        err = errnoFor(::GetLastError());
    else if ((flags & O_NOFOLLOW) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        err = ELOOP;
    else if ((flags & O_DIRECTORY) && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        err = ENOTDIR;
    if (err) {
        ::CloseHandle(h);
        errno = err;
        return -1;
    }
    int crtFlags = _O_BINARY | (flags & O_APPEND);
    if (accessMode == O_RDONLY)
        crtFlags |= _O_RDONLY;
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), crtFlags);
    if (fd < 0) {
        ::CloseHandle(h);
        errno = EMFILE;
    }
    return fd;
}

int close(int fd) {
    if (injected("close")) {
        ::_close(fd);
        return -1;
    }
    return ::_close(fd);
}

ssize_t read(int fd, void* buf, size_t len) {
    if (injected("read"))
        return -1;
    return ::_read(fd, buf, static_cast<unsigned>(len > INT_MAX ? INT_MAX : len));
}

ssize_t write(int fd, const void* buf, size_t len) {
    if (injected("write"))
        return -1;
    return ::_write(fd, buf, static_cast<unsigned>(len > INT_MAX ? INT_MAX : len));
}

bool makeDirs(const std::string& dir, mode_t mode) {
    if (dir.empty())
        return false;
    const DWORD a = ::GetFileAttributesA(dir.c_str());
    if (a != INVALID_FILE_ATTRIBUTES)
        return (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const auto sep = dir.find_last_of("\\/");
    // "C:" and "\\server\share" are where the climb stops.
    if (sep != std::string::npos && sep > 0 && dir[sep - 1] != ':' && dir[sep - 1] != '\\' &&
        !makeDirs(dir.substr(0, sep), mode))
        return false;
    if (injected("mkdir"))
        return false;
    if (::CreateDirectoryA(dir.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    errno = errnoFor(::GetLastError());
    return false;
}

int lstat(const char* path, struct stat* st) {
    if (injected("lstat"))
        return -1;
    if (::stat(path, st) == 0)
        return 0;
    // A link whose target is gone still takes the name.
    if (::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        *st = {};
        st->st_mode = _S_IFREG;
        return 0;
    }
    errno = ENOENT;
    return -1;
}

} // namespace corvana::platform
