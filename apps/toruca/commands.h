// The toruca commands. Each returns the exit status (0, or 1 for `check`
// with problems) and raises Failure for what stops it. FILE arguments may be
// "-" for standard input, and outputs "-" for standard output.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "format/toruca_format.h"
#include "apps/toruca/card.h"

namespace qel::apps {

struct MakeOptions {
    std::string page;
    std::string form = qel::format::kDetailForm.name;
    std::optional<std::string> url, data1, data2, data3, ipId, sortId, expires, lastModified, version;
    std::optional<int> category, color, dist;
    std::vector<std::string> icon;  // FILE TITLE
    Output out;
};
int RunMake(const MakeOptions& o);

int RunInfo(const std::string& file, bool json);
int RunCheck(const std::vector<std::string>& files, bool json);
int RunConvert(const std::string& file, const std::string& form, const Output& out);
int RunExtract(const std::string& file, const std::string& dir);
int RunPreview(const std::string& file, const Output& out);
// The width of an i-mode handset's screen, preview --page's default.
inline constexpr int kHandsetWidth = 240;
// Draws the page of the card `file` `width` pixels wide, as tall as the page
// is (default output page.png).
int RunPreviewPage(const std::string& file, const Output& out, int width);

}  // namespace qel::apps
