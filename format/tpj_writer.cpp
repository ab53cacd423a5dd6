// The writer of snippet, detail and project text (GetFileText). The layout
// itself is in format/card_layout.cpp, written once for the wide text here
// and for the code page 932 bytes the export writes to its file.
#include "format/tpj_writer.h"

#include "format/card_layout.h"
#include "format/card_sink.h"

namespace qel::format {

std::u16string GetFileText(const CQelTpjFile& record) { return CardText(record); }

void WriteImageParts(const CQelTpjFile& record, std::u16string& text, bool pageImages, const std::u16string& boundary) {
    if (!pageImages) {
        WriteImagePart(text, record.m_uniqueIcon, false, boundary);
        return;
    }
    for (int i = 0; i < record.m_arrImages.GetSize(); ++i) WriteImagePart(text, record.m_arrImages[i], true, boundary);
}

bool WriteImagePart(std::u16string& text, const CQelTpjImgFile& entry, bool pageImage, const std::u16string& boundary) {
    WideTextSink sink(text);
    return WriteImagePart(sink, entry, pageImage, std::u16string_view(boundary));
}

}  // namespace qel::format
