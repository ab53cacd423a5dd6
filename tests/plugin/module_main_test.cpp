// The plug-in boundary as a real host sees it: the module is loaded with
// dlopen, and the interfaces are the host's own declarations (the ones
// qelhost uses), not the module's headers. This program does not link the
// module's code.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "apps/qelhost/module_interfaces.h"

namespace {

using SetProc = int (*)(void**, int, int, int);
using Factory = CreateDeviceIFProc;
constexpr int kEntries = 1024;

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        handle_ = ::dlopen(QEL_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << ::dlerror();
        set_ = reinterpret_cast<SetProc>(::dlsym(handle_, "FSetFunctionAddress"));
        ASSERT_NE(set_, nullptr);
        for (auto& e : table_) e = &sentinel_;
    }
    void TearDown() override {
        if (handle_) ::dlclose(handle_);
    }
    bool OnlyEntryChanged(int index) const {
        for (int i = 0; i < kEntries; ++i)
            if (i != index && table_[static_cast<std::size_t>(i)] != &sentinel_) return false;
        return true;
    }
    bool Untouched() const { return OnlyEntryChanged(-1); }

    void* handle_ = nullptr;
    SetProc set_ = nullptr;
    int sentinel_ = 0;
    std::array<void*, kEntries> table_{};
};

TEST_F(ModuleTest, ResultCodesAreTestedInOrder) {
    EXPECT_EQ(set_(nullptr, 0, 2, 83), 1);  // the kind is tested before the table
    EXPECT_EQ(set_(table_.data(), 0, 0, 83), 1);
    EXPECT_EQ(set_(nullptr, 0, 1, 83), 2);
    EXPECT_EQ(set_(nullptr, 0, 1, 0), 2);  // whatever the revision
    EXPECT_EQ(set_(table_.data(), 0, 1, 82), 3);
    EXPECT_EQ(set_(table_.data(), 0, 1, -5), 3);
    EXPECT_EQ(set_(table_.data(), 0, 1, INT32_MIN), 3);
    EXPECT_TRUE(Untouched());
    EXPECT_EQ(set_(table_.data(), 12345, 1, 83), 0);  // the reserved argument is never read
    EXPECT_TRUE(OnlyEntryChanged(538));
    EXPECT_NE(table_[538], &sentinel_);
    void* first = table_[538];
    EXPECT_EQ(set_(table_.data(), 0, 1, 1000), 0);
    EXPECT_EQ(table_[538], first);  // a repeated call stores the same address
}

TEST_F(ModuleTest, DevicesAndRecordsThroughTheHostsDeclarations) {
    ASSERT_EQ(set_(table_.data(), 0, 1, 83), 0);
    auto factory = reinterpret_cast<Factory>(table_[538]);
    std::unique_ptr<CQelDeviceIF> a(factory());
    std::unique_ptr<CQelDeviceIF> b(factory());
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.get(), b.get());
    std::unique_ptr<CQelTpjFileIF> rec(a->CreateProject());
    ASSERT_TRUE(rec);
    a.reset();  // deleting one device leaves the other, and the record, working
    EXPECT_EQ(rec->GetType(), 1);
    EXPECT_EQ(rec->GetVersionCode(), 4);
    rec->SetType(4);
    EXPECT_EQ(rec->GetType(), 4);
    std::unique_ptr<CQelTpjFileIF> copy(rec->Clone());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->GetType(), 4);
    EXPECT_EQ(copy->GetHtml(false), u"");
    std::unique_ptr<CQelTpjFileIF> other(b->CreateProject());
    EXPECT_EQ(other->GetType(), 1);
}

TEST(ModuleSymbols, OnlyFSetFunctionAddressIsExportedOfItsOwn) {
    const std::string cmd = std::string("nm -D --defined-only ") + QEL_MODULE_PATH;
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[1024];
    std::vector<std::string> own;
    while (std::fgets(line, sizeof line, p)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        const auto sp = s.rfind(' ');
        const std::string name = sp == std::string::npos ? s : s.substr(sp + 1);
        const char kind = s.size() > 17 ? s[17] : '?';
        // Code and data symbols of the module itself (not the linker's markers).
        if (kind == 'T' || kind == 'D' || kind == 'B' || kind == 'R' || kind == 'W' || kind == 'V' || kind == 'u')
            if (name != "_init" && name != "_fini") own.push_back(name);
    }
    ::pclose(p);
    EXPECT_EQ(own, std::vector<std::string>{"FSetFunctionAddress"});
}

}  // namespace
