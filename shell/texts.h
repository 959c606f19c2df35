// Every text the shell shows, exactly as the user sees it.
#pragma once

namespace kv::texts {

inline constexpr char16_t WindowTitle[] = u"DS18B20 Kalorivox v1.1";

inline constexpr char16_t MenuFileTitle[] = u"Файл";
inline constexpr char16_t MenuLogText[] = u"Записывать в лог-файл";
inline constexpr char16_t MenuExitText[] = u"Выход";
inline constexpr char16_t MenuModeTitle[] = u"Режим";
inline constexpr char16_t MenuLowCpuText[] = u"Снизить нагрузку на CPU";
inline constexpr char16_t MenuInvertText[] = u"Инвертировать DTR и RTS";
inline constexpr char16_t MenuSeparatePollingText[] = u"Раздельный опрос";
inline constexpr char16_t MenuHelpTitle[] = u"Справка";
inline constexpr char16_t MenuAboutText[] = u"О программе";
inline constexpr char16_t MenuChartText[] = u"График температур…";

inline constexpr char16_t PortLabel[] = u"Порт:";
inline constexpr char16_t IntervalLabel[] = u"Интервал опроса:";
inline constexpr char16_t IntervalTip[] = u"Интервал в секундах опроса датчиков";
inline constexpr char16_t LimitCheckCaption[] = u"Термо контроль";
inline constexpr char16_t MinLabel[] = u"Мин:";
inline constexpr char16_t MinTip[] = u"Минимальная допустимая температура";
inline constexpr char16_t MaxLabel[] = u"Макс:";
inline constexpr char16_t MaxTip[] = u"Максимальная допустимая температура";

inline constexpr char16_t AboutCaption[] = u"О программе";
inline constexpr char16_t AboutText[] =
    u"Мониторинг температуры с использованием DS18x20.\nE-Mail: kalorivox@example.org";

// The chart window.
inline constexpr char16_t ChartTitle[] = u"График температур";
inline constexpr char16_t ChartRangeLabel[] = u"Период:";
inline constexpr char16_t ChartRangeTenMinutes[] = u"10 минут";
inline constexpr char16_t ChartRangeHour[] = u"1 час";
inline constexpr char16_t ChartRangeDay[] = u"24 часа";
inline constexpr char16_t ChartRangeAll[] = u"Всё";
inline constexpr char16_t ChartLogLoading[] = u"Чтение лог-файла…";
inline constexpr char16_t ChartLogLoadedHead[] = u"Из лог-файла прочитано показаний: ";
inline constexpr char16_t ChartLogSkippedHead[] = u", пропущено строк: ";
inline constexpr char16_t ChartMenuSaveText[] = u"Сохранить в PNG-файл";
inline constexpr char16_t ChartSavedHead[] = u"График сохранён в ";
inline constexpr char16_t ChartSaveFailedHead[] = u"Не удалось сохранить график в ";

// Start-up failures, each in a message box.
inline constexpr char16_t StartFailedCaption[] = u"Ошибка запуска";
inline constexpr char16_t FolderChangeFailed[] =
    u"Не удалось перейти в папку программы. Настройки и лог-файл не могут быть сохранены.";
inline constexpr char16_t WorkerStartFailed[] = u"Не удалось запустить опрос датчиков.";
inline constexpr char16_t SignalSetupFailed[] =
    u"Не удалось перехватить сигналы завершения. Закрывайте программу только через меню.";

}  // namespace kv::texts
