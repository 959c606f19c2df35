// The part of the main window the worker writes into, on the headless toolkit.
#pragma once
#include <string>

#include "monitor/window_ids.h"
#include "ui/headless/headless_toolkit.h"
#include "ui/toolkit.h"

namespace kv::soak {

inline ui::HeadlessToolkit& BuildWorkerWindow(const std::u16string& port) {
    ui::HeadlessToolkit& toolkit = ui::InstallHeadlessToolkit();
    toolkit.setDirectCrossThreadCalls(true);  // no window thread serves calls here
    ui::OpenWindow(MainWindow, 0, 0, 640, 400, u"Kalorivox", 0);
    ui::CreateDropDownList(MainWindow, PortSelector, 0, 0, 100, 20);
    ui::CreateTable(MainWindow, SensorTable, 0, 30, 600, 300, u"Тип", 100, 0);
    for (int column = 1; column <= ColumnStatus; ++column)
        ui::AddTableColumn(MainWindow, SensorTable, column, u"", 100);
    ui::CreateStatusBar(StatusLine, MainWindow);
    ui::AddStatusField(StatusLine, ui::FillWidth);
    ui::AddItem(MainWindow, PortSelector, ui::AppendPosition, port);
    ui::SetText(MainWindow, PortSelector, port);
    return toolkit;
}

}  // namespace kv::soak
