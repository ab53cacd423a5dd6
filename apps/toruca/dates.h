// The card's two dates as the handsets read them: Expires "YYMMDD" (the
// last day the card is valid) and LM "YYMMDDhhmm" (the last update), both
// in local time, the years 2000 to 2099.
#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace qel::apps {

struct CardDate {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    // yyyymmddhhmm as one number, for comparing.
    long long Key() const;
    // "2010-12-31", with " 19:04" when `withTime`.
    std::string Shown(bool withTime) const;
};

// The date the text names, or none when it is no date (not six digits, no
// such month or day).
std::optional<CardDate> ParseExpires(const std::string& text);
// The date and time the text names, or none (not ten digits, no such day,
// hour or minute).
std::optional<CardDate> ParseLastModified(const std::string& text);

// The local date and time of `when`.
CardDate LocalDate(std::time_t when);

}  // namespace qel::apps
