// What an export tells its host besides its result and its message box: the
// file it completed, the attachments a load put in the temporary folder,
// whether it started a program (the shell service notes each start) and,
// when it fails, why. The module writes, the host
// reads: the host begins a report before it calls Export and takes it after.
// One report per process at a time (exports run on the host's one user
// interface thread); the calls are safe from any thread all the same.
//
// Reasons are wide text for the user, without a line end: the file, then
// what happened to it ("image /site/a.gif cannot be read: Permission denied",
// "output /tmp/q/toruca.tpj cannot be written: disk full").
#pragma once

#include "host/api.h"

#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace qel::host {

// Forgets what an earlier export reported.
QEL_HOST_API void BeginExportReport();
// The export completed `path`: its output, the one file it reports.
QEL_HOST_API void ReportWritten(const std::u16string& path);
// A program was started (CZorShellSv::exec).
QEL_HOST_API void ReportProgramStarted();
// A load put `path` into the temporary folder for the export's own use (an
// attachment of a card it read); the host removes it when the export is
// over (RemoveNewFile), as the written output holds what it needs of it.
QEL_HOST_API void ReportAttachment(const std::u16string& path);
// Why the export fails. The first reason since BeginExportReport is kept: a
// later one is a consequence of it.
QEL_HOST_API void ReportFailure(const std::u16string& reason);

// The reason a failure stands for. A file exception with a file name gives
// "SUBJECT NAME DESCRIPTION", where DESCRIPTION is the exception's own when it
// has one, else DOING followed by ": " and the system's error text (or the
// cause in words: "disk full"); a failed allocation gives "not enough
// memory"; anything else what() says.
QEL_HOST_API std::u16string DescribeFailure(const std::exception& error, std::u16string_view subject,
                                            std::u16string_view doing);

struct ExportReport {
    std::u16string written;  // the reported output, empty when none
    std::u16string why;      // the first reason, empty when none
    bool programStarted = false;
    std::vector<std::u16string> attachments;  // what loads put in the temporary folder
};
// What was reported since BeginExportReport; the report is empty afterwards.
QEL_HOST_API ExportReport TakeExportReport();

}  // namespace qel::host
