#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/group_access.h"

namespace platform {

namespace {

RegistryStore* g_registry = nullptr;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// Reads a quoted string starting at s[pos] == '"'; on success pos is past the closing quote.
bool readQuoted(const std::string& s, size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"') return false;
    out.clear();
    for (size_t i = pos + 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\\' && i + 1 < s.size()) {
            out += s[++i];
        } else if (c == '"') {
            pos = i + 1;
            return true;
        } else {
            out += c;
        }
    }
    return false;
}

std::string quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Regedit writes a long hex list over several lines, each but the last ending in a backslash.
// Only a value whose data is such a list continues: any other line stands as it is, whatever
// it holds ("hex" in its name, a backslash ending its text), or the next value would vanish
// into it.
bool continuesHexList(const std::string& t) {
    if (t.empty() || t.back() != '\\') return false;
    size_t pos = 0;
    std::string name;
    if (t[0] == '@')
        pos = 1;
    else if (!readQuoted(t, pos, name))
        return false;
    while (pos < t.size() && (t[pos] == ' ' || t[pos] == '\t')) ++pos;
    if (pos >= t.size() || t[pos] != '=') return false;
    return lower(trim(t.substr(pos + 1))).rfind("hex", 0) == 0;
}

RegValue parseValue(const std::string& rhs, bool& deletion) {
    RegValue v;
    deletion = false;
    std::string t = trim(rhs);
    if (t == "-") {
        deletion = true;
        return v;
    }
    if (!t.empty() && t[0] == '"') {
        size_t pos = 0;
        std::string text;
        if (readQuoted(t, pos, text) && trim(t.substr(pos)).empty()) {
            v.type = RegValue::String;
            v.text = text;
            return v;
        }
    }
    std::string lt = lower(t);
    if (lt.rfind("dword:", 0) == 0) {
        std::string digits = trim(t.substr(6));
        if (!digits.empty() && digits.size() <= 8 &&
            std::all_of(digits.begin(), digits.end(), [](char c) { return hexDigit(c) >= 0; })) {
            v.type = RegValue::Dword;
            v.dword = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
            return v;
        }
    } else if (lt.rfind("hex:", 0) == 0) {
        std::vector<std::uint8_t> bytes;
        bool ok = true;
        std::stringstream list(t.substr(4));
        std::string item;
        while (std::getline(list, item, ',')) {
            item = trim(item);
            if (item.empty()) continue;
            if (item.size() > 2 || hexDigit(item[0]) < 0 ||
                (item.size() == 2 && hexDigit(item[1]) < 0)) {
                ok = false;
                break;
            }
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(item, nullptr, 16)));
        }
        if (ok) {
            v.type = RegValue::Binary;
            v.data = std::move(bytes);
            return v;
        }
    }
    v.type = RegValue::Other;
    v.raw = t;
    return v;
}

std::string formatValue(const RegValue& v) {
    char buf[16];
    switch (v.type) {
        case RegValue::Dword:
            std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
            return buf;
        case RegValue::String:
            return quote(v.text);
        case RegValue::Binary: {
            std::string out = "hex:";
            for (size_t i = 0; i < v.data.size(); ++i) {
                std::snprintf(buf, sizeof buf, "%s%02x", i ? "," : "", v.data[i]);
                out += buf;
            }
            return out;
        }
        case RegValue::Other:
            break;
    }
    return v.raw;
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

void appendUtf16(std::string& out, std::uint32_t code) {
    auto unit = [&out](std::uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    if (code < 0x10000) {
        unit(code);
    } else {
        code -= 0x10000;
        unit(0xD800 | (code >> 10));
        unit(0xDC00 | (code & 0x3FF));
    }
}

constexpr char kUtf16Mark[] = "\xFF\xFE";
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

// Regedit writes UTF-16LE files; a hand-made store is usually plain text, sometimes with
// a UTF-8 mark. All three are read into UTF-8 text, and a write keeps the form it found.
std::string decodeText(const std::string& bytes, RegistryStore::Encoding& encoding) {
    if (bytes.compare(0, 2, kUtf16Mark) == 0) {
        encoding = RegistryStore::Encoding::Utf16;
        std::string out;
        auto unitAt = [&bytes](size_t i) {
            return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        };
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            std::uint32_t code = unitAt(i);
            if (code >= 0xD800 && code <= 0xDBFF && i + 3 < bytes.size() &&
                unitAt(i + 2) >= 0xDC00 && unitAt(i + 2) <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00);
                i += 2;
            } else if (code >= 0xD800 && code <= 0xDFFF) {
                code = 0xFFFD;  // half a pair
            }
            appendUtf8(out, code);
        }
        return out;
    }
    if (bytes.compare(0, 3, kUtf8Mark) == 0) {
        encoding = RegistryStore::Encoding::Utf8Mark;
        return bytes.substr(3);
    }
    encoding = RegistryStore::Encoding::Plain;
    return bytes;
}

// The code point of the UTF-8 sequence at text[i] and its length. A byte that starts no
// valid sequence (a hand-made store may hold Latin-1) stands for itself, length 1.
std::uint32_t codePointAt(const std::string& text, size_t i, size_t& length) {
    const auto lead = static_cast<unsigned char>(text[i]);
    length = 1;
    if (lead < 0x80) return lead;
    const size_t n = (lead & 0xE0) == 0xC0   ? 2
                     : (lead & 0xF0) == 0xE0 ? 3
                     : (lead & 0xF8) == 0xF0 ? 4
                                             : 0;
    if (n == 0 || i + n > text.size()) return lead;
    std::uint32_t code = lead & (0x7Fu >> n);
    for (size_t k = 1; k < n; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return lead;
        code = (code << 6) | (next & 0x3Fu);
    }
    static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return lead;
    length = n;
    return code;
}

// The store's text in the form it was read in.
std::string encodeText(const std::string& text, RegistryStore::Encoding encoding) {
    switch (encoding) {
        case RegistryStore::Encoding::Plain:
            return text;
        case RegistryStore::Encoding::Utf8Mark:
            return kUtf8Mark + text;
        case RegistryStore::Encoding::Utf16:
            break;
    }
    std::string out(kUtf16Mark, 2);
    for (size_t i = 0, length = 1; i < text.size(); i += length)
        appendUtf16(out, codePointAt(text, i, length));
    return out;
}

bool writeAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The whole store file. Only a store that is not there reads as empty: one that cannot be
// opened, that is not a plain file (a pipe would block the event loop), or whose read
// fails or ends early is unreadable, so that no write puts a near-empty store in its place.
int readStoreFile(const std::string& path, std::string& bytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return errno == ENOENT ? kRegMissing : kRegUnreadable;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buffer[8192];
    while (ok) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    if (ok && bytes.size() < static_cast<size_t>(st.st_size)) ok = false;
    return ok ? kRegOk : kRegUnreadable;
}

// The store holds the password in clear text: only its owner may read it, and in a home
// shared with the station's group (group_access.h) the group's members too. An
// administrator may have made it stricter still (read-only, 0400), and that stays; anything
// looser becomes 0600 (shared: 0660) at the next write.
mode_t storeModeFor(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return PrivateFileMode();
    return PrivateModeFor(st.st_mode);
}

// The replacement is made anew every time, never opened where it lies: a .tmp left by a
// crash keeps the mode it was made with, and a link in its place would send the password
// wherever it points. The file is given its mode before it holds a byte, whatever the umask.
int openPrivateTemp(const std::string& tmp, mode_t mode) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (fd >= 0) {
            if (::fchmod(fd, mode) == 0) return fd;
            ::close(fd);
            ::unlink(tmp.c_str());
            return -1;
        }
        if (errno != EEXIST || ::unlink(tmp.c_str()) != 0) return -1;
    }
    return -1;
}

void syncFolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
}

}  // namespace

RegistryStore::RegistryStore(std::string path) : path_(std::move(path)) {}

void RegistryStore::parse(const std::string& fileText, Keys& keys,
                          std::map<std::string, std::string>& keyNames) {
    Encoding encoding;
    parseText(decodeText(fileText, encoding), keys, keyNames);
}

void RegistryStore::parseText(const std::string& text, Keys& keys,
                              std::map<std::string, std::string>& keyNames) {
    std::vector<std::string> lines;
    std::string pending;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::string t = trim(line);
        if (!pending.empty()) t = pending + t;
        if (continuesHexList(t)) {
            pending = t.substr(0, t.size() - 1);
            continue;
        }
        pending.clear();
        lines.push_back(t);
    }
    // A list the file ends in the middle of: what it has, without its continuation marks,
    // so that a write does not make it swallow the line written after it.
    while (!pending.empty() && pending.back() == '\\') pending.pop_back();
    if (!pending.empty()) lines.push_back(pending);

    std::string current;  // lower-case key; empty = outside any key
    for (const std::string& t : lines) {
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t[0] == '[') {
            size_t close = t.rfind(']');
            current.clear();
            if (close == std::string::npos || close < 2 || t[1] == '-') continue;
            std::string name = t.substr(1, close - 1);
            current = lower(name);
            keyNames.emplace(current, name);
            keys[current];
            continue;
        }
        if (current.empty()) continue;
        std::string name;
        size_t pos = 0;
        if (t[0] == '@') {
            pos = 1;
        } else if (!readQuoted(t, pos, name)) {
            continue;
        }
        while (pos < t.size() && (t[pos] == ' ' || t[pos] == '\t')) ++pos;
        if (pos >= t.size() || t[pos] != '=') continue;
        bool deletion = false;
        RegValue v = parseValue(t.substr(pos + 1), deletion);
        if (deletion) {
            keys[current].erase(lower(name));
            continue;
        }
        keys[current][lower(name)] = {name, v};
    }
}

std::string RegistryStore::format(const Keys& keys,
                                  const std::map<std::string, std::string>& keyNames) {
    std::string out = "Windows Registry Editor Version 5.00\r\n";
    for (const auto& [key, values] : keys) {
        auto name = keyNames.find(key);
        out += "\r\n[" + (name != keyNames.end() ? name->second : key) + "]\r\n";
        for (const auto& [lname, entry] : values) {
            out += (entry.first.empty() ? std::string("@") : quote(entry.first)) + "=" +
                   formatValue(entry.second) + "\r\n";
        }
    }
    return out;
}

int RegistryStore::load(Keys& keys, std::map<std::string, std::string>& keyNames,
                        Encoding& encoding) const {
    encoding = Encoding::Plain;
    if (batchDepth_ > 0 && batchLoaded_) {
        keys = batchKeys_;
        keyNames = batchNames_;
        encoding = batchEncoding_;
        return kRegOk;
    }
    if (path_.empty()) {
        keys = memory_;
        keyNames = memoryNames_;
    } else {
        std::string bytes;
        const int rc = readStoreFile(path_, bytes);
        if (rc != kRegOk && rc != kRegMissing) return rc;
        // A store not yet written reads as empty.
        if (rc == kRegOk) parseText(decodeText(bytes, encoding), keys, keyNames);
    }
    if (batchDepth_ > 0) {
        batchKeys_ = keys;
        batchNames_ = keyNames;
        batchEncoding_ = encoding;
        batchLoaded_ = true;
    }
    return kRegOk;
}

int RegistryStore::read(const std::string& key, const std::string& name, RegValue& out) const {
    Keys keys;
    std::map<std::string, std::string> names;
    Encoding encoding;
    if (int rc = load(keys, names, encoding); rc != kRegOk) return rc;
    auto k = keys.find(lower(key));
    if (k == keys.end()) return kRegMissing;
    auto v = k->second.find(lower(name));
    if (v == k->second.end()) return kRegMissing;
    out = v->second.second;
    return kRegOk;
}

std::optional<RegValue> RegistryStore::get(const std::string& key, const std::string& name) const {
    RegValue v;
    if (read(key, name, v) != kRegOk) return std::nullopt;
    return v;
}

bool RegistryStore::set(const std::string& key, const std::string& name, const RegValue& value) {
    Keys keys;
    std::map<std::string, std::string> names;
    Encoding encoding;
    if (load(keys, names, encoding) != kRegOk) return false;
    std::string lkey = lower(key);
    names.emplace(lkey, key);
    keys[lkey][lower(name)] = {name, value};
    if (batchDepth_ > 0) {
        batchKeys_ = std::move(keys);
        batchNames_ = std::move(names);
        batchChanged_ = true;
        return true;
    }
    return write(keys, names, encoding);
}

void RegistryStore::beginBatch() {
    if (batchDepth_++ > 0) return;
    batchLoaded_ = false;
    batchChanged_ = false;
}

bool RegistryStore::endBatch() {
    if (batchDepth_ == 0 || --batchDepth_ > 0) return true;
    const bool ok = !batchChanged_ || write(batchKeys_, batchNames_, batchEncoding_);
    batchLoaded_ = false;
    batchChanged_ = false;
    batchKeys_.clear();
    batchNames_.clear();
    return ok;
}

bool RegistryStore::write(const Keys& keys, const std::map<std::string, std::string>& names,
                          Encoding encoding) {
    if (path_.empty()) {
        memory_ = keys;
        memoryNames_ = names;
        return true;
    }
    // Write a sibling file, flush it to disk, then rename it over the store: a reader or a
    // power cut sees either the old store or the new one, never half of one.
    std::string text = encodeText(format(keys, names), encoding);
    std::string tmp = path_ + ".tmp";
    MakeFoldersAbove(path_);
    int fd = openPrivateTemp(tmp, storeModeFor(path_));
    if (fd < 0) return false;
    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || std::rename(tmp.c_str(), path_.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    // Until the folder reaches the disk, a power cut can bring the old store back.
    syncFolderOf(path_);
    return true;
}

RegistryStore& registry() {
    static RegistryStore fallback;  // in-memory until start-up installs the real store
    return g_registry != nullptr ? *g_registry : fallback;
}

void setRegistry(RegistryStore* store) {
    g_registry = store;
}

RegistryBatch::RegistryBatch() {
    registry().beginBatch();
}

RegistryBatch::~RegistryBatch() {
    registry().endBatch();
}

namespace {

const char* rootName(int root) {
    switch (root) {
        case REGKEY_HKCR:
            return "HKEY_CLASSES_ROOT";
        case REGKEY_HKCU:
            return "HKEY_CURRENT_USER";
        case REGKEY_HKLM:
            return "HKEY_LOCAL_MACHINE";
        case REGKEY_HKU:
            return "HKEY_USERS";
        default:
            return nullptr;
    }
}

bool keyText(int root, const char* subkey, const char* name, std::string& key) {
    const char* r = rootName(root);
    if (r == nullptr || subkey == nullptr || name == nullptr) return false;
    std::string sub = subkey;
    while (!sub.empty() && sub.front() == '\\') sub.erase(sub.begin());
    while (!sub.empty() && sub.back() == '\\') sub.pop_back();
    key = sub.empty() ? std::string(r) : std::string(r) + "\\" + sub;
    return true;
}

int readTyped(int root, const char* subkey, const char* name, RegValue::Type type, RegValue& out) {
    std::string key;
    if (!keyText(root, subkey, name, key)) return kRegBadArgument;
    RegValue v;
    if (int rc = registry().read(key, name, v); rc != kRegOk) return rc;
    if (v.type != type) return kRegWrongType;
    out = std::move(v);
    return kRegOk;
}

int writeValue(int root, const char* subkey, const char* name, const RegValue& v) {
    std::string key;
    if (!keyText(root, subkey, name, key)) return kRegBadArgument;
    return registry().set(key, name, v) ? kRegOk : kRegWriteFailed;
}

std::uint32_t swap32(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

}  // namespace

int RegReadULong(int root, const char* subkey, const char* name, unsigned int* value,
                 int littleEndian) {
    RegValue v;
    int rc = readTyped(root, subkey, name, RegValue::Dword, v);
    if (rc != kRegOk) return rc;
    if (value != nullptr) *value = littleEndian ? v.dword : swap32(v.dword);
    return kRegOk;
}

int RegWriteULong(int root, const char* subkey, const char* name, unsigned int value,
                  int littleEndian) {
    RegValue v;
    v.type = RegValue::Dword;
    v.dword = littleEndian ? value : swap32(value);
    return writeValue(root, subkey, name, v);
}

int RegReadString(int root, const char* subkey, const char* name, unsigned char* buffer,
                  std::size_t bufferSize, unsigned int* realSize) {
    RegValue v;
    int rc = readTyped(root, subkey, name, RegValue::String, v);
    if (rc != kRegOk) return rc;
    std::size_t needed = v.text.size() + 1;
    if (realSize != nullptr) *realSize = static_cast<unsigned int>(needed);
    if (buffer == nullptr) return kRegOk;
    if (bufferSize < needed) return kRegTooSmall;
    std::memcpy(buffer, v.text.c_str(), needed);
    return kRegOk;
}

int RegWriteString(int root, const char* subkey, const char* name, const char* value) {
    if (value == nullptr) return kRegBadArgument;
    RegValue v;
    v.type = RegValue::String;
    v.text = value;
    return writeValue(root, subkey, name, v);
}

int RegReadBinary(int root, const char* subkey, const char* name, unsigned char* buffer,
                  std::size_t bufferSize, unsigned int* realSize) {
    RegValue v;
    int rc = readTyped(root, subkey, name, RegValue::Binary, v);
    if (rc != kRegOk) return rc;
    if (realSize != nullptr) *realSize = static_cast<unsigned int>(v.data.size());
    if (buffer == nullptr) return kRegOk;
    if (bufferSize < v.data.size()) return kRegTooSmall;
    if (!v.data.empty()) std::memcpy(buffer, v.data.data(), v.data.size());
    return kRegOk;
}

int RegWriteBinary(int root, const char* subkey, const char* name, const unsigned char* data,
                   std::size_t size) {
    if (data == nullptr && size > 0) return kRegBadArgument;
    RegValue v;
    v.type = RegValue::Binary;
    if (size > 0) v.data.assign(data, data + size);
    return writeValue(root, subkey, name, v);
}

}  // namespace platform
