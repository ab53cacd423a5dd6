// The writer of snippet, detail and project text (GetFileText). The layout
// itself is in format/card_layout.cpp, written once for the wide text here
// and for the code page 932 bytes the export writes to its file.
#include <string>

#include "format/card_layout.h"
#include "format/card_sink.h"
#include "model/tpjfile.h"

std::u16string CQelTpjFile::GetFileText() { return qel::format::CardText(*this); }

void CQelTpjFile::WriteImageParts(std::u16string& text, bool pageImages, const std::u16string& boundary) {
    if (!pageImages) {
        WriteImagePart(text, m_uniqueIcon, false, boundary);
        return;
    }
    for (int i = 0; i < m_arrImages.GetSize(); ++i) WriteImagePart(text, m_arrImages[i], true, boundary);
}

bool CQelTpjFile::WriteImagePart(std::u16string& text, const CQelTpjImgFile& entry, bool pageImage,
                                 const std::u16string& boundary) {
    qel::format::WideTextSink sink(text);
    return qel::format::WriteImagePart(sink, entry, pageImage, boundary);
}
