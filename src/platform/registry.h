// The settings store that stands for the system registry, and the six helpers the station
// reads and writes it with. The store is a text file in the regedit export format, read
// afresh on every call and replaced atomically on every write, or an in-memory store for
// tests. A value that is missing, or present with another type, reads as missing: the
// helper returns a negative code and leaves the destination unchanged. Only a store file
// that does not exist starts empty; one that exists but cannot be read (permissions, an
// I/O error, not a plain file) is left exactly as it is and every write to it fails. The
// file is its owner's alone (0600, or stricter when it was made so by hand).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum RegRoot { REGKEY_HKCR = 0, REGKEY_HKCU, REGKEY_HKLM, REGKEY_HKU };

enum RegResult {
    kRegOk = 0,
    kRegMissing = -1,      // key or value not there
    kRegWrongType = -2,    // value there with another type
    kRegTooSmall = -3,     // the caller's buffer cannot hold the value
    kRegWriteFailed = -4,  // the store could not be replaced; the old one stands
    kRegBadArgument = -5,
    kRegUnreadable = -6,  // the store is there but cannot be read; it is never written over
};

struct RegValue {
    enum Type { Dword, String, Binary, Other } type = Other;
    std::uint32_t dword = 0;
    std::string text;                // String
    std::vector<std::uint8_t> data;  // Binary
    std::string raw;                 // Other: the right-hand side as found, written back as is
};

class RegistryStore {
  public:
    // A file store at path, or an in-memory store when path is empty.
    explicit RegistryStore(std::string path = {});

    // How the file's text is stored; a write keeps the form the store was read in.
    enum class Encoding { Plain, Utf8Mark, Utf16 };

    const std::string& path() const { return path_; }

    // key is the full key text, e.g. "HKEY_LOCAL_MACHINE\Software\Qorv\VNKPC"; names and
    // keys compare without regard to case, as the system registry does. Text is UTF-8.
    // kRegOk with the value in out, kRegMissing, or kRegUnreadable.
    int read(const std::string& key, const std::string& name, RegValue& out) const;
    std::optional<RegValue> get(const std::string& key, const std::string& name) const;
    // Returns false when the store could not be written; the previous store stands. A store
    // that is there but cannot be read is never written.
    bool set(const std::string& key, const std::string& name, const RegValue& value);
    // Writes between beginBatch() and endBatch() reach the file once, at the end (reads in
    // between see them): a window that stores ten values makes one write, not ten, each
    // waiting for the disk. endBatch() is false when that write failed.
    void beginBatch();
    bool endBatch();

    // The text of the store, and its parser (exposed for tests and tools).
    using Keys = std::map<std::string, std::map<std::string, std::pair<std::string, RegValue>>>;
    static std::string format(const Keys& keys, const std::map<std::string, std::string>& keyNames);
    static void parse(const std::string& text, Keys& keys,
                      std::map<std::string, std::string>& keyNames);

  private:
    // kRegOk (a missing file loads as empty) or kRegUnreadable.
    int load(Keys& keys, std::map<std::string, std::string>& keyNames, Encoding& encoding) const;
    static void parseText(const std::string& text, Keys& keys,
                          std::map<std::string, std::string>& keyNames);

    bool write(const Keys& keys, const std::map<std::string, std::string>& keyNames,
               Encoding encoding);

    std::string path_;
    Keys memory_;  // in-memory store
    std::map<std::string, std::string> memoryNames_;
    // A batch: the store as loaded at its first read or write and changed since.
    int batchDepth_ = 0;
    mutable bool batchLoaded_ = false;
    bool batchChanged_ = false;
    mutable Keys batchKeys_;
    mutable std::map<std::string, std::string> batchNames_;
    mutable Encoding batchEncoding_ = Encoding::Plain;
};

// The registry's writes of a scope made as one (see RegistryStore::beginBatch).
class RegistryBatch {
  public:
    RegistryBatch();
    ~RegistryBatch();
    RegistryBatch(const RegistryBatch&) = delete;
    RegistryBatch& operator=(const RegistryBatch&) = delete;
};

// The store in use (installed at start-up or by a test).
RegistryStore& registry();
void setRegistry(RegistryStore* store);

int RegReadULong(int root, const char* subkey, const char* name, unsigned int* value,
                 int littleEndian);
int RegWriteULong(int root, const char* subkey, const char* name, unsigned int value,
                  int littleEndian);
// With buffer null, only *realSize is set: the size needed, terminating NUL included.
int RegReadString(int root, const char* subkey, const char* name, unsigned char* buffer,
                  std::size_t bufferSize, unsigned int* realSize);
int RegWriteString(int root, const char* subkey, const char* name, const char* value);
int RegReadBinary(int root, const char* subkey, const char* name, unsigned char* buffer,
                  std::size_t bufferSize, unsigned int* realSize);
int RegWriteBinary(int root, const char* subkey, const char* name, const unsigned char* data,
                   std::size_t size);

}  // namespace platform
