// A tiny file system of its own (a size-limited tmpfs) for tests of what a full or read-only
// disk does to the files the program writes. Mounting needs the superuser; without it the
// test is skipped.
#pragma once
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

namespace kv::testing {

class SmallFileSystem {
  public:
    explicit SmallFileSystem(size_t bytes) {
        std::string pattern = (std::filesystem::temp_directory_path() / "kv-small-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return;
        path_ = pattern;
        if (::geteuid() != 0) return;
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallFileSystem() {
        std::error_code ignored;
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
        std::filesystem::remove_all(path_, ignored);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool Mounted() const { return mounted_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

    // Takes every free byte with a filler file, so that the next write runs out of room.
    void Fill() {
        std::ofstream filler(File("filler"), std::ios::binary | std::ios::app);
        const std::string block(512, 'f');
        while (filler.write(block.data(), block.size()) && filler.flush()) {
        }
        // The stream's last block may be half written; take the remaining bytes one by one.
        std::ofstream tail(File("filler"), std::ios::binary | std::ios::app);
        while (tail.put('f') && tail.flush()) {
        }
    }
    void MakeRoom() { std::filesystem::remove(File("filler")); }

    bool SetReadOnly(bool readOnly) {
        const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
        return ::mount("tmpfs", path_.c_str(), "tmpfs", flags, nullptr) == 0;
    }

  private:
    std::string path_;
    bool mounted_ = false;
};

#define KV_REQUIRE_SMALL_FILE_SYSTEM(fs) \
    if (!(fs).Mounted()) GTEST_SKIP() << "mounting a small tmpfs needs the superuser"

}  // namespace kv::testing
