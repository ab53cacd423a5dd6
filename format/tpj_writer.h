// The writer of a record as snippet, detail or project text (layout in
// format/toruca_format.h).
#pragma once

#include <string>

#include "model/tpjfile.h"

namespace qel::format {

// The record as the text of its type (m_nType), before the conversion to
// code page 932: header lines, and for a detail or project the MIME body
// with the page and a Base64 part per image file. Raises CFileException for
// an image file that is there but cannot be read or is larger than 512 MiB.
std::u16string GetFileText(const CQelTpjFile& record);

// Appends the unique icon's part (pageImages false) or a part for each page
// image (true). `boundary` is the one of the text being written: the
// record's, or another when the page holds a line that starts with "--" and
// the record's.
void WriteImageParts(const CQelTpjFile& record, std::u16string& text, bool pageImages, const std::u16string& boundary);
// Appends one image part; false, with nothing appended, for an entry without
// a path, or a page image without a content id.
bool WriteImagePart(std::u16string& text, const CQelTpjImgFile& entry, bool pageImage, const std::u16string& boundary);

}  // namespace qel::format
