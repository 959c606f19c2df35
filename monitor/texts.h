// Every text the monitor shows, kept exactly as the user sees it (typos included).
#pragma once
#include <string_view>

namespace kv::texts {

// Column headings of the sensor table (the window's, and the live page's).
inline constexpr char16_t ColumnTypeHeading[] = u"Тип";
inline constexpr char16_t ColumnSerialHeading[] = u"Серийный номер";
inline constexpr char16_t ColumnPowerHeading[] = u"Подключение";
inline constexpr char16_t ColumnTemperatureHeading[] = u"Температура";
inline constexpr char16_t ColumnStatusHeading[] = u"Статус";

// Type names by family code.
inline constexpr std::u16string_view TypeDs18s20 = u"DS1820 / DS18S20";
inline constexpr std::u16string_view TypeDs18b20 = u"DS18B20";
inline constexpr std::u16string_view TypeUnknown = u"Неизвестное устройство";

// Row cells.
inline constexpr std::u16string_view RomCrcWarning = u"  ОШИБКА CRC";
inline constexpr std::u16string_view PowerExternal = u"3 вывода";
inline constexpr std::u16string_view PowerParasite = u"2 вывода ('паразитное' питание)";
inline constexpr std::u16string_view PowerUnknown = u"Ошибка";
inline constexpr std::u16string_view Measuring = u"Измерение";
inline constexpr std::u16string_view Initialising = u"Инициализация";
inline constexpr std::u16string_view ReadingOk = u"OK";
inline constexpr std::u16string_view ReadingCrcError = u"Ошибка CRC";
inline constexpr std::u16string_view ReadingPowerOn = u"Нет измерения после сброса питания";
inline constexpr std::u16string_view DegreesSuffix = u" °C";
// A thermometer that the search no longer finds, and since when.
inline constexpr std::u16string_view NotAnsweringHead = u"Не отвечает с ";
inline constexpr std::u16string_view NotAnsweringDateMask = u"%dd/%mm %hh:%ii";

// Port opening and search.
inline constexpr std::u16string_view PortOpened = u"Порт открыт";
inline constexpr std::u16string_view PortOpenFailedHead = u"Не удалось открыть порт '";
inline constexpr std::u16string_view PortOpenFailedTail =
    u"'  Возможно он зянят или отстуствует в системе";
inline constexpr std::u16string_view Searching = u"Поиск '1-Wire' устройств...";
inline constexpr std::u16string_view NothingFoundHead = u"На порту ";
inline constexpr std::u16string_view NothingFoundTail = u", '1-Wire' устройства не найдены.";
// The chosen port is not there: not offered (unplugged at start-up), or its device went
// away while it was open. The worker opens it again by itself when it returns.
inline constexpr std::u16string_view PortMissingHead = u"Порт '";
inline constexpr std::u16string_view PortMissingTail = u"' недоступен";
inline constexpr std::u16string_view PortGoneTail = u"' отключён";
// A search between two passes holds the readings back for long.
inline constexpr std::u16string_view SearchingBetweenPasses =
    u"Поиск '1-Wire' устройств, опрос приостановлен...";
// After the count of a list that a search spoiled by the line left incomplete.
inline constexpr std::u16string_view SearchIncomplete = u"  Поиск прерван ошибкой, будет повторён";

// Status line.
inline constexpr std::u16string_view FoundHead = u"Найдено ";
inline constexpr std::u16string_view FoundWire = u" '1-Wire' ";
inline constexpr std::u16string_view DeviceOne = u"устройство";
inline constexpr std::u16string_view DeviceFew = u" устройства";
inline constexpr std::u16string_view DeviceMany = u" устройств";
inline constexpr std::u16string_view SentenceEnd = u".";
inline constexpr std::u16string_view FaultyLead = u".    ";
inline constexpr std::u16string_view FaultyVerbOne = u"Обнаружен ";
inline constexpr std::u16string_view FaultyVerbFew = u"Обнаружено ";
inline constexpr std::u16string_view FaultyVerbMany = u"Обнаружены ";
inline constexpr std::u16string_view SensorOne = u" датчик";
inline constexpr std::u16string_view SensorFew = u" датчика";
inline constexpr std::u16string_view SensorMany = u" датчиков";
inline constexpr std::u16string_view FaultyTail = u" с ошибками в работе";
inline constexpr std::u16string_view LimitLead = u"  В ";
inline constexpr std::u16string_view LimitSensorOne = u" датчике";
inline constexpr std::u16string_view LimitSensorFew = u" датчиках";
inline constexpr std::u16string_view LimitSensorMany = u" датчиках";
inline constexpr std::u16string_view LimitTail =
    u" зафиксирован выход за пределы допустимой температуры";

// Event log.
inline constexpr std::u16string_view LogFileName = u"DS18B20_Kalorivox.log";
// The sensors' names, beside the program when the user made one (the probe's --names form).
inline constexpr std::u16string_view NamesFileName = u"Kalorivox-names.txt";
inline constexpr std::u16string_view LogDateMask = u"[%dd/%mm/%yyyy %hh:%ii:%ss]  ";
inline constexpr std::u16string_view LogSeparator = u"  —  ";
// Added to the status line while records cannot be written to the log.
inline constexpr std::u16string_view LogWriteFailed = u"Ошибка записи в лог-файл";
// Added once the log is written again, when records were lost meanwhile (their number follows).
inline constexpr std::u16string_view LogRecordsLost = u"Потеряно записей лог-файла: ";
inline constexpr std::u16string_view StatusNoteLead = u"    ";

// Temperature chart.
inline constexpr std::u16string_view ChartDegrees = u"°C";
inline constexpr std::u16string_view ChartNoReadings = u"Нет показаний за это время";
inline constexpr std::u16string_view ChartLimits = u"Пределы ";
// In place of a value: a sensor gone or silent, or without a reading at the pointer.
inline constexpr std::u16string_view ChartNoValue = u"—";

}  // namespace kv::texts
