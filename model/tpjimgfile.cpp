#include "model/tpjimgfile.h"

#include <utility>

#include "framework/exceptions.h"

const CQelTpjImgFile& CQelTpjImgFileArray::GetAt(int index) const {
    if (index < 0 || index >= GetSize()) AfxThrowInvalidArgException();
    return m_items[static_cast<std::size_t>(index)];
}

CQelTpjImgFile& CQelTpjImgFileArray::GetAt(int index) {
    if (index < 0 || index >= GetSize()) AfxThrowInvalidArgException();
    return m_items[static_cast<std::size_t>(index)];
}

int CQelTpjImgFileArray::Add(CQelTpjImgFile entry) {
    m_items.push_back(std::move(entry));
    return GetSize() - 1;
}

void CQelTpjImgFileArray::RemoveAll() noexcept { std::vector<CQelTpjImgFile>().swap(m_items); }

void CQelTpjImgFileArray::SetSize(int size) {
    if (size < 0) AfxThrowInvalidArgException();
    if (size == 0) RemoveAll();
    else if (size < GetSize()) m_items.resize(static_cast<std::size_t>(size));
    else
        while (GetSize() < size) m_items.emplace_back();
}
