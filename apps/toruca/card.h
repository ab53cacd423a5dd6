// What the toruca commands share: their one kind of failure, the checks on
// the files they are given, loading a card through the module's reader, and
// writing a new file without replacing one.
//
// Paths are UTF-8 (the system's); the record's wide strings are UTF-16 and
// its data lines code page 932 bytes, as everywhere in the module.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "format/toruca_format.h"
#include "toruca/limits/handset_limits.h"
#include "model/tpjfile.h"

namespace qel::apps {

// A failure of a command: main prints "toruca: WHAT" on standard error and
// ends with status 1.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string Utf8(const std::u16string& text);
// The data line's code page 932 bytes as UTF-8 text.
std::string DataText(const std::string& cp932);

// The form a command line names (format/toruca_format.h); the detail form
// for a name that is none.
const qel::format::CardForm& FormNamed(const std::string& name);
// The names of the forms, for the command line's check.
std::vector<std::string> FormNames();
// The name of a record type's form, or "unknown" for any other type.
const char* FormOfType(int type);

// Fails unless `path` names a regular file that can be opened for reading.
void RequireInputFile(const std::string& path);

// Points the host's temporary folder (where the reader saves attachments)
// at a private new folder for the life of the object, and removes that
// folder and everything in it afterwards.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// Points the host's temporary folder at `folder` (an absolute path).
void UseTemporaryFolder(const std::string& folder);

// Reads a .tpj/.trc file through the module's reader; its attachments are
// saved in the host's temporary folder. Fails for a file that cannot be read
// and for one that is no ToruCa file (neither magic first line nor a Type
// line).
std::unique_ptr<CQelTpjFile> LoadCard(const std::string& path);

// Writes `bytes` to a new file and returns its path: `out` when given (a
// folder takes `defaultName` inside it), else `defaultName` in the working
// folder; when the name is taken, the next free one ("name(1).ext"). Never
// replaces a file. Fails with the reason when nothing could be written.
std::string WriteNew(const std::string& out, const std::u16string& defaultName, const std::string& bytes);

// Code points of `text` (UTF-8, from the command line) that code page 932
// cannot hold make a failure naming the option and the character; invalid
// UTF-8 too. Returns the text as UTF-16.
std::u16string ShiftJisText(const std::string& option, const std::string& text);

// The card's sizes for the handset limits, measured on the record and the
// file it was read from.
qel::toruca::CardMeasure Measure(CQelTpjFile& card, const std::string& path);

}  // namespace qel::apps
