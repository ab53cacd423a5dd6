// LoadFile, and what the reader makes of each MIME part it takes. The
// reading itself is in format/card_reader.cpp.
#include "format/tpj_reader.h"

#include <algorithm>
#include <iterator>

#include "format/attachment_store.h"
#include "format/card_reader.h"
#include "format/toruca_format.h"
#include "framework/strings.h"
#include "model/tpjfile.h"

namespace qel::format {

bool LoadFile(CQelTpjFile& record, const std::u16string& path) {
    FolderStore temporaryFolder;
    return ReadCard(record, path, temporaryFolder);
}

void ReadMimePart(CQelTpjFile& record, const CQelMimePartLines& lines) {
    if (lines.Is8bit()) {
        record.m_strHtml = lines.BodyText();
        return;
    }
    if (!lines.IsBase64() || lines.m_strSavedPath.empty()) return;
    const std::u16string& type = lines.m_strContentType;
    if (type.find(qel::format::kIconContentType) != std::u16string::npos) {
        record.SetUniqueIcon(lines.m_strSavedPath, GetParam(type, kParamTitle));
        return;
    }
    std::u16string id = lines.m_strContentId;
    if (!id.empty() && id[0] == kContentIdOpen) {
        id.erase(0, 1);
        const std::size_t gt = id.find(kContentIdClose);
        if (gt != std::u16string::npos && gt != 0) id.resize(gt);
    }
    record.AddImage(lines.m_strSavedPath, id);
}

std::u16string GetParam(const std::u16string& value, const std::u16string& name) {
    static constexpr const char16_t* kSkipped[] = {qel::format::kMultipartMixed, qel::format::kIconContentType,
                                                   qel::format::kJpegContentType, qel::format::kGifContentType,
                                                   qel::format::kPngContentType};
    const std::u16string opening = name + kParamOpen;
    std::u16string rest = value;
    while (!rest.empty()) {
        std::u16string piece;
        const std::size_t semi = rest.find(kParamSeparator[0]);
        if (semi == std::u16string::npos) {
            piece.swap(rest);
        } else {
            piece = rest.substr(0, semi);
            rest = qel::framework::TrimRight(std::u16string_view(rest).substr(semi + 1));
        }
        if (std::any_of(std::begin(kSkipped), std::end(kSkipped),
                        [&](const char16_t* t) { return qel::framework::EqualsNoCase(piece, t); }))
            continue;
        if (piece.compare(0, opening.size(), opening) != 0) continue;
        const std::size_t quote = piece.find(kParamClose[0], opening.size());
        if (quote != std::u16string::npos && quote > opening.size())
            return piece.substr(opening.size(), quote - opening.size());
    }
    return {};
}

}  // namespace qel::format
