// The INI text model behind the settings store, free of any file access so that it can be
// tested and fuzzed on plain bytes. Keys and values are UTF-8 byte strings.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::ini {

enum class EntryKind : uint8_t { Key, Group, Comment };

// File bytes turned into the UTF-8 text that is parsed: the rest after a UTF-8 mark, or the
// bytes read as ISO 8859-1. `writeMark` tells whether a rewrite starts with the mark again.
struct DecodedText {
    std::string text;
    bool writeMark = false;
};
DecodedText DecodeFileBytes(std::string_view bytes);

// Value text as handed out: blanks and tabs removed at both ends.
std::string_view TrimBlanks(std::string_view text);

// The entries of one document in file order. Parsing cuts keys and values out of a single
// text buffer; later writes reuse a value's bytes when the new value fits and append
// otherwise, so a document costs one buffer plus one small record per line.
class Document {
  public:
    struct Entry {
        EntryKind kind;
        uint32_t keyAt = 0, keyLength = 0;      // key entries only
        uint32_t valueAt = 0, valueLength = 0;  // value, group name or comment text
    };

    void Parse(std::string text);
    void Clear();

    // The value of the first key entry that matches before the first group header.
    std::optional<std::string_view> Find(std::string_view key) const;
    // Stores the value under the key: in place of the first match before the first group
    // header (taking over the caller's spelling of the key), or as a new entry after the
    // last one before that header.
    void Write(std::string_view key, std::string_view value);

    // The file text: the optional mark line, then one line per entry, each ending in CR LF.
    std::string Serialize(bool writeMark) const;

    size_t EntryCount() const { return entries_.size(); }
    EntryKind KindAt(size_t index) const { return entries_[index].kind; }
    std::string_view KeyAt(size_t index) const {
        return piece(entries_[index].keyAt, entries_[index].keyLength);
    }
    std::string_view ValueAt(size_t index) const {
        return piece(entries_[index].valueAt, entries_[index].valueLength);
    }

  private:
    std::string_view piece(uint32_t at, uint32_t length) const {
        return std::string_view(storage_).substr(at, length);
    }
    std::optional<size_t> findIndex(std::string_view key) const;
    uint32_t store(std::string_view bytes);

    std::string storage_;
    std::vector<Entry> entries_;
};

}  // namespace kv::ini
