// A device folder of the test's own: discovery and bare port names look into a temporary
// folder, where links stand for device nodes (usually pseudo-terminals) and for the
// system's stable identity links, so no root and no change under /dev are needed.
#pragma once
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "serial/posix/device_folders.h"

namespace kv::test {

class DeviceFolder {
  public:
    DeviceFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kv-dev-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        std::filesystem::create_directories(stableFolder());
        SerialSetDeviceFolders(deviceFolder().string(), stableFolder().string());
    }
    ~DeviceFolder() {
        SerialSetDeviceFolders("", "");
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    DeviceFolder(const DeviceFolder&) = delete;
    DeviceFolder& operator=(const DeviceFolder&) = delete;

    std::filesystem::path deviceFolder() const { return root_ / "dev"; }
    std::filesystem::path stableFolder() const { return root_ / "dev" / "serial" / "by-id"; }

    // dev/<name> -> target (a device node such as a pseudo-terminal's slave).
    bool addNode(const std::string& name, const std::string& target) {
        return relink(deviceFolder() / name, target);
    }
    void removeNode(const std::string& name) { remove(deviceFolder() / name); }
    // dev/serial/by-id/<identity> -> ../../<name>, as the system writes them.
    bool addIdentity(const std::string& identity, const std::string& name) {
        return relink(stableFolder() / identity, "../../" + name);
    }
    void removeIdentity(const std::string& identity) { remove(stableFolder() / identity); }

  private:
    static bool relink(const std::filesystem::path& link, const std::string& target) {
        remove(link);
        std::error_code error;
        std::filesystem::create_symlink(target, link, error);
        return !error;
    }
    static void remove(const std::filesystem::path& link) {
        std::error_code ignored;
        std::filesystem::remove(link, ignored);
    }

    std::filesystem::path root_;
};

}  // namespace kv::test
