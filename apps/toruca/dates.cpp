#include "apps/toruca/dates.h"

#include <cstdio>

namespace qel::apps {

namespace {

// The number of `count` digits at `at`; -1 when one is no digit.
int Digits(const std::string& text, std::size_t at, std::size_t count) {
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

int DaysIn(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// YYMMDD at the start of `text` (of at least six characters).
std::optional<CardDate> ParseDay(const std::string& text) {
    const int yy = Digits(text, 0, 2), month = Digits(text, 2, 2), day = Digits(text, 4, 2);
    if (yy < 0 || month < 1 || month > 12 || day < 1) return std::nullopt;
    CardDate d;
    d.year = 2000 + yy;
    d.month = month;
    d.day = day;
    if (day > DaysIn(d.year, month)) return std::nullopt;
    return d;
}

}  // namespace

long long CardDate::Key() const {
    return (((static_cast<long long>(year) * 100 + month) * 100 + day) * 100 + hour) * 100 + minute;
}

std::string CardDate::Shown(bool withTime) const {
    char text[32];
    if (withTime) std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", year, month, day, hour, minute);
    else std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

std::optional<CardDate> ParseExpires(const std::string& text) {
    if (text.size() != 6) return std::nullopt;
    return ParseDay(text);
}

std::optional<CardDate> ParseLastModified(const std::string& text) {
    if (text.size() != 10) return std::nullopt;
    std::optional<CardDate> d = ParseDay(text);
    const int hour = Digits(text, 6, 2), minute = Digits(text, 8, 2);
    if (!d || hour < 0 || hour > 23 || minute < 0 || minute > 59) return std::nullopt;
    d->hour = hour;
    d->minute = minute;
    return d;
}

CardDate LocalDate(std::time_t when) {
    std::tm local{};
    ::tzset();
    CardDate d;
    if (!::localtime_r(&when, &local)) return d;
    d.year = local.tm_year + 1900;
    d.month = local.tm_mon + 1;
    d.day = local.tm_mday;
    d.hour = local.tm_hour;
    d.minute = local.tm_min;
    return d;
}

}  // namespace qel::apps
