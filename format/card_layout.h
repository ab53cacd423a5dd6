// The layout of a snippet, detail or project file, described once and
// written to a sink (format/card_sink.h): the header lines, and for a detail
// or project the MIME envelope, the page part, the icon and image parts and
// the closing delimiter (constants and layout in format/toruca_format.h).
#pragma once

#include <string>
#include <string_view>

#include "format/card_sink.h"

class CQelTpjFile;
class CQelTpjImgFile;

namespace qel::format {

// Writes the record in the form of its type (m_nType) to `sink`. Image files
// are read in blocks and encoded into the sink as they are read, so memory
// does not grow with an image. A missing image (or a URL, or a folder)
// leaves its part's body empty; one that is there but cannot be read whole,
// or is 512 MiB or larger, raises CFileException naming it, with what has
// gone to the sink by then incomplete. The limit is checked for every image
// before anything is written.
void WriteCard(const CQelTpjFile& record, CardSink& sink);

// One image part: the icon's (pageImage false) or a page image's, with
// `boundary` the one of the text being written. False, with nothing
// written, for an entry without a path or a page image without a content id.
bool WriteImagePart(CardSink& sink, const CQelTpjImgFile& entry, bool pageImage, std::u16string_view boundary);

// The record's text (what GetFileText returns).
std::u16string CardText(const CQelTpjFile& record);

// The record as code page 932 bytes handed to `write` in large blocks: the
// bytes of WideToCp932(CardText(record)), without ever holding either whole.
// Raises the image errors of WriteCard and whatever `write` raises.
void WriteCardCp932(const CQelTpjFile& record, const Cp932BlockSink::WriteFn& write);

}  // namespace qel::format
