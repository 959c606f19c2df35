// The real Windows program as a user runs it: a copy of kalorivox.exe alone in a folder with
// (or without) its settings file, started from elsewhere, ended with Alt+F4 or by the end of
// the session. Runs on Windows and under Wine.
#include <windows.h>

#include <gtest/gtest.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Generous bounds: the machine is shared and Wine starts slowly.
constexpr auto WindowLimit = std::chrono::seconds(60);
constexpr auto LogLimit = std::chrono::seconds(60);
constexpr DWORD ExitLimitMs = 15000;
constexpr DWORD MessageLimitMs = 5000;
constexpr size_t DemoDevices = 4;
constexpr wchar_t WindowTitle[] = L"DS18B20 Kalorivox v1.1";
constexpr wchar_t SettingsName[] = L"Kalorivox.ini";
constexpr wchar_t LogName[] = L"DS18B20_Kalorivox.log";
const std::vector<std::string> NineKeys = {"Port",        "Interval",     "ThermoControl",
                                           "ConvertOnly", "ThermoMin",    "ThermoMax",
                                           "Log",         "CPU_MinUsage", "Invert"};

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// The build names the program by the path it has on the building machine; built on Linux and
// run under Wine, that path is on drive Z:.
std::wstring ProgramPath() {
    std::wstring path = Widen(KALORIVOX_PROGRAM);
    if (!path.empty() && path[0] == L'/') {
        for (wchar_t& c : path)
            if (c == L'/') c = L'\\';
        path = L"Z:" + path;
    }
    return path;
}

std::string Read(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void Write(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// The settings file's lines without the byte-order mark and the CR LF ends.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Keys(const std::vector<std::string>& lines) {
    std::vector<std::string> keys;
    for (const std::string& line : lines) keys.push_back(line.substr(0, line.find(" = ")));
    return keys;
}

// The ROM codes of complete log lines ("[date time]  ROM  —  value °C" CR LF).
std::set<std::string> LoggedRoms(const std::string& log) {
    std::set<std::string> roms;
    for (size_t at = 0; (at = log.find("]  ", at)) != std::string::npos;) {
        const size_t dash = log.find("  \xE2\x80\x94  ", at);
        const size_t end = log.find("\r\n", at);
        if (dash == std::string::npos || end == std::string::npos || dash > end) break;
        roms.insert(log.substr(at + 3, dash - at - 3));
        at = end;
    }
    return roms;
}

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindProgramWindow(HWND hwnd, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner != search->process || !IsWindowVisible(hwnd) || GetParent(hwnd)) return TRUE;
    search->found = hwnd;
    return FALSE;
}

class WindowsProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"kv-program-" + std::to_wstring(GetCurrentProcessId()) +
                  L"-" + std::to_wstring(GetTickCount());
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
        program_ = folder_ + L"\\kalorivox.exe";
        ASSERT_TRUE(CopyFileW(ProgramPath().c_str(), program_.c_str(), TRUE))
            << "no program at " << KALORIVOX_PROGRAM;
    }

    void TearDown() override {
        if (process_.hProcess) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, ExitLimitMs);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        for (const wchar_t* name : {L"kalorivox.exe", SettingsName, LogName})
            DeleteFileW((folder_ + L"\\" + name).c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    // Started from another folder: the program must find its own by itself.
    void Launch() {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        std::wstring command = L"\"" + program_ + L"\"";
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        ASSERT_TRUE(CreateProcessW(program_.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, temp, &startup, &process_));
    }

    bool Running() { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }

    HWND WaitForWindow() {
        const auto deadline = Clock::now() + WindowLimit;
        while (Clock::now() < deadline && Running()) {
            Search search{process_.dwProcessId, nullptr};
            EnumWindows(FindProgramWindow, reinterpret_cast<LPARAM>(&search));
            if (search.found) return search.found;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return nullptr;
    }

    std::wstring Title(HWND window) {
        wchar_t text[256] = {};
        DWORD_PTR length = 0;
        // Asked of the window itself, as the taskbar does.
        SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text),
                            SMTO_ABORTIFHUNG, MessageLimitMs, &length);
        return std::wstring(text, length);
    }

    // What the keyboard sends the focused window for Alt+F4: a system key with Alt held.
    void PressAltF4(HWND window) {
        constexpr LPARAM AltHeld = 1 << 29;
        PostMessageW(window, WM_SYSKEYDOWN, VK_F4, AltHeld | 1);
        PostMessageW(window, WM_SYSKEYUP, VK_F4, AltHeld | 0xC0000001);
    }

    DWORD WaitForExit() {
        if (WaitForSingleObject(process_.hProcess, ExitLimitMs) != WAIT_OBJECT_0) return 0xFFFF;
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    std::wstring In(const wchar_t* name) { return folder_ + L"\\" + name; }

    std::wstring folder_, program_;
    PROCESS_INFORMATION process_{};
};

TEST_F(WindowsProgram, DemoWithLoggingLogsTheFourSensorsAndAltF4SavesTheNineKeys) {
    Write(In(SettingsName), "Port = DEMO\r\nInterval = 1\r\nLog = 1\r\n");
    const auto started = Clock::now();
    Launch();
    HWND window = WaitForWindow();
    ASSERT_NE(nullptr, window) << "no window";
    EXPECT_EQ(WindowTitle, Title(window));

    bool allLogged = false;
    while (!allLogged && Clock::now() - started < LogLimit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        allLogged = LoggedRoms(Read(In(LogName))).size() >= DemoDevices;
        ASSERT_TRUE(Running()) << "the program ended by itself";
    }
    ASSERT_TRUE(allLogged) << Read(In(LogName));
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::printf("all four thermometers logged %.2f s after the start\n", seconds);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(process_.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof(memory)))
        // Wine reports no private usage for another process (0); Windows does.
        std::printf("while monitoring: working set %lu KiB, private %lu KiB\n",
                    static_cast<unsigned long>(memory.WorkingSetSize / 1024),
                    static_cast<unsigned long>(memory.PrivateUsage / 1024));

    PressAltF4(window);
    EXPECT_EQ(0u, WaitForExit());
    const std::string log = Read(In(LogName));
    ASSERT_GT(log.size(), 3u);
    EXPECT_EQ("\xEF\xBB\xBF", log.substr(0, 3));
    EXPECT_EQ("\r\n", log.substr(log.size() - 2)) << "the last line is complete";
    EXPECT_EQ(DemoDevices, LoggedRoms(log).size());

    const std::vector<std::string> lines = Lines(Read(In(SettingsName)));
    EXPECT_EQ(NineKeys, Keys(lines));
    ASSERT_EQ(9u, lines.size());
    EXPECT_EQ("Port = DEMO", lines[0]);
    EXPECT_EQ("Log = 1", lines[6]);
}

TEST_F(WindowsProgram, WithoutASettingsFileItWritesTheNineDefaultLines) {
    Launch();
    HWND window = WaitForWindow();
    ASSERT_NE(nullptr, window) << "no window";
    // Written at start-up already; the close writes it once more.
    PressAltF4(window);
    EXPECT_EQ(0u, WaitForExit());
    const std::string text = Read(In(SettingsName));
    EXPECT_EQ("\xEF\xBB\xBF", text.substr(0, 3));
    EXPECT_EQ((std::vector<std::string>{"Port = ", "Interval = 1", "ThermoControl = 0",
                                        "ConvertOnly = 0", "ThermoMin = 0", "ThermoMax = 10",
                                        "Log = 0", "CPU_MinUsage = 0", "Invert = 0"}),
              Lines(text));
    EXPECT_NE(std::string::npos, text.find("Invert = 0\r\n"));
}

TEST_F(WindowsProgram, TheEndOfTheSessionSavesAndEndsTheProgram) {
    Write(In(SettingsName), "Port = DEMO\r\nInterval = 7\r\nThermoMax = 30\r\n");
    Launch();
    HWND window = WaitForWindow();
    ASSERT_NE(nullptr, window) << "no window";
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG,
                                    MessageLimitMs, &answer));
    EXPECT_TRUE(answer) << "the program refused the end of the session";
    // The program shuts down before it answers, so the answer may never come.
    SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, MessageLimitMs, &answer);
    EXPECT_EQ(0u, WaitForExit());
    const std::vector<std::string> lines = Lines(Read(In(SettingsName)));
    EXPECT_EQ(NineKeys, Keys(lines));
    ASSERT_EQ(9u, lines.size());
    EXPECT_EQ("Port = DEMO", lines[0]);
    EXPECT_EQ("Interval = 7", lines[1]);
    EXPECT_EQ("ThermoMax = 30", lines[5]);
}

}  // namespace
