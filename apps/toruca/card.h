// What the toruca commands share: their failures, the files they are given
// (standard input for "-"), loading a card through the module's reader, and
// writing what they make (a new file, a file replaced on request, or
// standard output for "-").
//
// Paths are UTF-8 (the system's); the record's wide strings are UTF-16 and
// its data lines code page 932 bytes, as everywhere in the module.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "format/toruca_format.h"
#include "toruca/limits/handset_limits.h"
#include "format/attachment_store.h"
#include "model/tpjfile.h"

namespace qel::apps {

// A failure of a command: main prints "toruca: WHAT" on standard error and
// ends with status 1.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A value the command line gave that a command cannot take (a date that is
// no date, an icon that is no image): main prints "toruca: WHAT" and ends
// with status 2, as for any other usage error.
class UsageFailure : public Failure {
public:
    using Failure::Failure;
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

// Fails unless `path` names a regular file that can be opened for reading;
// the message names the file as `shown` (the path when empty).
void RequireInputFile(const std::string& path, const std::string& shown = {});

// A private new folder under the system's temporary folder for the life of
// the object; it is removed with everything in it afterwards, and also when
// SIGINT, SIGTERM or SIGHUP ends the program meanwhile (the handler removes
// the folders alive then, by system calls alone, and the signal then ends
// the program as it would have).
class PrivateFolder {
public:
    PrivateFolder();
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    int m_slot = -1;  // the signal handler's entry for this folder; -1: none
};

// SIGPIPE and SIGXFSZ ignored: writing to a closed pipe or past the file
// size limit fails as any other write does (status 1, the private folders
// removed) instead of ending the program by the signal.
void IgnoreWriteSignals();

// Points the host's temporary folder (where the reader saves attachments)
// at a private new folder for the life of the object.
class ScratchFolder : public PrivateFolder {
public:
    ScratchFolder();
};

// The most of standard input a command keeps: 640 times a handset's limit
// on a card. A longer standard input (an endless one: `yes | toruca info -`)
// fails the command as soon as it passes this, with nothing left behind.
inline constexpr std::uint64_t kStandardInputLimit = std::uint64_t{64} << 20;

// A file a command reads: the path given, or for "-" a private copy of
// standard input (read to its end, at most kStandardInputLimit bytes, kept
// until the object goes). Messages name it as given.
class InputFile {
public:
    explicit InputFile(const std::string& given);
    const std::string& name() const { return m_name; }
    const std::string& path() const { return m_path; }
    bool IsStandardInput() const { return m_copy.has_value(); }

private:
    std::string m_name, m_path;
    std::optional<PrivateFolder> m_copy;
};

// Where a command writes what it makes (-o, --force).
struct Output {
    std::string path;    // a file, a folder, "-" for standard output; empty: here
    bool force = false;  // a file named by `path` may be replaced
};

// Points the host's temporary folder at `folder` (an absolute path).
void UseTemporaryFolder(const std::string& folder);

// Reads a .tpj/.trc file through the module's reader; its attachments are
// saved in the host's temporary folder, named as `naming` says. Fails for a file that cannot be read
// and for one that is no ToruCa file (neither magic first line nor a Type
// line).
std::unique_ptr<CQelTpjFile> LoadCard(
    const InputFile& file, qel::format::FolderStore::Naming naming = qel::format::FolderStore::Naming::asGiven);

// Writes `bytes` where `out` says and prints the path written on a line of
// its own (nothing for standard output):
//   - no path: `defaultName` in the working folder, or the next free name
//     ("name(1).ext") when it is taken;
//   - a folder: `defaultName` in it, the same way;
//   - a file: that file. One that exists is refused unless `force`; then a
//     new file beside it takes its place in one step (rename), so that
//     readers see the old file or the new one, never a part;
//   - "-": standard output.
// A new file gets its name only once it is whole; a file replaced keeps its
// permission bits. Fails with the reason when nothing could be written.
// Returns the path written and printed, empty for standard output.
std::string WriteOutput(const Output& out, const std::u16string& defaultName, const std::string& bytes);

// True when the file's first bytes are those of a GIF, JPEG or PNG image.
bool HoldsImage(const std::string& path);

// Code points of `text` (UTF-8, from the command line) that code page 932
// cannot hold make a failure naming the option and the character; invalid
// UTF-8 too. Returns the text as UTF-16.
std::u16string ShiftJisText(const std::string& option, const std::string& text);

// The card's sizes for the handset limits, measured on the record and the
// file it was read from.
qel::toruca::CardMeasure Measure(CQelTpjFile& card, const InputFile& file);
// The same, for a card of `fileBytes` bytes made from the record.
qel::toruca::CardMeasure Measure(CQelTpjFile& card, std::uint64_t fileBytes);

}  // namespace qel::apps
