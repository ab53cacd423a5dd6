// The checks of the settings dialog on its values, apart from the dialog so
// that whatever else sets a record's values (the toruca tool) refuses what
// the dialog refuses, with the dialog's words.
#pragma once

#include <string>

namespace qel::dialogs {

// The message the settings dialog shows for `url` when it refuses it
// ("URLは「http://」で始まる半角英数字記号です。"), or null when it is taken:
// an empty URL, or one that begins with "http://" in any case.
const char16_t* CheckUrl(const std::u16string& url);

}  // namespace qel::dialogs
