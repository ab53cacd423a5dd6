// The HTML loader and getHTMLText on pages of 20,000, 40,000 and 80,000 img
// elements: the time should double with the page. The reference is the
// floor of any getHTMLText: the page's text taken to UTF-8 and back.
#include <benchmark/benchmark.h>

#include <string>

#include "framework/codepage.h"
#include "host/html/dom.h"
#include "host/html/htmldata.h"

namespace {

std::u16string PageOfImages(int count) {
    std::u16string page =
        u"<!DOCTYPE html>\r\n<html><head><title>\u753B\u50CF</title></head>\r\n<body background=\"bg.gif\">\r\n";
    for (int i = 0; i < count; ++i) {
        const std::u16string n = qel::framework::Utf8ToWide(std::to_string(i));
        page += u"<p>\u5199\u771F " + n + u"<IMG SRC=\"img/" + n + u".gif\" alt='photo " + n + u"' width=10>\r\n";
    }
    return page + u"</body></html>\r\n";
}

void BM_Parse(benchmark::State& state) {
    const std::u16string page = PageOfImages(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CQelHtmlData loader(u"HTML");
        loader.CreateNodeDataFromData(page.data(), static_cast<int>(page.size()), nullptr);
        benchmark::DoNotOptimize(loader.m_pRootNode);
        loader.DestroyNodeData();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ParseSetAllAndText(benchmark::State& state) {
    const std::u16string page = PageOfImages(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CQelHtmlData loader(u"HTML");
        loader.CreateNodeDataFromData(page.data(), static_cast<int>(page.size()), nullptr);
        auto* doc = dynamic_cast<Document*>(loader.m_pRootNode);
        const NodeList imgs = doc->getElementsByTagName(u"img");
        for (unsigned i = 0; i < imgs.length(); ++i)
            static_cast<Element*>(imgs.item(i))
                ->setAttribute(u"src", u"cid:image" + qel::framework::Utf8ToWide(std::to_string(i + 1)));
        std::u16string text = doc->getHTMLText();
        benchmark::DoNotOptimize(text.data());
        loader.DestroyNodeData();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ReferenceTextRoundTrip(benchmark::State& state) {
    const std::u16string page = PageOfImages(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::u16string text = qel::framework::Utf8ToWide(qel::framework::WideToUtf8(page));
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_Parse)->Arg(20000)->Arg(40000)->Arg(80000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseSetAllAndText)->Arg(20000)->Arg(40000)->Arg(80000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceTextRoundTrip)->Arg(20000)->Arg(40000)->Arg(80000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
