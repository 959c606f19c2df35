// A device folder of the test's own: discovery and bare port names look into a temporary
// folder, where links stand for device nodes (usually pseudo-terminals) and for the
// system's stable identity links, and folders for the kernel's list of terminal devices, so
// no root and no change under /dev or /sys are needed.
#pragma once
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "serial/posix/device_folders.h"

namespace kv::test {

// What the kernel's list says of a terminal device.
enum class Kernel {
    Driver,        // a driver serves hardware behind it: a real port
    NoDriver,      // none (a virtual console, say)
    EmptyUartSlot  // a legacy UART slot without a chip: driver there, port type unknown
};

class DeviceFolder {
  public:
    DeviceFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kv-dev-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        std::filesystem::create_directories(stableFolder());
        std::filesystem::create_directories(ttyClassFolder());
        SerialSetDeviceFolders(deviceFolder().string(), stableFolder().string(),
                               ttyClassFolder().string());
    }
    ~DeviceFolder() {
        SerialSetDeviceFolders("", "", "");
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    DeviceFolder(const DeviceFolder&) = delete;
    DeviceFolder& operator=(const DeviceFolder&) = delete;

    std::filesystem::path deviceFolder() const { return root_ / "dev"; }
    std::filesystem::path stableFolder() const { return root_ / "dev" / "serial" / "by-id"; }
    std::filesystem::path ttyClassFolder() const { return root_ / "sys" / "class" / "tty"; }

    // dev/<name> -> target (a device node such as a pseudo-terminal's slave), and the
    // kernel's entry for it.
    bool addNode(const std::string& name, const std::string& target,
                 Kernel kernel = Kernel::Driver) {
        return addKernelEntry(name, kernel) && relink(deviceFolder() / name, target);
    }
    // Only the kernel's entry, no node.
    bool addKernelEntry(const std::string& name, Kernel kernel) {
        const std::filesystem::path entry = ttyClassFolder() / name;
        std::error_code error;
        std::filesystem::remove_all(entry, error);
        std::filesystem::create_directories(
            kernel == Kernel::NoDriver ? entry : entry / "device" / "driver", error);
        if (kernel == Kernel::EmptyUartSlot) std::ofstream(entry / "type") << "0\n";
        return !error;
    }
    // The adapter is gone: its node and its kernel entry.
    void removeNode(const std::string& name) {
        remove(deviceFolder() / name);
        std::error_code ignored;
        std::filesystem::remove_all(ttyClassFolder() / name, ignored);
    }
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
