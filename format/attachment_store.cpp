#include "format/attachment_store.h"

#include "framework/exceptions.h"

namespace qel::format {

namespace {

// Blocks from this size on are written behind; smaller ones (every
// attachment of a card within the handset limits) on the caller's thread.
constexpr std::size_t kBehindBytes = std::size_t{256} << 10;

}  // namespace

void FolderStore::Create(const std::u16string& name) {
    m_behind.WaitQuietly();
    CFileException error;
    if (!m_file.Create(m_folder.empty() ? qel::host::TemporaryFolder() : m_folder, name, &error)) throw error;
}

void FolderStore::Write(const unsigned char* bytes, std::size_t count) {
    if (count >= kBehindBytes) {
        m_behind.Start(m_file, bytes, count);
    } else if (count > 0) {
        m_behind.Wait();
        m_file.Write(bytes, count);
    }
}

std::u16string FolderStore::Commit() {
    try {
        m_behind.Wait();
    } catch (...) {
        m_file.Discard();
        throw;
    }
    m_committed.reserve(m_committed.size() + 1);  // no failure after the file is in place
    m_committed.push_back(m_naming == Naming::asGiven ? m_file.CommitUnderItsName() : m_file.Commit(false));
    return m_committed.back();
}

void FolderStore::Discard() noexcept {
    m_behind.WaitQuietly();
    m_file.Discard();
}

void FolderStore::RemoveCommitted() noexcept {
    // A folder made for an attachment alone goes with it.
    for (const std::u16string& path : m_committed) qel::host::RemoveNewFile(path);
    m_committed.clear();
}

}  // namespace qel::format
