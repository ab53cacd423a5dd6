// One image of a card (a file on disk and its content id, or the unique
// category icon's file and title) and the ordered list of a record's images.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

class CQelTpjImgFile {
public:
    CQelTpjImgFile() = default;
    CQelTpjImgFile(std::u16string path, std::u16string id) : m_strPath(std::move(path)), m_strId(std::move(id)) {}
    CQelTpjImgFile(const CQelTpjImgFile&) = default;
    CQelTpjImgFile& operator=(const CQelTpjImgFile&) = default;
    // Moving is noexcept, so that a growing array moves its entries.
    CQelTpjImgFile(CQelTpjImgFile&&) noexcept = default;
    CQelTpjImgFile& operator=(CQelTpjImgFile&&) noexcept = default;
    // Frees the strings only: the file named by m_strPath stays on disk.
    virtual ~CQelTpjImgFile() = default;

    // Page image: full path of the file (or, for a reference without a local
    // path, its absolute URL). Unique icon: full path of the icon file.
    // An inline image: the name of its part ("image3.png").
    std::u16string m_strPath;
    // Page image: content id without "cid:" and without angle brackets.
    // Unique icon: the icon's title (may be empty).
    std::u16string m_strId;
    // An image that its page gives inline (a data: URL) has no file: its
    // bytes are kept here, shared by the copies of the entry, until the
    // card is written. Null for an image in a file.
    std::shared_ptr<const std::string> m_data;
};

// The framework's growable array of image entries, held by value in
// insertion order. Duplicates are allowed; nothing here compares entries.
class CQelTpjImgFileArray {
public:
    int GetSize() const noexcept { return static_cast<int>(m_items.size()); }
    int GetCount() const noexcept { return GetSize(); }
    // Raises CInvalidArgException for an index below 0 or not below the count.
    const CQelTpjImgFile& GetAt(int index) const;
    CQelTpjImgFile& GetAt(int index);
    const CQelTpjImgFile& operator[](int index) const { return GetAt(index); }
    // Appends the entry; returns its index.
    int Add(CQelTpjImgFile entry);
    // Removes every entry and releases the storage.
    void RemoveAll() noexcept;
    // Size 0 only: growing is done by Add.
    void SetSize(int size);

private:
    std::vector<CQelTpjImgFile> m_items;
};
