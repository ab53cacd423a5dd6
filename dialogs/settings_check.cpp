#include "dialogs/settings_check.h"

#include "framework/strings.h"

namespace {

constexpr char16_t kBadUrl[] = u"URLは「http://」で始まる半角英数字記号です。";
constexpr char16_t kHttpPrefix[] = u"http://";

}  // namespace

namespace qel::dialogs {

const char16_t* CheckUrl(const std::u16string& url) {
    if (url.empty() || qel::framework::StartsWithNoCase(url, kHttpPrefix)) return nullptr;
    return kBadUrl;
}

}  // namespace qel::dialogs
