// Day numbers of calendar dates, counted from 30 December 1899 (day 0).
#pragma once

#include <chrono>

inline double dayNumber(int y, unsigned m, unsigned d)
{
    using namespace std::chrono;
    auto days = sys_days{year{y} / month{m} / day{d}} - sys_days{year{1899} / December / 30};
    return static_cast<double>(days.count());
}
