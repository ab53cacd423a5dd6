// The box that ends an export in windows when no editor was started: it
// shows the written file's path with "Open Folder" as the default button,
// which starts xdg-open (a recording stand-in, first along PATH) on the
// file's folder; closing the box starts nothing.
#include "apps/qelhost/written_box.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/framework/wx/gtk_probe.h"
#include "tests/framework/wx/gui_testing.h"
#include "tests/support/qelhost_run.h"

namespace fs = std::filesystem;

namespace {

class WrittenBoxGuiTest : public qel::test::gui::GuiTest {};

TEST_F(WrittenBoxGuiTest, ShowsThePathAndOpenFolderOpensItsFolder) {
    fs::create_directories(path("bin"));
    qel::test::WriteRecordingEditor(path("bin/xdg-open"), path("opened.rec"));
    const std::string searchPath = path("bin").string() + ":" + std::getenv("PATH");
    UnsetVariable("PATH");
    ::setenv("PATH", searchPath.c_str(), 1);
    fs::create_directories(path("ToruCa"));
    const std::string file = path("ToruCa/toruca_detail.trc").string();
    qel::test::WriteFileBytes(file, "ToruCa\r\n");

    const std::pair<const char*, bool> answers[] = {{"Enter: Open Folder", true}, {"Esc: Close", false}};
    for (const auto& [what, open] : answers) {
        SCOPED_TRACE(what);
        Script().ExpectMessageBox(
            [](wxMessageDialog&) { return wxID_NONE; },
            [&, open = open](wxMessageDialog& box) {
                GtkWidget* widget = box.GetHandle();
                EXPECT_NE(std::string(box.GetMessage().utf8_str()).find(file), std::string::npos);
                GtkWidget* openButton = qel::test::gui::DialogButton(widget, wxID_YES);
                EXPECT_EQ(qel::test::gui::ButtonLabel(openButton), "_Open Folder");
                EXPECT_EQ(qel::test::gui::ButtonLabel(qel::test::gui::DialogButton(widget, wxID_NO)), "_Close");
                EXPECT_TRUE(qel::test::gui::IsDefaultButton(openButton));
                EXPECT_EQ(qel::test::gui::ClippedText(widget), "");
                if (open) qel::test::gui::Screenshot(box, "qelhost_written_file");
                qel::test::gui::Key(open ? WXK_RETURN : WXK_ESCAPE);
            });
        EXPECT_EQ(qel::apps::ShowWrittenFile(file), open);
        Script().VerifyAndClear();
        if (open) {
            ASSERT_TRUE(qel::test::WaitForFile(path("opened.rec")));
            EXPECT_EQ(qel::test::ReadFileBytes(path("opened.rec")), "1\n" + path("ToruCa").string() + "\n");
            fs::remove(path("opened.rec"));
        } else {
            qel::test::gui::Settle(300);
            EXPECT_FALSE(fs::exists(path("opened.rec")));
        }
    }
}

}  // namespace
