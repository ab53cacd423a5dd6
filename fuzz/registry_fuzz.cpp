// Arbitrary bytes as the machine registry file, read through the editor
// lookup and a named value.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/registry.h"
#include "toruca/editor.h"

namespace {

// One file per fuzzing process, named by QELHOST_REGISTRY and removed at exit.
const std::string& RegistryFile() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/qel_registry_fuzz.XXXXXX";
        const int fd = ::mkstemp(templ.data());
        if (fd < 0) std::abort();
        ::close(fd);
        ::setenv("QELHOST_REGISTRY", templ.c_str(), 1);
        return templ;
    }();
    static const bool cleanup = std::atexit([] { ::unlink(RegistryFile().c_str()); }) == 0;
    (void)cleanup;
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = RegistryFile();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    (void)CQelToruca().ReadEditorPath();
    CHKLMRegistryBase key(u"SOFTWARE\\Qel", 0);
    (void)key.GetValueString(u"Name", u"default", 0);
    return 0;
}
