#include "platform/versioninfo.h"

#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "platform/sysio.h"

namespace corvana::platform {
namespace {

class File {
public:
    explicit File(const std::string& path)
        : fd_(platform::open(path.c_str(), O_RDONLY | O_CLOEXEC)),
          size_(fd_ >= 0 ? ::lseek(fd_, 0, SEEK_END) : -1) {}
    ~File() {
        if (fd_ >= 0)
            platform::close(fd_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Reads exactly `len` bytes at `off`, refusing anything outside the file.
    bool readAt(uint64_t off, void* buf, uint64_t len) const {
        if (fd_ < 0 || size_ < 0 || off > static_cast<uint64_t>(size_) ||
            len > static_cast<uint64_t>(size_) - off)
            return false;
        auto* p = static_cast<char*>(buf);
        while (len > 0) {
            const ssize_t n = ::pread(fd_, p, len, static_cast<off_t>(off));
            if (n <= 0)
                return false;
            p += n;
            off += static_cast<uint64_t>(n);
            len -= static_cast<uint64_t>(n);
        }
        return true;
    }

private:
    int fd_;
    off_t size_;
};

struct Section {
    uint32_t name;
    uint64_t offset;
    uint64_t size;
    uint32_t type;
};

template <typename Ehdr, typename Shdr> std::optional<FixedFileInfo> scan(const File& f) {
    Ehdr eh;
    if (!f.readAt(0, &eh, sizeof eh) || eh.e_shentsize != sizeof(Shdr) || eh.e_shnum == 0 ||
        eh.e_shstrndx >= eh.e_shnum)
        return std::nullopt;
    std::vector<Section> sections;
    for (unsigned i = 0; i < eh.e_shnum; ++i) {
        Shdr sh;
        if (!f.readAt(eh.e_shoff + uint64_t{i} * sizeof(Shdr), &sh, sizeof sh))
            return std::nullopt;
        sections.push_back({sh.sh_name, sh.sh_offset, sh.sh_size, sh.sh_type});
    }
    const Section& names = sections[eh.e_shstrndx];
    const size_t want = std::strlen(kVersionSection) + 1;
    for (const Section& s : sections) {
        if (s.type == SHT_NOBITS || s.size < sizeof(VersionResource) || s.name >= names.size ||
            names.size - s.name < want)
            continue;
        char name[32];
        if (!f.readAt(names.offset + s.name, name, want) ||
            std::memcmp(name, kVersionSection, want))
            continue;
        FixedFileInfo ffi;
        if (!f.readAt(s.offset, &ffi, sizeof ffi) || ffi.dwSignature != kFixedFileInfoSignature)
            return std::nullopt;
        return ffi;
    }
    return std::nullopt;
}

} // namespace

std::optional<FixedFileInfo> readFixedFileInfo(const std::string& path) {
    File f(path);
    unsigned char ident[EI_NIDENT];
    if (!f.readAt(0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0 ||
        ident[EI_DATA] != ELFDATA2LSB)
        return std::nullopt;
    if (ident[EI_CLASS] == ELFCLASS64)
        return scan<Elf64_Ehdr, Elf64_Shdr>(f);
    if (ident[EI_CLASS] == ELFCLASS32)
        return scan<Elf32_Ehdr, Elf32_Shdr>(f);
    return std::nullopt;
}

std::string runningExecutablePath() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof path)
        return {};
    return std::string(path, static_cast<size_t>(n));
}

} // namespace corvana::platform
