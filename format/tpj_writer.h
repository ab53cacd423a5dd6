// The writer of snippet, detail and project files. The layout of a record
// is described once (its constants in format/toruca_format.h) and written to
// a sink (format/card_sink.h): the header lines, and for a detail or project
// the MIME envelope, the page part, the icon and image parts and the closing
// delimiter. The sink is the wide text GetFileText returns, or the code
// page 932 bytes the export writes to its file.
#pragma once

#include <string>
#include <string_view>

#include "format/card_sink.h"
#include "model/tpjfile.h"

namespace qel::format {

// The record as the text of its type (m_nType), before the conversion to
// code page 932: header lines, and for a detail or project the MIME body
// with the page and a Base64 part per image file. Raises CFileException for
// an image file that is there but cannot be read or is larger than 512 MiB,
// and std::invalid_argument (naming the value) for a value of a header line
// that holds a line break. A file name taken from a page or a file has its
// line breaks, NULs and double quotes written as "_" in its part's name=.
std::u16string GetFileText(const CQelTpjFile& record);

// Writes the record in the form of its type (m_nType) to `sink`. Image files
// are read in blocks and encoded into the sink as they are read, so memory
// does not grow with an image. A missing image (or a URL, or a folder)
// leaves its part's body empty; one that is there but cannot be read whole,
// or is 512 MiB or larger, raises CFileException naming it, with what has
// gone to the sink by then incomplete. The limit is checked for every image
// before anything is written.
void WriteCard(const CQelTpjFile& record, CardSink& sink);

// The record as code page 932 bytes handed to `write` in large blocks: the
// bytes of WideToCp932(GetFileText(record)), without ever holding either
// whole. Raises the image errors of WriteCard and whatever `write` raises.
void WriteCardCp932(const CQelTpjFile& record, const Cp932BlockSink::WriteFn& write);

// Appends the unique icon's part (pageImages false) or a part for each page
// image (true). `boundary` is the one of the text being written: the
// record's, or another when the page holds a line that starts with "--" and
// the record's.
void WriteImageParts(const CQelTpjFile& record, std::u16string& text, bool pageImages, const std::u16string& boundary);
// Appends one image part; false, with nothing appended, for an entry without
// a path, or a page image without a content id.
bool WriteImagePart(std::u16string& text, const CQelTpjImgFile& entry, bool pageImage, const std::u16string& boundary);
// The same part written to a sink.
bool WriteImagePart(CardSink& sink, const CQelTpjImgFile& entry, bool pageImage, std::u16string_view boundary);
// The Content-Type of a page image's part ("image/gif", ...); an inline
// image (m_data) is judged as a file of its name holding its bytes would be.
const char16_t* PageImageContentType(const CQelTpjImgFile& entry);

}  // namespace qel::format
