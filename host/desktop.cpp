// The desktop's default applications, through GIO's GAppInfo: the lookup is
// the desktop's own, so whatever `gio mime TYPE APP` or a file manager's
// "Open With" has set is what the host finds.
#include "host/desktop.h"

#include <gio/gio.h>

#include <memory>
#include <string_view>
#include <vector>

#include "framework/codepage.h"
#include "framework/strings.h"

namespace {

struct FileClass {
    std::u16string_view key;
    const char* mimeType;
};
constexpr FileClass kFileClasses[] = {
    {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\ToruCaEditor.tpj\\shell\\Open\\command", "application/x-toruca-project"},
};

struct GObjectUnref {
    void operator()(void* object) const { g_object_unref(object); }
};
struct GFree {
    void operator()(char* text) const { g_free(text); }
};
struct GStrvFree {
    void operator()(char** texts) const { g_strfreev(texts); }
};

// The field codes a desktop entry may add that pass no file: the icon, the
// name and the entry's own path.
bool IsExtraFieldCode(std::string_view arg) { return arg == "%i" || arg == "%c" || arg == "%k"; }
bool IsFileFieldCode(std::string_view arg) { return arg == "%f" || arg == "%F" || arg == "%u" || arg == "%U"; }

// The program of a desktop entry's command line when the rest of it is one
// file and nothing else; empty otherwise.
std::string ProgramOfCommandLine(const char* commandLine) {
    if (!commandLine) return {};
    char** raw = nullptr;
    if (!g_shell_parse_argv(commandLine, nullptr, &raw, nullptr)) return {};
    const std::unique_ptr<char*, GStrvFree> argv(raw);
    int files = 0;
    for (char** arg = raw + 1; *arg; ++arg) {
        if (IsFileFieldCode(*arg)) ++files;
        else if (!IsExtraFieldCode(*arg)) return {};
    }
    if (files > 1) return {};
    // The full path of the program, looked up along PATH as the desktop
    // would start it; null when it is not there or not executable.
    const std::unique_ptr<char, GFree> found(g_find_program_in_path(raw[0]));
    return found ? std::string(found.get()) : std::string();
}

}  // namespace

namespace qel::host {

const char* DesktopTypeOfKey(std::u16string_view keyPath) {
    for (const FileClass& c : kFileClasses)
        if (qel::framework::EqualsNoCase(keyPath, c.key)) return c.mimeType;
    return nullptr;
}

std::u16string DesktopOpenCommand(const char* mimeType) {
    const std::unique_ptr<GAppInfo, GObjectUnref> app(g_app_info_get_default_for_type(mimeType, FALSE));
    if (!app) return {};
    const std::string program = ProgramOfCommandLine(g_app_info_get_commandline(app.get()));
    // The registry's quoting has no escape inside the quotes.
    if (program.empty() || program.find('"') != std::string::npos) return {};
    return u"\"" + qel::framework::PathFromNative(program) + u"\" \"%1\"";
}

}  // namespace qel::host
