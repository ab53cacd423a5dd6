// CQelTorucaUtil: labels of the coded fields (Color-ID, Dist) and date stamps.
#include "toruca/torucautil.h"

#include <ctime>
#include <limits>

#include "framework/strings.h"

namespace {

// Indexed by Color-ID.
constexpr const char16_t* kColorLabels[] = {
    u"赤", u"橙", u"黄", u"緑", u"水", u"青", u"紫", u"桃", u"茶", u"黒",
};

// Indexed by Dist minus 1: may the card be redistributed, may it be updated.
constexpr const char16_t* kDistLabels[] = {
    u"再配布不可かつ更新不可",
    u"再配布不可かつ更新可",
    u"再配布可かつ更新不可",
    u"再配布可かつ更新可",
};

}  // namespace

std::u16string CQelTorucaUtil::GetColorLabel(unsigned index) {
    if (index >= std::size(kColorLabels)) return {};
    return kColorLabels[index];
}

std::u16string CQelTorucaUtil::GetDistLabel(unsigned code) {
    if (code < 1 || code > std::size(kDistLabels)) return {};
    return kDistLabels[code - 1];
}

std::u16string CQelTorucaUtil::GetDateStamp(std::int64_t time) {
    if constexpr (sizeof(std::time_t) < sizeof(std::int64_t)) {
        if (time < std::numeric_limits<std::time_t>::min() || time > std::numeric_limits<std::time_t>::max()) return {};
    }
    const auto t = static_cast<std::time_t>(time);
    // localtime_r, unlike localtime, need not read TZ again; do it so that a
    // change of the zone within the process is seen, as localtime would.
    ::tzset();
    std::tm local{};
    if (!::localtime_r(&t, &local)) return {};  // e.g. EOVERFLOW: the year does not fit
    char buffer[128];
    const std::size_t length = std::strftime(buffer, sizeof buffer, "%y%m%d%H%M", &local);
    if (length == 0) return {};
    return qel::framework::Widen(std::string_view(buffer, length));
}
