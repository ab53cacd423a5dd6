// The toruca commands. Each returns the exit status (0, or 1 for `check`
// with problems) and raises Failure for what stops it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "format/toruca_format.h"

namespace qel::apps {

struct MakeOptions {
    std::string page;
    std::string form = qel::format::kDetailForm.name;
    std::optional<std::string> url, data1, data2, data3, ipId, sortId, expires, lastModified, version;
    std::optional<int> category, color, dist;
    std::vector<std::string> icon;  // FILE TITLE
    std::string out;
};
int RunMake(const MakeOptions& o);

int RunInfo(const std::string& file, bool json);
int RunCheck(const std::vector<std::string>& files);
int RunConvert(const std::string& file, const std::string& form, const std::string& out);
int RunExtract(const std::string& file, const std::string& dir);
int RunPreview(const std::string& file, const std::string& out);

}  // namespace qel::apps
