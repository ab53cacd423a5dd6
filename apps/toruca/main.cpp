// toruca: makes, checks, converts, unpacks and previews ToruCa cards on the
// module's own code (the record, the writer, the reader, the page import and
// the settings dialog's checks), without the dialogs.
//
// Exit status: 0 on success, 1 when a command fails (one line "toruca: ..."
// on standard error) or `check` finds a problem, 2 for a usage error (an
// unknown command or option, a value a command cannot take).
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include <cstring>

#include "apps/toruca/card.h"
#include "apps/toruca/commands.h"
#include "framework/codepage.h"
#include "host/messages.h"
#include "toruca/category.h"

#ifndef TORUCA_VERSION
#define TORUCA_VERSION "0"
#endif

namespace {

using namespace qel::apps;

const char kDescription[] =
    "toruca makes ToruCa cards (i-mode card files) from web pages, and checks, converts,\n"
    "unpacks and previews them.";

const char kFooter[] =
    "Cards are ToruCa detail (.trc, \"Type: CARD\"), snippet (.trc, \"Type: SNIP\") and\n"
    "project (.tpj) files. Text options are UTF-8 and stored as Shift_JIS; a character\n"
    "Shift_JIS cannot hold is an error. A FILE of '-' is standard input.\n"
    "\n"
    "Output (make, convert, preview): without -o, or with -o naming a folder, the\n"
    "form's default name, or the next free one when it is taken (name(1).ext);\n"
    "-o FILE writes FILE and refuses one that exists unless --force (it is then\n"
    "replaced in one step); -o - writes to standard output. The path written is\n"
    "printed.\n"
    "\n"
    "Exit status: 0 on success, 1 when a command fails (one line 'toruca: ...' on\n"
    "standard error) or check finds a problem, 2 for a usage error (an unknown\n"
    "command or option, a value a command cannot take).\n"
    "\n"
    "Run 'toruca COMMAND --help' for the options of a command.";

// Text options whose presence matters, read after parsing.
struct TextOption {
    CLI::Option* option = nullptr;
    std::string value;
    std::optional<std::string> Get() const {
        if (option && option->count() > 0) return value;
        return std::nullopt;
    }
};

// A number option whose presence matters, read after parsing.
struct NumberOption {
    CLI::Option* option = nullptr;
    int value = 0;
    std::optional<int> Get() const {
        if (option && option->count() > 0) return value;
        return std::nullopt;
    }
};

// A value written on one header line of the card: a line break would end
// that line and start another (a Data1 of its own), as a NUL would cut it.
const CLI::Validator kOneLine(
    [](const std::string& value) -> std::string {
        return value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos
                   ? std::string()
                   : std::string("a line break cannot be part of this value");
    },
    "", "one line");

// A category code: 0 (no icon) or one of the table's, as the icon dialog
// offers them.
const CLI::Validator kCategoryCode(
    [](const std::string& value) -> std::string {
        int code = 0;
        // What is no number is left to the option's own conversion.
        if (!CLI::detail::lexical_cast(value, code)) return {};
        if (code == 0 || CQelTorucaCategory().GetGenre(code) != CQelTorucaCategory::GENRE_ALL) return {};
        return value + ": not a code of the category table";
    },
    "", "category code");

// -o OUT and --force.
void AddOutput(CLI::App& command, Output& out, const char* what) {
    command.add_option("-o,--output", out.path, what)->type_name("OUT");
    command.add_flag("--force", out.force, "Replace the file -o names when it exists");
}

const char kCardFile[] = "A .trc or .tpj file, - for standard input";

// toruca make PAGE [values] [-o OUT]
class MakeCommand {
public:
    void Add(CLI::App& app) {
        m_cmd = app.add_subcommand("make", "Make a card from an HTML page and its images");
        m_cmd->add_option("PAGE", m_options.page, "The HTML page (its local images are collected)")
            ->required()
            ->type_name("FILE");
        m_cmd->add_option("-f,--form", m_options.form, "The form written: detail (default), snippet or project")
            ->check(CLI::IsMember(FormNames()))
            ->type_name("FORM");
        AddTexts();
        AddCodes();
        AddIdentifiers();
        m_cmd->add_option("--icon", m_options.icon, "The unique category icon: its image file and its title")
            ->expected(2)
            ->check(kOneLine)
            ->type_name("FILE TITLE");
        AddOutput(*m_cmd, m_options.out, "The file (or folder, or - for standard output) to write");
    }

    bool Chosen() const { return m_cmd->parsed(); }

    int Run() {
        MakeOptions o = m_options;
        o.url = m_url.Get();
        o.data1 = m_data1.Get();
        o.data2 = m_data2.Get();
        o.data3 = m_data3.Get();
        o.ipId = m_ipId.Get();
        o.sortId = m_sortId.Get();
        o.expires = m_expires.Get();
        o.lastModified = m_lm.Get();
        o.version = CardVersion();
        o.category = m_category.Get();
        o.color = m_color.Get();
        o.dist = m_dist.Get();
        return RunMake(o);
    }

private:
    void AddTexts() {
        m_url.option =
            m_cmd->add_option("--url", m_url.value, "URL the detail is fetched from; empty or starting with http://")
                ->check(kOneLine)
                ->type_name("URL");
        m_data1.option = m_cmd->add_option("--data1", m_data1.value, "Data1: the heading")->type_name("TEXT");
        m_data2.option = m_cmd->add_option("--data2", m_data2.value, "Data2: the introduction (may hold line breaks)")
                             ->type_name("TEXT");
        m_data3.option = m_cmd->add_option("--data3", m_data3.value, "Data3: the third line")->type_name("TEXT");
    }

    void AddCodes() {
        m_category.option = m_cmd
                                ->add_option("--cat", m_category.value,
                                             "Category code, decimal: 0 (none) or a code of the category table")
                                ->check(kCategoryCode)
                                ->type_name("CODE");
        m_color.option =
            m_cmd->add_option("--color", m_color.value, "Color-ID 0-9: 赤 橙 黄 緑 水 青 紫 桃 茶 黒 (default 1)")
                ->check(CLI::Range(0, 9))
                ->type_name("ID");
        m_dist.option = m_cmd
                            ->add_option("--dist", m_dist.value,
                                         "Dist 1-4: 1 no redistribution nor update ... 4 both allowed (default 4)")
                            ->check(CLI::Range(1, 4))
                            ->type_name("N");
    }

    void AddIdentifiers() {
        m_ipId.option =
            m_cmd->add_option("--ip-id", m_ipId.value, "IP-ID (default 9999)")->check(kOneLine)->type_name("ID");
        m_sortId.option =
            m_cmd->add_option("--sort-id", m_sortId.value, "Sort-ID, the kana ID")->check(kOneLine)->type_name("TEXT");
        m_expires.option =
            m_cmd->add_option("--expires", m_expires.value, "Last valid day YYMMDD (default 101231, long past)")
                ->check(kOneLine)
                ->type_name("YYMMDD");
        m_lm.option = m_cmd->add_option("--lm", m_lm.value, "Last update: now, or YYMMDDhhmm")
                          ->check(kOneLine)
                          ->type_name("now|YYMMDDhhmm");
        m_version.option = m_cmd
                               ->add_option("--card-version", m_version.value,
                                            "The card's ToruCa version: 1.0, 1.1, 2.0 or 2.1 (default)")
                               ->check(CLI::IsMember({"1.0", "1.1", "2.0", "2.1"}))
                               ->type_name("V");
        // The option's first spelling, which -V/--version (the program's
        // version) made confusing: still taken, with a note, and not shown.
        m_oldVersion.option = m_cmd->add_option("--version", m_oldVersion.value)
                                  ->check(CLI::IsMember({"1.0", "1.1", "2.0", "2.1"}))
                                  ->group("");
    }

    // --card-version, or the value of its first spelling.
    std::optional<std::string> CardVersion() const {
        if (const std::optional<std::string> old = m_oldVersion.Get()) {
            std::fprintf(stderr, "%s\n", qel::host::Tr("toruca: note: make --version is now --card-version"));
            if (!m_version.Get()) return old;
        }
        return m_version.Get();
    }

    CLI::App* m_cmd = nullptr;
    MakeOptions m_options;
    TextOption m_url, m_data1, m_data2, m_data3, m_ipId, m_sortId, m_expires, m_lm, m_version, m_oldVersion;
    NumberOption m_category, m_color, m_dist;
};

// The commands that read a card: info, check, convert, extract, preview.
class CardCommands {
public:
    void Add(CLI::App& app) {
        AddInfoAndCheck(app);
        AddConvert(app);
        AddExtractAndPreview(app);
    }

    // The exit status of the command given; none when it is none of these.
    std::optional<int> Run() const {
        if (m_info->parsed()) return RunInfo(m_infoFile, m_json);
        if (m_check->parsed()) return RunCheck(m_checkFiles, m_checkJson);
        if (m_convert->parsed()) return RunConvert(m_convertFile, m_convertForm, m_convertOut);
        if (m_extract->parsed()) return RunExtract(m_extractFile, m_extractDir);
        if (m_preview->parsed() && m_previewPage) return RunPreviewPage(m_previewFile, m_previewOut, m_previewWidth);
        if (m_preview->parsed()) return RunPreview(m_previewFile, m_previewOut);
        return std::nullopt;
    }

private:
    void AddInfoAndCheck(CLI::App& app) {
        m_info = app.add_subcommand("info", "Show a card's values, parts, size and the handset limits");
        m_info->add_option("FILE", m_infoFile, kCardFile)->required()->type_name("FILE");
        m_info->add_flag("--json", m_json, "Print one JSON object instead of text");

        m_check = app.add_subcommand("check", "Check cards against the handset limits and for consistency");
        m_check->add_option("FILE", m_checkFiles, "The .trc or .tpj files, - for standard input")
            ->required()
            ->type_name("FILE");
        m_check->add_flag("--json", m_checkJson, "Print one JSON object instead of lines");
        m_check->footer(
            "One line per problem on standard output, 'FILE: error: ...' or 'FILE: warning: ...'.\n"
            "Errors: a cid: reference without its part, a Cat outside the category table, a URL\n"
            "the settings dialog refuses, a size over a handset limit, an unterminated part, the\n"
            "boundary inside the page. Warnings: a part the page does not use, a part without a\n"
            "Content-Type, a URL, Data1-3, IP-ID, Sort-ID, Expires or LM still the placeholder of\n"
            "a new card, an Expires day past or an LM in the future, a date that is no date, a\n"
            "unique icon that is no image, a Cat that is no decimal number (00FC).\n"
            "Exit status 0 when every file passes, 1 otherwise.");
    }

    void AddConvert(CLI::App& app) {
        m_convert = app.add_subcommand("convert", "Write a card in another form");
        m_convert->add_option("FILE", m_convertFile, kCardFile)->required()->type_name("FILE");
        m_convert->add_option("-f,--form", m_convertForm, "The form written: detail, snippet or project")
            ->required()
            ->check(CLI::IsMember(FormNames()))
            ->type_name("FORM");
        AddOutput(*m_convert, m_convertOut, "The file (or folder, or - for standard output) to write");
    }

    void AddExtractAndPreview(CLI::App& app) {
        m_extract = app.add_subcommand("extract", "Unpack a card's page and images into a new folder");
        m_extract->add_option("FILE", m_extractFile, kCardFile)->required()->type_name("FILE");
        m_extract->add_option("-d,--dir", m_extractDir, "The new folder; default: named after FILE (toruca for -)")
            ->type_name("DIR");

        m_preview = app.add_subcommand("preview", "Draw the card as a handset lists it, as a PNG picture");
        m_preview->add_option("FILE", m_previewFile, kCardFile)->required()->type_name("FILE");
        AddOutput(*m_preview, m_previewOut,
                  "The PNG file (or folder, or - for standard output); default card.png (page.png) here");
        m_preview->add_flag("--page", m_previewPage, "Draw the card's page as a handset shows it instead");
        m_preview->add_option("--width", m_previewWidth, "The screen's width in pixels for --page (default 240)")
            ->check(CLI::Range(16, 4096))
            ->type_name("N");
    }

    CLI::App* m_info = nullptr;
    CLI::App* m_check = nullptr;
    CLI::App* m_convert = nullptr;
    CLI::App* m_extract = nullptr;
    CLI::App* m_preview = nullptr;
    std::string m_infoFile;
    bool m_json = false;
    std::vector<std::string> m_checkFiles;
    bool m_checkJson = false;
    std::string m_convertFile, m_convertForm;
    Output m_convertOut;
    std::string m_extractFile, m_extractDir;
    std::string m_previewFile;
    Output m_previewOut;
    bool m_previewPage = false;
    int m_previewWidth = kHandsetWidth;
};

// The options toruca takes before a command.
bool IsProgramOption(const char* arg) {
    for (const char* name : {"-h", "--help", "-V", "--version"})
        if (std::strcmp(arg, name) == 0) return true;
    return false;
}

// The first argument that is no option names the command: one that names
// none is an error of its own, as is an option before it that toruca does
// not take (the parser would only call them unexpected, or ask for a
// command).
std::optional<int> UnknownCommand(const CLI::App& app, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] == '-' && arg[1] != '\0') {
            if (std::strcmp(arg, "--") == 0) break;
            if (IsProgramOption(arg)) continue;
            std::fprintf(stderr, "%s\n",
                         qel::host::TrFill("toruca: unknown option '%s' (see toruca --help)", {arg}).c_str());
            return 2;
        }
        for (const CLI::App* command : app.get_subcommands({}))
            if (command->check_name(arg)) return std::nullopt;
        std::fprintf(stderr, "%s\n",
                     qel::host::TrFill("toruca: unknown command '%s' (see toruca --help)", {arg}).c_str());
        return 2;
    }
    return std::nullopt;
}

// Parses the command line; the exit status when the run ends here (help,
// version, a usage error), none when a command is to run.
std::optional<int> Parse(CLI::App& app, int argc, char** argv) {
    if (const std::optional<int> status = UnknownCommand(app, argc, argv)) return status;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "toruca: %s (see toruca --help)\n", e.what());
        return 2;
    }
    return std::nullopt;
}

int Run(int argc, char** argv) {
    CLI::App app{kDescription, "toruca"};
    app.set_version_flag("-V,--version", std::string("toruca (qeltoruca) ") + TORUCA_VERSION,
                         "Print the version and exit");
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.require_subcommand(1, 1);
    app.footer(kFooter);
    MakeCommand make;
    make.Add(app);
    CardCommands cards;
    cards.Add(app);

    if (const std::optional<int> status = Parse(app, argc, argv)) return *status;
    if (make.Chosen()) return make.Run();
    return cards.Run().value_or(2);
}

}  // namespace

namespace {

// What a command printed reaches standard output whole, or the command
// fails: a reader that went away (`toruca info card.trc | head -c1`) is an
// error as any other write's.
int Flushed(int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    std::fprintf(stderr, "toruca: cannot write to standard output: %s\n", std::strerror(errno));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    IgnoreWriteSignals();
    qel::host::OpenMessageCatalogue();
    // Whatever stops a command (Failure, or an error of the system or of a
    // library) ends it with one line on standard error and status 1.
    try {
        return Flushed(Run(argc, argv));
    } catch (const UsageFailure& e) {
        std::fprintf(stderr, "toruca: %s\n", qel::framework::NativeForDisplay(e.what()).c_str());
        return 2;
    } catch (const std::exception& e) {
        // A file name that is not UTF-8 is shown with its bytes escaped.
        std::fprintf(stderr, "toruca: %s\n", qel::framework::NativeForDisplay(e.what()).c_str());
    } catch (...) {
        std::fprintf(stderr, "toruca: an unexpected error\n");
    }
    return 1;
}
