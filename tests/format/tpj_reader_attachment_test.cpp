// Attachments: hostile names and links never lead out of the temporary
// folder, a part that cannot be written fails the load and leaves nothing,
// every truncation of a valid file loads, and the store sees exactly the
// parts that are taken, in large blocks.
#include "tests/format/reader_testing.h"

namespace {

using namespace qel::test::reader;

TEST_F(TpjReader, AttachmentNamesNeverLeadOutOfTheFolder) {
    // The temporary folder is a subfolder, so that its parent can be watched.
    const fs::path temp = dir() / "temp";
    fs::create_directories(temp);
    ::setenv("QELHOST_TEMP_DIR", temp.c_str(), 1);
    qel::test::WriteFileBytes(temp / "x.gif", "keep me");
    qel::test::WriteFileBytes(dir() / "in.trc", "");
    const auto parentBefore = Listing(dir());
    const char* names[] = {"../../x.gif", "/etc/passwd", "a/b.gif", "..\\\\x.gif",          "..\\x.gif", "",
                           "..",          ".",           "x.gif",   "tab\tand\001bell.gif", "/"};
    std::vector<std::string> parts;
    for (const char* name : names)
        parts.push_back(
            Attachment(std::string("Content-Type: image/gif;name=\"") + name + "\"\r\nContent-ID: <i>\r\n", "UE5H"));
    qel::test::WriteFileBytes(dir() / "in.trc", Detail("", parts));
    ASSERT_TRUE(qel::format::LoadFile(rec, W(dir() / "in.trc")));
    EXPECT_EQ(Listing(dir()), parentBefore);
    EXPECT_EQ(qel::test::ReadFileBytes(temp / "x.gif"), "keep me");
    ASSERT_EQ(rec.m_arrImages.GetSize(), static_cast<int>(std::size(names)));
    std::set<std::u16string> paths;
    for (int i = 0; i < rec.m_arrImages.GetSize(); ++i) {
        const fs::path p = P(rec.m_arrImages[i].m_strPath);
        EXPECT_TRUE(p.parent_path() == temp || p.parent_path().parent_path() == temp) << p;
        EXPECT_EQ(qel::test::ReadFileBytes(p), "PNG") << p;
        paths.insert(rec.m_arrImages[i].m_strPath);
    }
    EXPECT_EQ(paths.size(), std::size(names));  // every attachment has a file of its own
    EXPECT_EQ(Listing(temp).size(), std::size(names) + 1);
}

TEST_F(TpjReader, ALinkAtTheNameIsNeverFollowed) {
    const fs::path temp = dir() / "temp";
    fs::create_directories(temp);
    ::setenv("QELHOST_TEMP_DIR", temp.c_str(), 1);
    qel::test::WriteFileBytes(dir() / "target", "keep me");
    fs::create_symlink(dir() / "target", temp / "a.gif");
    fs::create_symlink(dir() / "nowhere", temp / "b.gif");
    ASSERT_TRUE(Load(Detail("", {Attachment("Content-Type: image/gif;name=\"a.gif\"\r\n", "UE5H"),
                                 Attachment("Content-Type: image/gif;name=\"b.gif\"\r\n", "UE5H")})));
    EXPECT_EQ(qel::test::ReadFileBytes(dir() / "target"), "keep me");
    EXPECT_FALSE(fs::exists(dir() / "nowhere"));
    ASSERT_EQ(rec.m_arrImages.GetSize(), 2);
    // Each file keeps its name, in a folder of its own beside the links.
    for (int i = 0; i < 2; ++i) {
        const fs::path p = P(rec.m_arrImages[i].m_strPath);
        EXPECT_EQ(p.filename(), i == 0 ? "a.gif" : "b.gif");
        EXPECT_EQ(p.parent_path().parent_path(), temp);
        EXPECT_EQ(qel::test::ReadFileBytes(p), "PNG");
    }
}

TEST_F(TpjReader, AnAttachmentThatCannotBeWrittenWholeFailsTheLoadAndLeavesNoFile) {
    // No folder to write to: the card would refer to an image that is not there.
    ::setenv("QELHOST_TEMP_DIR", (dir() / "no" / "such").c_str(), 1);
    qel::test::WriteFileBytes(dir() / "no", "a file where the folder should be");
    qel::host::BeginExportReport();
    EXPECT_FALSE(Load(Detail("URL: http://u/", {"Content-Transfer-Encoding: 8bit\r\n\r\nh\r\n",
                                                Attachment("Content-Type: image/gif;name=\"a.gif\"\r\n", "UE5H")})));
    EXPECT_EQ(rec.m_arrImages.GetSize(), 0);
    EXPECT_EQ(qel::host::TakeExportReport().why.rfind(u"attachment " + W(dir() / "no" / "such" / "a.gif"), 0), 0u);

    // The disk fills up (the file size limit stands in for it) in the last
    // attachment, large enough to be written behind the decoding: the files
    // of the others go as well, and the folder made for a repeated name.
    const fs::path temp = dir() / "temp";
    fs::create_directories(temp);
    ::setenv("QELHOST_TEMP_DIR", temp.c_str(), 1);
    const std::string icon = "Content-Type: application/x-ticon;name=\"i.gif\";title=\"T\"\r\n";
    qel::test::WriteFileBytes(
        dir() / "in.trc",
        Detail("", {Attachment(icon, "UE5H"),
                    Attachment("Content-Type: image/gif;name=\"a.gif\"\r\nContent-ID: <a>\r\n", "UE5H"),
                    Attachment("Content-Type: image/gif;name=\"a.gif\"\r\nContent-ID: <a2>\r\n", "UE5H"),
                    Attachment("Content-Type: image/gif;name=\"b.gif\"\r\nContent-ID: <b>\r\n",
                               std::string(400000, 'Q'))}));
    rec.SetUniqueIcon(u"/kept/icon.gif", u"kept");
    qel::host::BeginExportReport();
    bool loaded = true;
    {
        const qel::test::FileSizeLimit limit(1000);
        loaded = qel::format::LoadFile(rec, W(dir() / "in.trc"));
    }
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(fs::is_empty(temp)) << *Listing(temp).begin();
    EXPECT_EQ(rec.m_arrImages.GetSize(), 0);
    EXPECT_EQ(rec.m_uniqueIcon.m_strPath, u"/kept/icon.gif") << "the record names no removed file";
    EXPECT_EQ(qel::host::TakeExportReport().why,
              u"attachment " + W(temp / "b.gif") + u" cannot be written: File too large");
}

// Every prefix of a valid file loads; what its complete lines say is read,
// and the only files left are those the record names.
TEST_F(TpjReader, EveryTruncationLoads) {
    const fs::path src = dir() / "src";
    fs::create_directories(src);
    qel::test::WriteFileBytes(src / "i.gif", "GIF89a" + Random(60, 5));
    qel::test::WriteFileBytes(src / "p.png", "\x89PNG\r\n\x1A\n" + Random(130, 6));
    CQelTpjFile orig(TYPE_CARD);
    orig.SetUrl(u"http://www.example.com/");
    orig.SetCategory(3);
    orig.SetColorId(5);
    orig.m_strHtml = u"<p>カード</p>\r\n<img src=\"cid:image1\">";
    orig.SetUniqueIcon(W(src / "i.gif"), u"T");
    orig.AddImage(W(src / "p.png"), u"image1");
    orig.AddImage(W(src / "i.gif"), u"image2");
    const std::string full = qel::framework::WideToCp932(qel::format::GetFileText(orig));
    const fs::path temp = dir() / "temp";
    ::setenv("QELHOST_TEMP_DIR", temp.c_str(), 1);

    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        SCOPED_TRACE(cut);
        const std::string prefix = full.substr(0, cut);
        fs::remove_all(temp);
        fs::create_directories(temp);
        CQelTpjFile r(TYPE_PROJECT);
        qel::test::WriteFileBytes(dir() / "cut.trc", prefix);
        ASSERT_TRUE(qel::format::LoadFile(r, W(dir() / "cut.trc")));
        if (prefix.find("URL: http://www.example.com/\r\n") != std::string::npos) {
            EXPECT_EQ(r.GetUrl(), u"http://www.example.com/");
        }
        if (prefix.find("Cat: 0003\r\n") != std::string::npos) {
            EXPECT_EQ(r.m_nCategory, 3);
        }
        if (prefix.find("Color-ID: 5\r\n") != std::string::npos) {
            EXPECT_EQ(r.m_nColorId, 5);
        }
        if (cut == full.size()) {
            EXPECT_EQ(r.m_arrImages.GetSize(), 2);
            EXPECT_EQ(r.GetType(), TYPE_CARD);
        }
        std::multiset<std::string> named;
        for (int i = 0; i < r.m_arrImages.GetSize(); ++i)
            named.insert(P(r.m_arrImages[i].m_strPath).lexically_relative(temp).string());
        std::u16string path, title;
        r.GetUniqueIcon(path, title);
        if (!path.empty()) named.insert(P(path).lexically_relative(temp).string());
        EXPECT_EQ(Files(temp), named);
    }
}

TEST_F(CardReader, ALargeAttachmentReachesTheStoreInLargeBlocks) {
    std::string image(57 * 110376, '\0');  // whole lines: no pad, one partial block at the end
    std::mt19937 rng(9);
    for (char& c : image) c = static_cast<char>(rng());
    MemoryStore store;
    ASSERT_TRUE(Read(Card({Encoded(image) + "\r\n"}), store));
    ASSERT_EQ(store.committed.size(), 1u);
    EXPECT_TRUE(store.committed[0].bytes == image);
    const auto& writes = store.committed[0].writes;
    ASSERT_GE(writes.size(), 2u);
    for (std::size_t i = 0; i + 1 < writes.size(); ++i) EXPECT_GE(writes[i], std::size_t{1} << 20) << "write " << i;
    ASSERT_EQ(rec.m_arrImages.GetSize(), 1);
    EXPECT_EQ(rec.m_arrImages[0].m_strPath, u"/mem/1");
}

TEST_F(CardReader, TheStoreSeesOnlyTakenPartsAndAFailureTakesAllBack) {
    const std::string small = Encoded("GIF89a small") + "\r\n";
    {
        // The last part has no delimiter after it: it is dropped.
        MemoryStore store;
        ASSERT_TRUE(
            Read(Card({small, small + "--b\r\n" + "Content-Transfer-Encoding: base64\r\n\r\n" + small}, false), store));
        EXPECT_EQ(store.committed.size(), 2u);
        EXPECT_FALSE(store.open);
    }
    {
        // The store refuses the second part's bytes: the load fails, the
        // first part is taken back, and the record lists no image.
        MemoryStore store;
        std::string big(3 << 20, 'x');
        store.failAfter = big.size() - 1;
        EXPECT_FALSE(Read(Card({small, Encoded(big) + "\r\n"}), store));
        EXPECT_EQ(store.committed.size(), 1u);
        EXPECT_EQ(store.removed, 1u);
        EXPECT_FALSE(store.open);
        EXPECT_EQ(rec.m_arrImages.GetSize(), 0);
    }
}

}  // namespace
