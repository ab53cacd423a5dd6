// Path services of the host. Paths are wide strings (UTF-16) of the local
// file system; '/' separates their components.
#pragma once

#include "host/api.h"

#include <string>

// Extension of the last component without its dot; empty when it has none.
QEL_HOST_API std::u16string getBaseExt(const std::u16string& path);
// The last component, extension included.
QEL_HOST_API std::u16string getBaseName(const std::u16string& path);
// The folder part: everything before the last '/', empty when there is none.
QEL_HOST_API std::u16string getBasePath(const std::u16string& path);
// Non-zero when the path names an existing regular file (links followed).
QEL_HOST_API int is_file(const std::u16string& path);
// The absolute, normalised form of `path`, NUL-terminated in `buffer` of
// `size` wide characters: a relative path starts at the current folder; the
// part that exists is resolved by the system (links, "." and ".."), the rest
// normalised lexically; no trailing '/'. Returns the length written, 0 when
// it does not fit or the path is empty (the buffer then holds the path as
// given, cut to fit without splitting a surrogate pair). Nothing is written
// when `buffer` is null or `size` is not positive.
QEL_HOST_API int QelGetLongPathName(const std::u16string& path, char16_t* buffer, int size);

namespace qel::host {

// One of our libraries that a program opens itself (the module, a plug-in):
// the file beside the running program (the build folder), else in the
// library folder of the installed tree (bin/PROGRAM, lib/qeltoruca/FILE).
// A native path, never empty; the file need not exist.
QEL_HOST_API std::string ProgramLibraryPath(const std::string& file);

}  // namespace qel::host
