#include "platform/registry_store.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sstream>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/sysio.h"

namespace corvana::platform {
namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr const char* kRootPrefix = "HKEY_CURRENT_USER";

std::string quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

bool printable(const std::vector<uint8_t>& data) {
    if (data.empty() || data.back() != 0)
        return false;
    for (size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] < 0x20 || data[i] == 0x7f)
            return false;
    return true;
}

std::string hexBytes(const std::vector<uint8_t>& data) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", data[i]);
        if (i)
            out += ',';
        out += buf;
    }
    return out;
}

std::string valueText(const RegValue& v) {
    if (v.type == kRegSz && printable(v.data))
        return quote(std::string(v.data.begin(), v.data.end() - 1));
    if (v.type == kRegDword && v.data.size() == 4) {
        const uint32_t d = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                           (static_cast<uint32_t>(v.data[3]) << 24);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", d);
        return buf;
    }
    if (v.type == kRegBinary)
        return "hex:" + hexBytes(v.data);
    // The type in hexadecimal, as the parser (and the registry editor) reads it: "hex(b)".
    char type[16];
    std::snprintf(type, sizeof type, "%x", static_cast<unsigned>(v.type));
    return "hex(" + std::string(type) + "):" + hexBytes(v.data);
}

// Parses a quoted name starting at `pos` (at the opening quote); advances `pos` past it.
std::optional<std::string> unquote(const std::string& line, size_t& pos) {
    if (pos >= line.size() || line[pos] != '"')
        return std::nullopt;
    std::string out;
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '\\') {
            if (++pos >= line.size())
                return std::nullopt;
            out += line[pos];
        } else if (c == '"') {
            ++pos;
            return out;
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> parseHexList(const std::string& s) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < s.size()) {
        if (i + 2 > s.size())
            return std::nullopt;
        char* end = nullptr;
        const std::string byte = s.substr(i, 2);
        const long b = std::strtol(byte.c_str(), &end, 16);
        if (*end != '\0')
            return std::nullopt;
        out.push_back(static_cast<uint8_t>(b));
        i += 2;
        if (i < s.size()) {
            if (s[i] != ',')
                return std::nullopt;
            ++i;
        }
    }
    return out;
}

std::optional<RegValue> parseValue(const std::string& s) {
    RegValue v;
    if (!s.empty() && s[0] == '"') {
        size_t pos = 0;
        auto text = unquote(s, pos);
        if (!text || pos != s.size())
            return std::nullopt;
        v.type = kRegSz;
        v.data.assign(text->begin(), text->end());
        v.data.push_back(0);
        return v;
    }
    if (s.rfind("dword:", 0) == 0) {
        const std::string digits = s.substr(6);
        if (digits.size() != 8)
            return std::nullopt;
        char* end = nullptr;
        const unsigned long d = std::strtoul(digits.c_str(), &end, 16);
        if (*end != '\0')
            return std::nullopt;
        v.type = kRegDword;
        for (int i = 0; i < 4; ++i)
            v.data.push_back(static_cast<uint8_t>(d >> (8 * i)));
        return v;
    }
    std::string list;
    if (s.rfind("hex:", 0) == 0) {
        v.type = kRegBinary;
        list = s.substr(4);
    } else if (s.rfind("hex(", 0) == 0) {
        const auto close = s.find("):");
        if (close == std::string::npos)
            return std::nullopt;
        char* end = nullptr;
        const std::string num = s.substr(4, close - 4);
        const unsigned long t = std::strtoul(num.c_str(), &end, 16);
        if (num.empty() || *end != '\0')
            return std::nullopt;
        v.type = static_cast<RegType>(t);
        list = s.substr(close + 2);
    } else {
        return std::nullopt;
    }
    auto bytes = parseHexList(list);
    if (!bytes)
        return std::nullopt;
    v.data = std::move(*bytes);
    return v;
}

} // namespace

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

std::string RegistryStore::defaultPath() {
    std::string base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
        base = x;
    else if (const char* h = std::getenv("HOME"); h && *h)
        base = std::string(h) + "/.config";
    else
        base = ".config";
    return base + "/corvana/hkcu.reg";
}

RegistryStore::RegistryStore(std::string path) : path_(std::move(path)) {}

void RegistryStore::load() {
    keys_.clear();
    damaged_ = false;
    std::string text;
    const int fd = platform::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        damaged_ = errno != ENOENT;
        return;
    }
    char buf[8192];
    for (;;) {
        const ssize_t n = platform::read(fd, buf, sizeof buf);
        if (n < 0) {
            damaged_ = true;
            break;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    platform::close(fd);
    if (damaged_)
        return;
    if (auto parsed = parse(text))
        keys_ = std::move(*parsed);
    else
        damaged_ = true;
}

std::optional<std::map<std::string, RegKey, NoCaseLess>>
RegistryStore::parse(const std::string& text) {
    std::map<std::string, RegKey, NoCaseLess> keys;
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line))
        return keys; // an empty file is an empty hive
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line != kHeader)
        return std::nullopt;
    RegKey* current = nullptr;
    std::string pending;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!pending.empty() || (!line.empty() && line.back() == '\\' && line[0] != '[')) {
            // hex lists may be continued over several lines ending in "\"
            std::string piece = line;
            while (!piece.empty() && (piece[0] == ' ' || piece[0] == '\t'))
                piece.erase(0, 1);
            const bool more = !piece.empty() && piece.back() == '\\';
            if (more)
                piece.pop_back();
            pending += piece;
            if (more)
                continue;
            line = std::move(pending);
            pending.clear();
        }
        if (line.empty())
            continue;
        if (line[0] == '[') {
            if (line.back() != ']')
                return std::nullopt;
            std::string full = line.substr(1, line.size() - 2);
            const std::string root = kRootPrefix;
            if (strncasecmp(full.c_str(), root.c_str(), root.size()) != 0)
                return std::nullopt;
            full.erase(0, root.size());
            if (!full.empty()) {
                if (full[0] != '\\')
                    return std::nullopt;
                full.erase(0, 1);
            }
            current = &keys[full];
            continue;
        }
        if (!current)
            return std::nullopt;
        std::string name;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else {
            auto n = unquote(line, pos);
            if (!n)
                return std::nullopt;
            name = *n;
        }
        if (pos >= line.size() || line[pos] != '=')
            return std::nullopt;
        auto value = parseValue(line.substr(pos + 1));
        if (!value)
            return std::nullopt;
        (*current)[name] = std::move(*value);
    }
    if (!pending.empty())
        return std::nullopt;
    return keys;
}

std::string RegistryStore::serialize(const std::map<std::string, RegKey, NoCaseLess>& keys) {
    std::string out = std::string(kHeader) + "\n";
    for (const auto& [path, values] : keys) {
        out += "\n[" + std::string(kRootPrefix) + (path.empty() ? "" : "\\" + path) + "]\n";
        for (const auto& [name, value] : values)
            out += (name.empty() ? std::string("@") : quote(name)) + "=" + valueText(value) + "\n";
    }
    return out;
}

bool RegistryStore::hasKey(const std::string& keyPath) const {
    return keys_.count(keyPath) != 0;
}

bool RegistryStore::createKey(const std::string& keyPath) {
    if (keyPath.empty() || keyPath.front() == '\\' || keyPath.back() == '\\' ||
        keyPath.find("\\\\") != std::string::npos)
        return false;
    // parents first, as the registry creates each missing level
    for (size_t at = keyPath.find('\\'); at != std::string::npos; at = keyPath.find('\\', at + 1))
        keys_[keyPath.substr(0, at)];
    keys_[keyPath];
    return true;
}

RegKey* RegistryStore::key(const std::string& keyPath) {
    auto it = keys_.find(keyPath);
    return it == keys_.end() ? nullptr : &it->second;
}

bool RegistryStore::save() {
    const auto slash = path_.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path_.substr(0, slash);
    if (!platform::makeDirs(dir, 0700))
        return false;
    if (damaged_) {
        // Never destroy a hive we could not read: keep it aside for the user or support.
        const std::string aside = path_ + ".damaged-" + std::to_string(std::time(nullptr));
        if (platform::rename(path_.c_str(), aside.c_str()) != 0 && errno != ENOENT)
            return false;
        damaged_ = false;
    }
    const std::string text = serialize(keys_);
    const std::string tmp = path_ + ".tmp." + std::to_string(::getpid());
    platform::unlink(tmp.c_str());
    const int fd =
        platform::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool ok = platform::writeAll(fd, text.data(), text.size()) && platform::fsync(fd) == 0;
    if (platform::close(fd) != 0 || !ok || platform::rename(tmp.c_str(), path_.c_str()) != 0) {
        platform::unlink(tmp.c_str());
        return false;
    }
    const int dfd = platform::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        platform::fsync(dfd);
        platform::close(dfd);
    }
    return true;
}

} // namespace corvana::platform
