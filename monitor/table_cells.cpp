#include "monitor/table_cells.h"

#include "monitor/window_ids.h"
#include "ui/toolkit.h"

namespace kv {

void SetCellText(int32_t row, int column, std::u16string_view text) {
    ui::SetItemText(MainWindow, SensorTable, row, text, column);
}

void SetCellColour(int32_t row, int column, int32_t colour) {
    ui::SetItemColour(MainWindow, SensorTable, row, ui::ColourBackground, colour, column);
}

}  // namespace kv
