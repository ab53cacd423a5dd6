// toruca: makes, checks, converts, unpacks and previews ToruCa cards on the
// module's own code (the record, the writer, the reader, the page import and
// the settings dialog's checks), without the dialogs.
//
// Exit status: 0 on success, 1 when a command fails (one line "toruca: ..."
// on standard error) or `check` finds a problem, 2 for a usage error.
#include <clocale>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "apps/toruca/card.h"
#include "apps/toruca/commands.h"
#include "apps/toruca/page_preview.h"

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
    "Shift_JIS cannot hold is an error. No command replaces a file: a taken name\n"
    "gets the next free one (name(1).ext), and the path written is printed.\n"
    "\n"
    "Exit status: 0 on success, 1 when a command fails (one line 'toruca: ...' on\n"
    "standard error) or check finds a problem, 2 for a usage error.\n"
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
            ->type_name("FILE TITLE");
        m_cmd->add_option("-o,--output", m_options.out, "The file (or folder) to write; default: the form's name here")
            ->type_name("OUT");
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
        o.version = m_version.Get();
        o.category = m_category.Get();
        o.color = m_color.Get();
        o.dist = m_dist.Get();
        return RunMake(o);
    }

private:
    void AddTexts() {
        m_url.option =
            m_cmd->add_option("--url", m_url.value, "URL the detail is fetched from; empty or starting with http://")
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
        m_ipId.option = m_cmd->add_option("--ip-id", m_ipId.value, "IP-ID (default 9999)")->type_name("ID");
        m_sortId.option = m_cmd->add_option("--sort-id", m_sortId.value, "Sort-ID, the kana ID")->type_name("TEXT");
        m_expires.option =
            m_cmd->add_option("--expires", m_expires.value, "Expiry date YYMMDD (default 101231)")->type_name("YYMMDD");
        m_lm.option =
            m_cmd->add_option("--lm", m_lm.value, "Last update: now, or YYMMDDhhmm")->type_name("now|YYMMDDhhmm");
        m_version.option =
            m_cmd->add_option("--version", m_version.value, "ToruCa version: 1.0, 1.1, 2.0 or 2.1 (default)")
                ->check(CLI::IsMember({"1.0", "1.1", "2.0", "2.1"}))
                ->type_name("V");
    }

    CLI::App* m_cmd = nullptr;
    MakeOptions m_options;
    TextOption m_url, m_data1, m_data2, m_data3, m_ipId, m_sortId, m_expires, m_lm, m_version;
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
        if (m_check->parsed()) return RunCheck(m_checkFiles);
        if (m_convert->parsed()) return RunConvert(m_convertFile, m_convertForm, m_convertOut);
        if (m_extract->parsed()) return RunExtract(m_extractFile, m_extractDir);
        if (m_preview->parsed() && m_previewPage) return RunPreviewPage(m_previewFile, m_previewOut, m_previewWidth);
        if (m_preview->parsed()) return RunPreview(m_previewFile, m_previewOut);
        return std::nullopt;
    }

private:
    void AddInfoAndCheck(CLI::App& app) {
        m_info = app.add_subcommand("info", "Show a card's values, parts, size and the handset limits");
        m_info->add_option("FILE", m_infoFile, "A .trc or .tpj file")->required()->type_name("FILE");
        m_info->add_flag("--json", m_json, "Print one JSON object instead of text");

        m_check = app.add_subcommand("check", "Check cards against the handset limits and for consistency");
        m_check->add_option("FILE", m_checkFiles, "The .trc or .tpj files")->required()->type_name("FILE");
        m_check->footer(
            "One line per problem on standard output, 'FILE: error: ...' or 'FILE: warning: ...';\n"
            "exit status 0 when every file passes, 1 otherwise.");
    }

    void AddConvert(CLI::App& app) {
        m_convert = app.add_subcommand("convert", "Write a card in another form");
        m_convert->add_option("FILE", m_convertFile, "A .trc or .tpj file")->required()->type_name("FILE");
        m_convert->add_option("-f,--form", m_convertForm, "The form written: detail, snippet or project")
            ->required()
            ->check(CLI::IsMember(FormNames()))
            ->type_name("FORM");
        m_convert
            ->add_option("-o,--output", m_convertOut, "The file (or folder) to write; default: the form's name here")
            ->type_name("OUT");
    }

    void AddExtractAndPreview(CLI::App& app) {
        m_extract = app.add_subcommand("extract", "Unpack a card's page and images into a new folder");
        m_extract->add_option("FILE", m_extractFile, "A .trc or .tpj file")->required()->type_name("FILE");
        m_extract->add_option("-d,--dir", m_extractDir, "The new folder; default: named after FILE")->type_name("DIR");

        m_preview = app.add_subcommand("preview", "Draw the card as a handset lists it, as a PNG picture");
        m_preview->add_option("FILE", m_previewFile, "A .trc or .tpj file")->required()->type_name("FILE");
        m_preview->add_option("-o,--output", m_previewOut, "The PNG file to write; default card.png (page.png) here")
            ->type_name("PNG");
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
    std::string m_convertFile, m_convertForm, m_convertOut;
    std::string m_extractFile, m_extractDir;
    std::string m_previewFile, m_previewOut;
    bool m_previewPage = false;
    int m_previewWidth = kHandsetWidth;
};

// Parses the command line; the exit status when the run ends here (help,
// version, a usage error), none when a command is to run.
std::optional<int> Parse(CLI::App& app, int argc, char** argv) {
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
    app.set_version_flag("--version", std::string("toruca ") + TORUCA_VERSION, "Print the version and exit");
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

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // Whatever stops a command (Failure, or an error of the system or of a
    // library) ends it with one line on standard error and status 1.
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "toruca: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "toruca: an unexpected error\n");
    }
    return 1;
}
