#include "runtime/ini_document.h"

#include <algorithm>
#include <limits>

#include "runtime/letter_case.h"

namespace kv::ini {
namespace {

constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view MarkLine = "\xEF\xBB\xBF\r\n";
constexpr std::string_view LineEnd = "\r\n";
constexpr std::string_view KeyValueSeparator = " = ";
constexpr std::string_view CommentStart = "; ";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

}  // namespace

DecodedText DecodeFileBytes(std::string_view bytes) {
    DecodedText decoded;
    if (bytes.size() >= Utf8Mark.size() && bytes.substr(0, Utf8Mark.size()) == Utf8Mark) {
        decoded.text.assign(bytes.substr(Utf8Mark.size()));
        decoded.writeMark = true;
        return decoded;
    }
    if (bytes.empty()) return decoded;
    decoded.writeMark = true;
    decoded.text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            decoded.text.push_back(c);
        } else {
            decoded.text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            decoded.text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return decoded;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

void Document::Clear() {
    storage_.clear();
    storage_.shrink_to_fit();
    entries_.clear();
    entries_.shrink_to_fit();
}

void Document::Parse(std::string text) {
    Clear();
    // Offsets are 32-bit; the store never hands over more than a few megabytes.
    if (text.size() > std::numeric_limits<uint32_t>::max())
        text.resize(std::numeric_limits<uint32_t>::max());
    storage_ = std::move(text);
    const std::string_view all(storage_);
    const auto offset = [&](std::string_view part) {
        return static_cast<uint32_t>(part.data() - all.data());
    };

    size_t i = 0;
    while (i < all.size()) {
        // Any run of CR and LF separates lines, so blank lines vanish.
        while (i < all.size() && isLineEnd(all[i])) ++i;
        size_t end = i;
        while (end < all.size() && !isLineEnd(all[end])) ++end;
        std::string_view line = all.substr(i, end - i);
        i = end;

        while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
        if (line.empty()) continue;

        Entry entry{};
        if (line.front() == ';') {
            line.remove_prefix(1);
            if (!line.empty() && line.front() == ' ') line.remove_prefix(1);
            entry.kind = EntryKind::Comment;
            entry.valueAt = offset(line);
            entry.valueLength = static_cast<uint32_t>(line.size());
        } else if (line.front() == '[') {
            line.remove_prefix(1);
            const std::string_view name = line.substr(0, line.find(']'));
            entry.kind = EntryKind::Group;
            entry.valueAt = offset(name);
            entry.valueLength = static_cast<uint32_t>(name.size());
        } else {
            const size_t equals = line.find('=');
            std::string_view key = line.substr(0, equals);
            while (!key.empty() && isBlank(key.back())) key.remove_suffix(1);
            std::string_view value;
            if (equals != std::string_view::npos) {
                value = line.substr(equals + 1);
                while (!value.empty() && isBlank(value.front())) value.remove_prefix(1);
            } else {
                value = line.substr(line.size());
            }
            entry.kind = EntryKind::Key;
            entry.keyAt = offset(key);
            entry.keyLength = static_cast<uint32_t>(key.size());
            entry.valueAt = offset(value);
            entry.valueLength = static_cast<uint32_t>(value.size());
        }
        entries_.push_back(entry);
    }
}

std::optional<size_t> Document::findIndex(std::string_view key) const {
    for (size_t index = 0; index < entries_.size(); ++index) {
        const Entry& entry = entries_[index];
        if (entry.kind == EntryKind::Group) return std::nullopt;
        if (entry.kind == EntryKind::Key && EqualIgnoringAsciiCase(KeyAt(index), key)) return index;
    }
    return std::nullopt;
}

std::optional<std::string_view> Document::Find(std::string_view key) const {
    const std::optional<size_t> index = findIndex(key);
    if (!index) return std::nullopt;
    return ValueAt(*index);
}

uint32_t Document::store(std::string_view bytes) {
    const auto at = static_cast<uint32_t>(storage_.size());
    storage_.append(bytes);
    return at;
}

void Document::Write(std::string_view key, std::string_view value) {
    // Offsets must stay within 32 bits; a document that large takes no more writes.
    if (storage_.size() + key.size() + value.size() > std::numeric_limits<uint32_t>::max()) return;
    if (const std::optional<size_t> index = findIndex(key)) {
        Entry& entry = entries_[*index];
        // A case-insensitive match of A-Z has the same byte length, so the key fits in place.
        std::copy(key.begin(), key.end(), storage_.begin() + entry.keyAt);
        if (value.size() <= entry.valueLength) {
            std::copy(value.begin(), value.end(), storage_.begin() + entry.valueAt);
        } else {
            entry.valueAt = store(value);
        }
        entry.valueLength = static_cast<uint32_t>(value.size());
        return;
    }
    Entry entry{EntryKind::Key};
    entry.keyAt = store(key);
    entry.keyLength = static_cast<uint32_t>(key.size());
    entry.valueAt = store(value);
    entry.valueLength = static_cast<uint32_t>(value.size());
    // After the last entry of the ungrouped part: before the first group header.
    const auto firstGroup = std::find_if(entries_.begin(), entries_.end(),
                                         [](const Entry& e) { return e.kind == EntryKind::Group; });
    entries_.insert(firstGroup, entry);
}

std::string Document::Serialize(bool writeMark) const {
    std::string out;
    if (writeMark) out.append(MarkLine);
    for (size_t index = 0; index < entries_.size(); ++index) {
        switch (entries_[index].kind) {
            case EntryKind::Key:
                out.append(KeyAt(index)).append(KeyValueSeparator).append(ValueAt(index));
                break;
            case EntryKind::Group:
                out.append("[").append(ValueAt(index)).append("]");
                break;
            case EntryKind::Comment:
                out.append(CommentStart).append(ValueAt(index));
                break;
        }
        out.append(LineEnd);
    }
    return out;
}

}  // namespace kv::ini
