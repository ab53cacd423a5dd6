// toruca: makes, checks, converts, unpacks and previews ToruCa cards on the
// module's own code (the record, the writer, the reader, the page import and
// the settings dialog's checks), without the dialogs.
//
// Exit status: 0 on success, 1 when a command fails (one line "toruca: ..."
// on standard error) or `check` finds a problem, 2 for a usage error.
#include <clocale>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/card.h"
#include "cli/commands.h"

#ifndef TORUCA_VERSION
#define TORUCA_VERSION "0"
#endif

namespace {

using namespace qel::cli;

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

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    CLI::App app{kDescription, "toruca"};
    app.set_version_flag("--version", std::string("toruca ") + TORUCA_VERSION, "Print the version and exit");
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.require_subcommand(1, 1);
    app.footer(kFooter);

    // make
    MakeOptions mk;
    TextOption url, data1, data2, data3, ipId, sortId, expires, lm, version;
    int category = 0, color = 0, dist = 0;
    CLI::App* make = app.add_subcommand("make", "Make a card from an HTML page and its images");
    make->add_option("PAGE", mk.page, "The HTML page (its local images are collected)")->required()->type_name("FILE");
    make->add_option("-f,--form", mk.form, "The form written: detail (default), snippet or project")
        ->check(CLI::IsMember({"detail", "snippet", "project"}))
        ->type_name("FORM");
    url.option = make->add_option("--url", url.value, "URL the detail is fetched from; empty or starting with http://")
                     ->type_name("URL");
    data1.option = make->add_option("--data1", data1.value, "Data1: the heading")->type_name("TEXT");
    data2.option =
        make->add_option("--data2", data2.value, "Data2: the introduction (may hold line breaks)")->type_name("TEXT");
    data3.option = make->add_option("--data3", data3.value, "Data3: the third line")->type_name("TEXT");
    CLI::Option* catOpt =
        make->add_option("--cat", category, "Category code, decimal: 0 (none) or a code of the category table")
            ->type_name("CODE");
    CLI::Option* colorOpt =
        make->add_option("--color", color, "Color-ID 0-9: 赤 橙 黄 緑 水 青 紫 桃 茶 黒 (default 1)")
            ->check(CLI::Range(0, 9))
            ->type_name("ID");
    CLI::Option* distOpt =
        make->add_option("--dist", dist, "Dist 1-4: 1 no redistribution nor update ... 4 both allowed (default 4)")
            ->check(CLI::Range(1, 4))
            ->type_name("N");
    ipId.option = make->add_option("--ip-id", ipId.value, "IP-ID (default 9999)")->type_name("ID");
    sortId.option = make->add_option("--sort-id", sortId.value, "Sort-ID, the kana ID")->type_name("TEXT");
    expires.option =
        make->add_option("--expires", expires.value, "Expiry date YYMMDD (default 101231)")->type_name("YYMMDD");
    lm.option = make->add_option("--lm", lm.value, "Last update: now, or YYMMDDhhmm")->type_name("now|YYMMDDhhmm");
    version.option = make->add_option("--version", version.value, "ToruCa version: 1.0, 1.1, 2.0 or 2.1 (default)")
                         ->check(CLI::IsMember({"1.0", "1.1", "2.0", "2.1"}))
                         ->type_name("V");
    make->add_option("--icon", mk.icon, "The unique category icon: its image file and its title")
        ->expected(2)
        ->type_name("FILE TITLE");
    make->add_option("-o,--output", mk.out, "The file (or folder) to write; default: the form's name here")
        ->type_name("OUT");

    // info
    std::string infoFile;
    bool json = false;
    CLI::App* info = app.add_subcommand("info", "Show a card's values, parts, size and the handset limits");
    info->add_option("FILE", infoFile, "A .trc or .tpj file")->required()->type_name("FILE");
    info->add_flag("--json", json, "Print one JSON object instead of text");

    // check
    std::vector<std::string> checkFiles;
    CLI::App* check = app.add_subcommand("check", "Check cards against the handset limits and for consistency");
    check->add_option("FILE", checkFiles, "The .trc or .tpj files")->required()->type_name("FILE");
    check->footer(
        "One line per problem on standard output, 'FILE: error: ...' or 'FILE: warning: ...';\n"
        "exit status 0 when every file passes, 1 otherwise.");

    // convert
    std::string convertFile, convertForm, convertOut;
    CLI::App* convert = app.add_subcommand("convert", "Write a card in another form");
    convert->add_option("FILE", convertFile, "A .trc or .tpj file")->required()->type_name("FILE");
    convert->add_option("-f,--form", convertForm, "The form written: detail, snippet or project")
        ->required()
        ->check(CLI::IsMember({"detail", "snippet", "project"}))
        ->type_name("FORM");
    convert->add_option("-o,--output", convertOut, "The file (or folder) to write; default: the form's name here")
        ->type_name("OUT");

    // extract
    std::string extractFile, extractDir;
    CLI::App* extract = app.add_subcommand("extract", "Unpack a card's page and images into a new folder");
    extract->add_option("FILE", extractFile, "A .trc or .tpj file")->required()->type_name("FILE");
    extract->add_option("-d,--dir", extractDir, "The new folder; default: named after FILE")->type_name("DIR");

    // preview
    std::string previewFile, previewOut;
    CLI::App* preview = app.add_subcommand("preview", "Draw the card as a handset lists it, as a PNG picture");
    preview->add_option("FILE", previewFile, "A .trc or .tpj file")->required()->type_name("FILE");
    preview->add_option("-o,--output", previewOut, "The PNG file to write; default card.png here")->type_name("PNG");

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

    try {
        if (*make) {
            mk.url = url.Get();
            mk.data1 = data1.Get();
            mk.data2 = data2.Get();
            mk.data3 = data3.Get();
            mk.ipId = ipId.Get();
            mk.sortId = sortId.Get();
            mk.expires = expires.Get();
            mk.lastModified = lm.Get();
            mk.version = version.Get();
            if (catOpt->count()) mk.category = category;
            if (colorOpt->count()) mk.color = color;
            if (distOpt->count()) mk.dist = dist;
            return RunMake(mk);
        }
        if (*info) return RunInfo(infoFile, json);
        if (*check) return RunCheck(checkFiles);
        if (*convert) return RunConvert(convertFile, convertForm, convertOut);
        if (*extract) return RunExtract(extractFile, extractDir);
        if (*preview) return RunPreview(previewFile, previewOut);
    } catch (const Failure& f) {
        std::fprintf(stderr, "toruca: %s\n", f.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "toruca: %s\n", e.what());
        return 1;
    }
    return 2;
}
