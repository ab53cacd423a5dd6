#include "framework/diagnostic.h"

#include <cstdio>

namespace qel::framework {

namespace {

DiagnosticSink& Sink() {
    static DiagnosticSink sink;
    return sink;
}

std::string& Prefix() {
    static std::string prefix;
    return prefix;
}

}  // namespace

DiagnosticSink SetDiagnosticSink(DiagnosticSink sink) {
    DiagnosticSink before = std::move(Sink());
    Sink() = std::move(sink);
    return before;
}

void Diagnostic(std::string_view line) {
    if (Sink()) {
        Sink()(line);
        return;
    }
    std::string out(line);
    out += '\n';
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}

std::string SetDiagnosticPrefix(std::string prefix) {
    std::string before = std::move(Prefix());
    Prefix() = std::move(prefix);
    return before;
}

const std::string& DiagnosticPrefix() { return Prefix(); }

void HostDiagnostic(std::string_view text) {
    std::string line = Prefix();
    line += text;
    Diagnostic(line);
}

}  // namespace qel::framework
