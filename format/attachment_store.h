// Where the reader puts the attachments of a card: each is made without a
// name others could see, filled, and then either put in place whole under a
// new name or discarded. The reader never names a path itself, so the
// caller decides where attachments go (the host's temporary folder for a
// load; anything else for a test or a tool).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/tempfile.h"

namespace qel::format {

class AttachmentStore {
public:
    virtual ~AttachmentStore() = default;
    // Starts a new attachment to be named after `name` (as the file gives
    // it; the store makes it safe). One attachment is open at a time.
    // Raises CFileException when it cannot be made.
    virtual void Create(const std::u16string& name) = 0;
    // Appends bytes to the open attachment; raises CFileException. A store
    // may write them after it returns: they must stay as they are until the
    // next call of the store, which waits for them (and raises a failure of
    // theirs: Write and Commit as theirs, Discard drops it).
    virtual void Write(const unsigned char* bytes, std::size_t count) = 0;
    // Puts the open attachment in place, exclusively under a name of its
    // own, and returns where; raises CFileException (it is then discarded).
    virtual std::u16string Commit() = 0;
    // Drops the open attachment, if any; nothing of it stays.
    virtual void Discard() noexcept = 0;
    // Removes every attachment committed so far (a load that fails leaves
    // none behind).
    virtual void RemoveCommitted() noexcept = 0;
};

// Attachments as new files of a folder (QelNewFile): never in place of
// another entry, under their name only once whole, without the flush to the
// disk that the export's output gets. Each keeps the name the card gives it
// (a name already there puts the file in a new folder of its own), so that
// the card written again names its parts as before. Large blocks are written on a thread of
// their own (WriteBehind) while the reader decodes the next one.
class FolderStore final : public AttachmentStore {
public:
    // How a file is named: after its part, in a folder of its own when the
    // name is taken (the default: a card read and written again names its
    // parts as before), or under the next free name of the folder.
    enum class Naming { asGiven, nextFree };
    // `folder` empty: the host's temporary folder, asked at each Create.
    explicit FolderStore(std::u16string folder = {}, Naming naming = Naming::asGiven)
        : m_folder(std::move(folder)), m_naming(naming) {}
    ~FolderStore() override { Discard(); }
    void Create(const std::u16string& name) override;
    void Write(const unsigned char* bytes, std::size_t count) override;
    std::u16string Commit() override;
    void Discard() noexcept override;
    void RemoveCommitted() noexcept override;
    // What was committed so far, in order.
    const std::vector<std::u16string>& Committed() const noexcept { return m_committed; }

private:
    std::u16string m_folder;
    Naming m_naming;
    QelNewFile m_file;
    qel::host::WriteBehind m_behind;  // declared after the file: it ends first
    std::vector<std::u16string> m_committed;
};

}  // namespace qel::format
