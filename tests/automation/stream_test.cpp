#include "platform/automation/stream.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

using namespace orrery::automation;

TEST(MemoryStream, ReadsWritesAndSeeksLikeAStream) {
    MemoryStream s;
    uint32_t n = 0;
    ASSERT_EQ(s.Write("hello", 5, &n), S_OK);
    EXPECT_EQ(n, 5u);
    uint64_t pos = 0;
    ASSERT_EQ(s.Seek(1, SeekOrigin::Set, &pos), S_OK);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8, &n), S_FALSE);
    EXPECT_EQ(n, 4u);
    EXPECT_STREQ(buf, "ello");
    EXPECT_EQ(s.Seek(-10, SeekOrigin::Current, &pos), STG_E_INVALIDFUNCTION);
    ASSERT_EQ(s.Seek(2, SeekOrigin::End, &pos), S_OK);
    EXPECT_EQ(pos, 7u);
    ASSERT_EQ(s.Write("!", 1, &n), S_OK);  // writing past the end fills the gap with zeros
    uint64_t size = 0;
    s.Size(&size);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(s.bytes()[5], 0);
    ASSERT_EQ(s.SetSize(2), S_OK);
    s.Seek(0, SeekOrigin::Set, nullptr);
    std::vector<uint8_t> all;
    ASSERT_EQ(readToEnd(s, all), S_OK);
    EXPECT_EQ(all, (std::vector<uint8_t>{'h', 'e'}));
}

TEST(FileStream, OpensReadsWritesAndReportsMissingFiles) {
    orrery::test::TempDir dir;
    std::unique_ptr<FileStream> f;
    EXPECT_EQ(FileStream::open(dir.file("missing").string(), FileMode::Read, f), STG_E_FILENOTFOUND);
    EXPECT_EQ(FileStream::open(dir.path().string(), FileMode::Read, f), STG_E_ACCESSDENIED);
    ASSERT_EQ(FileStream::open(dir.file("a.bin").string(), FileMode::Create, f), S_OK);
    uint32_t n = 0;
    ASSERT_EQ(f->Write("abcdef", 6, &n), S_OK);
    ASSERT_EQ(f->Seek(-2, SeekOrigin::End, nullptr), S_OK);
    char buf[4] = {};
    EXPECT_EQ(f->Read(buf, 3, &n), S_FALSE);
    EXPECT_EQ(std::string(buf, n), "ef");
    uint64_t size = 0;
    ASSERT_EQ(f->Size(&size), S_OK);
    EXPECT_EQ(size, 6u);
    f.reset();
    EXPECT_EQ(orrery::test::readFile(dir.file("a.bin")).size(), 6u);
}
