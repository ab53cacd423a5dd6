// The reader of snippet, detail and project files: the file's lines through
// one state machine into the record, the attachments into a store.
#pragma once

#include <string>

class CQelTpjFile;

namespace qel::format {

class AttachmentStore;

// Reads the file at `path` into `record` (what LoadFile does) and puts each
// Base64 part into `store`, committed once whole. False when the file cannot
// be read or an attachment cannot be written; the reason goes to the host's
// export report, the attachments committed by this call are removed and the
// record's icon is as it was before.
bool ReadCard(CQelTpjFile& record, const std::u16string& path, AttachmentStore& store);

}  // namespace qel::format
