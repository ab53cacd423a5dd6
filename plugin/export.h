// Pieces of the export command (CQelDeviceIFImpl::Export, plugin/export.cpp)
// that tests reach on their own. Inside the module only; not part of the
// host's interface.
#pragma once

#include <string>

namespace qel::plugin {

// The output method dialog numbers the forms 1 project, 2 detail, 4 snippet;
// the record's types are 1 TYPE_PROJECT, 2 TYPE_SNIP, 4 TYPE_CARD.

// The dialog's initial choice for a record type: 1 -> 1, 2 -> 4, 4 -> 2,
// anything else -> 1.
int DialogValueOfType(int type);

struct OutputForm {
    int type;                     // the record type to set
    const char16_t* defaultName;  // the output's default file name
};

// The record type and default file name of a dialog value. A value the
// dialog never yields keeps `currentType` and gives an empty name.
OutputForm FormOfDialogValue(int value, int currentType);

// `path` as one argument of a Windows-style command line: between double
// quotes, so "\"%s\"" for every path without a double quote or a trailing
// backslash; a double quote inside becomes \" and the backslashes before it
// or before the closing quote are doubled, so that the program receives the
// path unchanged (CZorShellSv::SplitArguments).
std::u16string QuoteArgument(const std::u16string& path);

// The editor path as it is started: a relative path is marked as relative
// ("./x"), so that the program started is the file that is_file checked,
// never one found along PATH.
std::u16string ProgramToStart(const std::u16string& editor);

}  // namespace qel::plugin
