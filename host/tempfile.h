// The host's temporary folder and unique file names in it.
//
// The folder is QELHOST_TEMP_DIR when set; otherwise a private per-user folder
// (mode 0700, owned by the user, not a link) under $TMPDIR or /tmp, made on
// first use. A default folder that exists but is not safe is refused: the
// folder then reads as empty and nothing can be written there.
#pragma once

#include <string>

class CParamEngineer {
public:
    // The process's parameter object; never null in this host.
    static CParamEngineer* getInstance();
    // The temporary folder (no trailing '/'), or empty when it cannot be used.
    std::u16string getTempDirectory();
};

class CZorCommon {
public:
    // Folder kind 8 is the temporary folder; other kinds read as empty.
    static std::u16string getProductFolder(int kind, int priority);
};

class QelTempFile {
public:
    // A full path in `folder` based on `name` that names no existing file:
    // the name itself when it is free, otherwise "stem(N).ext" with the
    // smallest free N from 1 ("toruca(1).tpj"). The name is first cut to its
    // last component ('/' and '\' both separate) and its control characters
    // are removed; a result that is empty, "." or ".." becomes "file". The
    // path is always inside the folder. Empty when the folder is empty.
    static std::u16string makeUniquePath2(const std::u16string& name, const std::u16string& folder, int reserved,
                                          const std::u16string& unused);
    static std::u16string makeUniquePath3(const std::u16string& name, const std::u16string& folder, bool flag,
                                          int reserved, const std::u16string& unused);
};
