#include "shell/settings.h"

#include <algorithm>
#include <cstdint>

#include "monitor/control_block.h"
#include "monitor/port_chooser.h"
#include "monitor/window_ids.h"
#include "onewire/port.h"
#include "runtime/ini_store.h"
#include "shell/main_window.h"
#include "ui/toolkit.h"

namespace kv {
namespace {

using namespace kv::ui;

namespace key {
constexpr char16_t Port[] = u"Port";
constexpr char16_t Interval[] = u"Interval";
constexpr char16_t ThermoControl[] = u"ThermoControl";
constexpr char16_t ConvertOnly[] = u"ConvertOnly";
constexpr char16_t ThermoMin[] = u"ThermoMin";
constexpr char16_t ThermoMax[] = u"ThermoMax";
constexpr char16_t Log[] = u"Log";
constexpr char16_t CpuMinUsage[] = u"CPU_MinUsage";
constexpr char16_t Invert[] = u"Invert";
}  // namespace key

constexpr int32_t DefaultInterval = 1;
constexpr int32_t DefaultThermoMin = 0;
constexpr int32_t DefaultThermoMax = 10;
constexpr int LoadedIntervalMaximum = 100;
// Stored limits are accepted above this floor and up to the ceiling, then brought into the
// spin boxes' narrower range.
constexpr int LoadedLimitFloor = -55;
constexpr int LoadedLimitCeiling = 130;

// A flag is written as 1 or 0; when read, only its lowest bit counts (Invert excepted).
constexpr int32_t StoredOn = 1;
constexpr int32_t StoredOff = 0;
constexpr int32_t StoredFlagBit = 1;

uint8_t ReadFlag(std::u16string_view name) {
    return static_cast<uint8_t>(IniReadInteger(name, StoredOff) & StoredFlagBit);
}

int32_t StoredFlag(int checkState) {
    return checkState != Unchecked ? StoredOn : StoredOff;
}

bool LimitAccepted(int16_t value) {
    return value > LoadedLimitFloor && value <= LoadedLimitCeiling;
}

}  // namespace

void LoadSettings() {
    const bool opened = IniOpen(SettingsFileName) != 0;

    const std::u16string port = IniReadString(key::Port, u"");
    // Kept even when the chooser has no such entry: the adapter may be plugged in later.
    PortChoiceSet(port);
    if (port.empty()) {
        SetState(MainWindow, PortSelector, NoSelection);
    } else {
        SetText(MainWindow, PortSelector, port);
    }

    uint16_t interval = static_cast<uint16_t>(IniReadInteger(key::Interval, DefaultInterval));
    if (interval == 0 || interval > LoadedIntervalMaximum) interval = DefaultInterval;
    // What the spin box can show is what the worker uses.
    interval = std::min<uint16_t>(interval, IntervalMaximum);
    ControlBlock.Interval = interval;
    ShowSpinValue(IntervalSpin, interval);

    ControlBlock.ThermoControl = ReadFlag(key::ThermoControl);
    SetState(MainWindow, LimitCheckBox, CheckState(ControlBlock.ThermoControl != 0));

    ControlBlock.ConvertOnly = ReadFlag(key::ConvertOnly);
    SetMenuItemState(MainMenu, MenuSeparatePolling, CheckState(ControlBlock.ConvertOnly != 0));

    int16_t thermoMin = static_cast<int16_t>(IniReadInteger(key::ThermoMin, DefaultThermoMin));
    int16_t thermoMax = static_cast<int16_t>(IniReadInteger(key::ThermoMax, DefaultThermoMax));

    ControlBlock.Log = ReadFlag(key::Log);
    SetMenuItemState(MainMenu, MenuLog, CheckState(ControlBlock.Log != 0));

    uint32_t options = OneWireGetOptions();
    const int cpu = ReadFlag(key::CpuMinUsage);
    if (cpu != 0) options |= OptLowCpu;
    SetMenuItemState(MainMenu, MenuLowCpu, CheckState(cpu != 0));
    const int32_t invert = IniReadInteger(key::Invert, StoredOff);  // any nonzero value means on
    if (invert != 0) options |= OptInvertPower;
    SetMenuItemState(MainMenu, MenuInvert, CheckState(invert != 0));
    OneWireSetOptions(options);

    if (!LimitAccepted(thermoMin)) thermoMin = DefaultThermoMin;
    if (!LimitAccepted(thermoMax)) thermoMax = DefaultThermoMax;
    thermoMin = std::clamp<int16_t>(thermoMin, LimitMinimum, LimitMaximum);
    thermoMax = std::clamp<int16_t>(thermoMax, LimitMinimum, LimitMaximum);
    if (thermoMin >= thermoMax) thermoMin = static_cast<int16_t>(thermoMax - 1);
    ControlBlock.ThermoMin = thermoMin;
    ControlBlock.ThermoMax = thermoMax;
    ShowSpinValue(MinSpin, thermoMin);
    ShowSpinValue(MaxSpin, thermoMax);

    PostEvent(ControlEvent, MainWindow, PortSelector, Changed);
    PostEvent(ControlEvent, MainWindow, LimitCheckBox, Clicked);

    if (opened) IniClose();
}

void SaveSettings() {
    if (IniCreate(SettingsFileName) == 0) return;
    // A selection is the user's choice (every pick is saved); without one the chosen port
    // is not offered at the moment, and its name stays until the user picks another.
    std::u16string port = GetText(MainWindow, PortSelector);
    if (port.empty()) {
        port = PortChoiceName();
    } else {
        PortChoiceSet(port);
    }
    IniWriteString(key::Port, port);
    IniWriteInteger(key::Interval, GetState(MainWindow, IntervalSpin));
    IniWriteInteger(key::ThermoControl, StoredFlag(GetState(MainWindow, LimitCheckBox)));
    IniWriteInteger(key::ConvertOnly, StoredFlag(GetMenuItemState(MainMenu, MenuSeparatePolling)));
    IniWriteInteger(key::ThermoMin, GetState(MainWindow, MinSpin));
    IniWriteInteger(key::ThermoMax, GetState(MainWindow, MaxSpin));
    IniWriteInteger(key::Log, ControlBlock.Log);
    IniWriteInteger(key::CpuMinUsage, StoredFlag(GetMenuItemState(MainMenu, MenuLowCpu)));
    IniWriteInteger(key::Invert, StoredFlag(GetMenuItemState(MainMenu, MenuInvert)));
    IniClose();
}

}  // namespace kv
