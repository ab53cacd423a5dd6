// CreateFromHtml on pages of 2 MB shaped to stall or crash an HTML parser,
// against an ordinary page of 2 MB (paragraphs with images) in the same
// run. Every page should import or fail within 2 s, and the refused ones at
// a small fraction of the reference; the deepest and densest pages still
// accepted show what the bounds let through.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "framework/codepage.h"
#include "html/html_import.h"
#include "model/tpjfile.h"

namespace {

constexpr std::size_t kSize = 2u << 20;

std::string Fill(std::string page, const std::string& unit) {
    while (page.size() + unit.size() <= kSize) page += unit;
    return page;
}

std::string Ordinary() {
    std::string page = "<html><head><title>photos</title></head><body>\n";
    for (int i = 0; page.size() < kSize - 100; ++i) {
        const std::string n = std::to_string(i);
        page += "<p>photo " + n + "<img src=\"img/" + n + ".gif\" alt='photo " + n + "' width=10>\n";
    }
    return page + "</body></html>\n";
}

std::string Repeat(const std::string& unit, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += unit;
    return s;
}

std::string ReopenedFormatting() {
    std::string page = "<p>";
    for (int i = 0; i < 4000; ++i) page += "<b id=" + std::to_string(i) + ">";
    return Fill(page, "<p>x");
}

// Unclosed formatting elements reopened in every paragraph: 12 KB that
// make a tree of 991,000 elements, just under the most the parse accepts.
std::string MostElementsAccepted() {
    std::string page = "<p>";
    for (int i = 0; i < 990; ++i) page += "<b id=" + std::to_string(i) + ">";
    return page + Repeat("<p> ", 999);
}

const std::map<std::string, std::function<std::string()>> kPages = {
    {"ordinary", Ordinary},
    {"nested_tables", [] { return Fill("", "<table><tr><td>"); }},
    {"unclosed_b_i_font", [] { return Fill("", "<b><i><font>"); }},
    {"nested_divs", [] { return Fill("", "<div>"); }},
    {"reopened_formatting", ReopenedFormatting},
    {"deepest_accepted",
     [] { return Fill(Repeat("<div>", 4093) + "<img src=a.gif>" + Repeat("</div>", 4093), "<p>x"); }},
    {"densest_accepted", [] { return Fill("", "<img src=a.gif>"); }},
    {"most_elements_accepted", MostElementsAccepted},
};

// One page file per shape in a folder of its own, removed at exit.
class Pages {
public:
    ~Pages() {
        for (const auto& [name, path] : m_files) std::remove(path.c_str());
        if (!m_dir.empty()) ::rmdir(m_dir.c_str());
    }
    std::u16string Path(const std::string& name) {
        if (m_dir.empty()) {
            char templ[] = "/tmp/qel_deep_page_bench.XXXXXX";
            if (::mkdtemp(templ)) m_dir = templ;
        }
        auto it = m_files.find(name);
        if (it == m_files.end()) {
            const std::string path = m_dir + "/" + name + ".html";
            const std::string bytes = kPages.at(name)();
            if (FILE* f = std::fopen(path.c_str(), "wb")) {
                std::fwrite(bytes.data(), 1, bytes.size(), f);
                std::fclose(f);
            }
            it = m_files.emplace(name, path).first;
        }
        return qel::framework::PathFromNative(it->second);
    }

private:
    std::string m_dir;
    std::map<std::string, std::string> m_files;
};

Pages g_pages;

void Import(benchmark::State& state, const std::string& name, bool accepted) {
    const std::u16string path = g_pages.Path(name);
    for (auto _ : state) {
        CQelTpjFile rec(TYPE_PROJECT);
        if (qel::html::CreateFromHtml(rec, path, nullptr) != accepted) state.SkipWithError("unexpected result");
        benchmark::DoNotOptimize(rec.m_strHtml.data());
    }
}

}  // namespace

BENCHMARK_CAPTURE(Import, ordinary, std::string("ordinary"), true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Import, nested_tables, std::string("nested_tables"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Import, unclosed_b_i_font, std::string("unclosed_b_i_font"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Import, nested_divs, std::string("nested_divs"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Import, reopened_formatting, std::string("reopened_formatting"), false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Import, deepest_accepted, std::string("deepest_accepted"), true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Import, densest_accepted, std::string("densest_accepted"), true)->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(Import, most_elements_accepted, std::string("most_elements_accepted"), true)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
