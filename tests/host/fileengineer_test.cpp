// Text conversion service: ASCII widened byte for byte into a caller-owned copy.
#include "host/fileengineer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

TEST(ConvertToUnicode, WidensEachByteIntoANewBuffer) {
    std::unique_ptr<char16_t[]> wide(CFileEngineer::convertToUnicode("QUJD\r\n+/=", 0));
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::u16string(wide.get()), u"QUJD\r\n+/=");

    std::unique_ptr<char16_t[]> high(CFileEngineer::convertToUnicode("a\xE9", 0));
    EXPECT_EQ(std::u16string(high.get()), std::u16string(u"a\u00E9"));  // never sign-extended

    std::unique_ptr<char16_t[]> empty(CFileEngineer::convertToUnicode("", 0));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty[0], u'\0');

    EXPECT_EQ(CFileEngineer::convertToUnicode(nullptr, 0), nullptr);
}

}  // namespace
