// What the host's library installs in the framework when it is loaded: the
// "qelhost: " prefix, and the script driver for the file QELHOST_SCRIPT names
// (read at each choice of the driver, so a variable set later counts).
#include "host/framework_hooks.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "framework/diagnostic.h"
#include "framework/dialog.h"
#include "framework/modaldriver.h"
#include "tests/support/test_support.h"

namespace {

class FrameworkHooks : public qel::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        for (const char* name : {"QELHOST_SCRIPT", "DISPLAY", "WAYLAND_DISPLAY"}) UnsetVariable(name);
        m_previous = AfxSetModalDriver(nullptr);
        AfxResetModalDriver();
        m_sink = qel::framework::SetDiagnosticSink([this](std::string_view l) { lines.emplace_back(l); });
    }
    void TearDown() override {
        qel::framework::SetDiagnosticSink(std::move(m_sink));
        AfxResetModalDriver();
        AfxSetModalDriver(m_previous);
        TempDirTest::TearDown();
    }

    std::vector<std::string> lines;

private:
    CModalDriver* m_previous = nullptr;
    qel::framework::DiagnosticSink m_sink;
};

TEST_F(FrameworkHooks, AScriptNamedAfterLoadingDrivesAndLinesCarryThePrefix) {
    EXPECT_EQ(qel::framework::DiagnosticPrefix(), "qelhost: ");
    EXPECT_STREQ(AfxGetModalDriver().Name(), "headless");

    WriteFile("script.txt", "dialog 99\nok\n");
    ::setenv("QELHOST_SCRIPT", path("script.txt").c_str(), 1);
    AfxResetModalDriver();
    EXPECT_STREQ(AfxGetModalDriver().Name(), "script");
    EXPECT_EQ(AfxMessageBox(u"note"), IDOK);
    EXPECT_EQ(lines, (std::vector<std::string>{"qelhost: message: note"}));
}

TEST_F(FrameworkHooks, AnEmptyVariableNamesNoScript) {
    ::setenv("QELHOST_SCRIPT", "", 1);
    EXPECT_STREQ(AfxGetModalDriver().Name(), "headless");
    EXPECT_TRUE(lines.empty());
}

}  // namespace
