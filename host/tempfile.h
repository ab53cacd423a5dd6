// The host's temporary folder and unique file names in it.
//
// The folder is QELHOST_TEMP_DIR when set and not empty (read at each call;
// made when missing); otherwise a private per-user folder "qelhost-<uid>"
// (mode 0700, owned by the user, not a link) under $TMPDIR (when absolute) or
// /tmp, made on first use. A default folder that exists but is a link, not a
// folder, another user's or writable by group or others is refused: one line
// on standard error says why (once per process and folder), and the folder
// reads as empty, so nothing can be written there. One that is only readable
// by others is made private (0700).
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
    // A full path in `folder` based on `name` that names no existing entry
    // (file, folder or link, dangling links included): the name itself when
    // it is free, otherwise "stem(N).ext" with the smallest free N from 1
    // ("toruca(1).tpj"; the extension starts at the last dot, not at a
    // leading one: "README(1)", ".hidden(1)"). The name is first cut to its
    // last component ('/' and '\' both separate) and its control characters
    // (C0, DEL, C1) and NULs are removed; a result that is empty, "." or ".."
    // becomes "file". A name longer than 255 bytes of UTF-8 is cut at the
    // end of its stem, keeping the extension and the number. The path is
    // always directly inside the folder. Empty when the folder is empty or
    // cannot be searched. Nothing is created: the caller makes the file. The
    // other arguments are the host's and are not used.
    static std::u16string makeUniquePath2(const std::u16string& name, const std::u16string& folder, int reserved,
                                          const std::u16string& unused);
    static std::u16string makeUniquePath3(const std::u16string& name, const std::u16string& folder, bool flag,
                                          int reserved, const std::u16string& unused);
};
