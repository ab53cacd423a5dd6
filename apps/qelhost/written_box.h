// The end of an export in real windows that started no editor: a message
// box says where the file went and offers to open its folder, so that a
// user who started qelhost from the desktop sees the result.
#pragma once

#include <string>

namespace qel::apps {

// The box's text for the written file `path`.
std::u16string WrittenFileText(const std::string& path);

// Shows the box for `path` through the modal driver in force, with the
// buttons "Open Folder" (the default) and "Close"; "Open Folder" opens the
// file's folder in the file manager (xdg-open). A folder that cannot be
// opened is said on standard error and in a second box. True when the
// folder was opened.
bool ShowWrittenFile(const std::string& path);

}  // namespace qel::apps
