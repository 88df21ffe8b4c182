// Drop data: which URIs of a text/uri-list name local files, and which menu
// entries a person could choose.
#include <gtest/gtest.h>

#include "platform/window/drop_data.h"

using namespace orrery::window;

TEST(DropData, OnlyFileUrisOfThisMachineNameFiles) {
    EXPECT_EQ(localPathFromUri("file:///tmp/a.png"), "/tmp/a.png");
    EXPECT_EQ(localPathFromUri("file://localhost/tmp/a.png"), "/tmp/a.png");
    EXPECT_EQ(localPathFromUri("FILE://LocalHost/tmp/a.png"), "/tmp/a.png");
    EXPECT_EQ(localPathFromUri("file:/tmp/a.png"), "/tmp/a.png");
    EXPECT_EQ(localPathFromUri("file:///tmp/b%20c%25d%2Fe.jpg"), "/tmp/b c%d/e.jpg");
    EXPECT_EQ(localPathFromUri("file:///tmp/50%.jpg"), "/tmp/50%.jpg");  // a broken escape stays
    EXPECT_EQ(localPathFromUri("file:///tmp/x.jpg#frag"), "/tmp/x.jpg");
    EXPECT_FALSE(localPathFromUri("file://server/share/a.png"));
    EXPECT_FALSE(localPathFromUri("file://localhostile/a.png"));
    EXPECT_FALSE(localPathFromUri("http://localhost/a.png"));
    EXPECT_FALSE(localPathFromUri("file:///tmp/a%00.png"));
    EXPECT_FALSE(localPathFromUri("file://"));
    EXPECT_FALSE(localPathFromUri("file:relative.png"));

    const DropData list = dropDataFromUriList("# a comment\r\nhttp://x/y.png\r\nfile:///a.png\r\n\r\n file:///b.png \n");
    EXPECT_TRUE(list.hasFileList);
    EXPECT_EQ(list.files, (std::vector<std::string>{"/a.png", "/b.png"}));
    EXPECT_FALSE(dropDataFromUriList("http://x/y.png\r\n").hasFileList);
    EXPECT_FALSE(dropDataFromUriList("").hasFileList);
}

TEST(DropData, MenuItemsAreChoosableThroughEnabledTitlesOnly) {
    auto item = [](int32_t id, const char* caption, bool enabled = true, bool separator = false) {
        return MenuItem{id, caption, enabled, false, separator, {}};
    };
    MenuItem sub = item(1, "Sub");
    sub.items = {item(2, "Two"), item(0, "-", true, true), item(3, "Three", false)};
    const std::vector<MenuItem> menu = {sub, item(4, "Four")};
    EXPECT_TRUE(isChoosable(menu, 2));
    EXPECT_TRUE(isChoosable(menu, 4));
    EXPECT_FALSE(isChoosable(menu, 1));  // a title opens its items
    EXPECT_FALSE(isChoosable(menu, 3));  // disabled
    EXPECT_FALSE(isChoosable(menu, 0));
    EXPECT_FALSE(isChoosable(menu, 5));
    std::vector<MenuItem> closed = menu;
    closed[0].enabled = false;
    EXPECT_FALSE(isChoosable(closed, 2));
}
