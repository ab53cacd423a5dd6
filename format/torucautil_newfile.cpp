// CQelTorucaUtil::CreateNewFile: new files for attachments in the host's
// temporary folder.
#include "framework/exceptions.h"
#include "framework/file.h"
#include "host/tempfile.h"
#include "toruca/torucautil.h"

namespace {

// Names tried before giving up when other processes keep taking them.
constexpr int kMaxAttempts = 32;

// True when `path` is `folder`, one '/', and one component that is neither
// "." nor "..": the only form of path an attachment may be written to.
bool IsDirectlyIn(const std::u16string& path, std::u16string folder) {
    while (folder.size() > 1 && folder.back() == u'/') folder.pop_back();
    if (folder == u"/") folder.clear();
    if (path.size() <= folder.size() + 1 || path.compare(0, folder.size(), folder) != 0 ||
        path[folder.size()] != u'/')
        return false;
    const std::u16string_view leaf = std::u16string_view(path).substr(folder.size() + 1);
    return leaf.find(u'/') == std::u16string_view::npos && leaf != u"." && leaf != u"..";
}

}  // namespace

bool CQelTorucaUtil::CreateNewFile(CFile& file, const std::u16string& folder, const std::u16string& name,
                                   std::u16string& path) {
    if (folder.empty()) return false;
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        const std::u16string candidate = QelTempFile::makeUniquePath3(name, folder, true, 0, std::u16string());
        if (candidate.empty() || !IsDirectlyIn(candidate, folder)) return false;
        CFileException error;
        if (file.Open(candidate,
                      CFile::modeCreate | CFile::modeCreateNew | CFile::modeWrite | CFile::shareExclusive |
                          CFile::typeBinary,
                      &error)) {
            path = candidate;
            return true;
        }
        // Someone made a file of that name since makeUniquePath3 looked: ask again.
        if (error.m_cause != CFileException::alreadyExists) return false;
    }
    return false;
}
