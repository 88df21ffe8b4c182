// Handle tables: life cycle of bitmaps, icons and global blocks, validation
// of sections, handle numbering, and per-thread tables.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <thread>

#include "platform/gdi/handles.h"

using namespace orrery::gdi;

namespace {

DibSection section(int w, int h, int bitCount) {
    DibSection s;
    s.width = w;
    s.height = h;
    s.bitCount = bitCount;
    s.bits.assign(static_cast<size_t>(s.stride()) * static_cast<size_t>(h < 0 ? -h : h), 0);
    if (bitCount <= 8) s.colors.assign(size_t{1} << bitCount, 0x808080);
    return s;
}

IconInfo iconOf(int w, int h) {
    IconInfo info;
    info.color = section(w, h, 32);
    info.mask = section(w, h, 1);
    return info;
}

}  // namespace

TEST(BitmapHandles, LifeCycle) {
    size_t before = liveBitmapCount();
    DibSection s = section(3, -2, 24);
    s.bits[5] = 0x42;
    HBITMAP h = createBitmap(s);
    ASSERT_NE(h, 0u);
    EXPECT_LT(h, 0x80000000u);
    EXPECT_EQ(liveBitmapCount(), before + 1);
    const DibSection* got = bitmap(h);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->width, 3);
    EXPECT_EQ(got->height, -2);
    EXPECT_EQ(got->bits, s.bits);
    EXPECT_TRUE(deleteBitmap(h));
    EXPECT_EQ(bitmap(h), nullptr);
    EXPECT_FALSE(deleteBitmap(h));
    EXPECT_EQ(liveBitmapCount(), before);
}

TEST(BitmapHandles, NumbersAreDistinctAndNotReusedAtOnce) {
    std::set<uint32_t> seen;
    for (int i = 0; i < 50; ++i) {
        HBITMAP h = createBitmap(section(1, 1, 8));
        ASSERT_NE(h, 0u);
        EXPECT_TRUE(seen.insert(h).second);
        EXPECT_TRUE(deleteBitmap(h));
    }
    HICON icon = createIcon(iconOf(1, 1));
    HGLOBAL block = globalAlloc(4);
    EXPECT_FALSE(seen.count(icon));
    EXPECT_FALSE(seen.count(block));
    EXPECT_NE(icon, block);
    EXPECT_TRUE(destroyIcon(icon));
    EXPECT_TRUE(globalFree(block));
}

TEST(BitmapHandles, InvalidSectionsAreRefused) {
    DibSection s = section(2, 2, 24);
    auto with = [&](auto change) {
        DibSection t = s;
        change(t);
        return createBitmap(std::move(t));
    };
    EXPECT_EQ(with([](DibSection& t) { t.width = 0; }), 0u);
    EXPECT_EQ(with([](DibSection& t) { t.width = -2; }), 0u);
    EXPECT_EQ(with([](DibSection& t) { t.height = 0; }), 0u);
    EXPECT_EQ(with([](DibSection& t) { t.height = INT32_MIN; }), 0u);
    EXPECT_EQ(with([](DibSection& t) { t.bitCount = 2; }), 0u);
    EXPECT_EQ(with([](DibSection& t) { t.bitCount = 48; }), 0u);
    EXPECT_EQ(with([](DibSection& t) { t.bits.pop_back(); }), 0u);
    EXPECT_EQ(with([](DibSection& t) { t.height = -3; }), 0u);  // bits for two rows only
    EXPECT_EQ(with([](DibSection& t) { t.colors.assign(257, 0); }), 0u);
    EXPECT_EQ(with([](DibSection& t) { t.width = 0x7fffffff; }), 0u);
    HBITMAP ok = with([](DibSection& t) { t.bits.push_back(0); });  // extra bytes are fine
    EXPECT_NE(ok, 0u);
    EXPECT_TRUE(deleteBitmap(ok));
    EXPECT_EQ(bitmap(0), nullptr);
    EXPECT_FALSE(deleteBitmap(0));
}

TEST(IconHandles, LifeCycleAndValidation) {
    size_t before = liveIconCount();
    IconInfo info = iconOf(4, 4);
    info.isIcon = false;
    info.hotspotX = 2;
    HICON h = createIcon(info);
    ASSERT_NE(h, 0u);
    ASSERT_NE(icon(h), nullptr);
    EXPECT_FALSE(icon(h)->isIcon);
    EXPECT_EQ(icon(h)->hotspotX, 2);
    // A bitmap handle does not name an icon, nor the reverse.
    EXPECT_EQ(bitmap(h), nullptr);
    EXPECT_FALSE(deleteBitmap(h));
    EXPECT_EQ(liveIconCount(), before + 1);
    EXPECT_TRUE(destroyIcon(h));
    EXPECT_FALSE(destroyIcon(h));
    EXPECT_EQ(icon(h), nullptr);
    EXPECT_EQ(liveIconCount(), before);

    IconInfo badMask = iconOf(4, 4);
    badMask.mask = section(4, 4, 8);
    EXPECT_EQ(createIcon(badMask), 0u);
    IconInfo otherSize = iconOf(4, 4);
    otherSize.mask = section(4, 3, 1);
    EXPECT_EQ(createIcon(otherSize), 0u);
    IconInfo flippedMask = iconOf(4, 4);
    flippedMask.mask = section(4, -4, 1);  // orientation may differ
    HICON flipped = createIcon(flippedMask);
    EXPECT_NE(flipped, 0u);
    EXPECT_TRUE(destroyIcon(flipped));
    IconInfo noColour = iconOf(4, 4);
    noColour.color = DibSection{};
    EXPECT_EQ(createIcon(noColour), 0u);
}

TEST(GlobalMemory, AllocLockUnlockFree) {
    size_t before = liveGlobalCount();
    HGLOBAL h = globalAlloc(10);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(globalSize(h), 10u);
    uint8_t* p = globalLock(h);
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(p[i], 0);  // zero-filled
    std::memcpy(p, "abcdefghij", 10);
    uint8_t* again = globalLock(h);
    EXPECT_EQ(again, p);
    EXPECT_TRUE(globalUnlock(h));   // still locked once
    EXPECT_FALSE(globalUnlock(h));  // now unlocked
    EXPECT_FALSE(globalUnlock(h));  // not locked at all
    EXPECT_EQ(std::memcmp(globalLock(h), "abcdefghij", 10), 0);
    EXPECT_EQ(liveGlobalCount(), before + 1);
    EXPECT_TRUE(globalFree(h));
    EXPECT_FALSE(globalFree(h));
    EXPECT_EQ(globalLock(h), nullptr);
    EXPECT_EQ(globalSize(h), 0u);
    EXPECT_EQ(liveGlobalCount(), before);

    HGLOBAL empty = globalAlloc(0);
    ASSERT_NE(empty, 0u);
    EXPECT_EQ(globalLock(empty), nullptr);
    EXPECT_TRUE(globalFree(empty));
    EXPECT_EQ(globalAlloc(size_t{1} << 40), 0u);
}

TEST(HandleTables, ArePerThread) {
    HBITMAP mine = createBitmap(section(1, 1, 24));
    ASSERT_NE(mine, 0u);
    bool seenThere = true;
    size_t countThere = 99;
    std::thread([&] {
        seenThere = bitmap(mine) != nullptr;
        countThere = liveBitmapCount();
    }).join();
    EXPECT_FALSE(seenThere);
    EXPECT_EQ(countThere, 0u);
    EXPECT_TRUE(deleteBitmap(mine));
}
