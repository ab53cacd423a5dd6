// CQelToruca: finds the external ToruCa editor, the program registered to
// open ToruCa project files, for the export command to start on its output.
//
// Stateless: create it on the stack for the call.
#pragma once

#include <string>

#include "model/tpjfile.h"

class CQelToruca {
public:
    // Registry key, under HKEY_LOCAL_MACHINE, whose default value is the
    // editor's open command. Read only.
    static constexpr char16_t EDITOR_KEY[] = u"SOFTWARE\\Classes\\ToruCaEditor.tpj\\shell\\Open\\command";

    virtual ~CQelToruca() = default;

    // The editor's executable path taken from the registered open command;
    // the command as read when it has no recognised form; empty when nothing
    // is registered. The caller decides whether the result names a program.
    std::u16string ReadEditorPath();

    // Reduces an open command to its executable path. Two forms are known:
    //   "path" anything     -> path (between the first two double quotes;
    //                          may be empty)
    //   path "%1"           -> path (the first ` "%1"` ends the command)
    // True when `command` was replaced by the path; false, with `command`
    // unchanged, for an empty command or one of neither form.
    bool ExtractExecutablePath(std::u16string& command);
};

namespace qel::toruca {

// The program to start on a record's output: the registered editor's path
// (ReadEditorPath); the same for every record.
std::u16string GetEditorCommand(const CQelTpjFile& record);

}  // namespace qel::toruca
