// Writing single cells of SensorTable in MainWindow (from the worker thread).
#pragma once
#include <cstdint>
#include <string_view>

namespace kv {

void SetCellText(int32_t row, int column, std::u16string_view text);
void SetCellColour(int32_t row, int column, int32_t colour);

}  // namespace kv
