#include "engine/TextureList.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& file) {
    test::WriteBytes(file, {0x42});
}

std::set<std::string> Names(const TextureList& list) {
    std::set<std::string> names;
    for (const fs::path& f : list.Files()) {
        names.insert(f.filename().string());
    }
    return names;
}

TEST(TextureListTest, KeepsOnlyPictureExtensionsOfTheFolderItself) {
    test::TempDir dir;
    for (const char* name :
         {"a.bmp", "b.PNG", "c.jpeg", "d.gif", "e.JpG", "f.jpeg.txt", "noext", ".png", "g.tif"}) {
        Touch(dir / name);
    }
    fs::create_directory(dir / "sub");
    Touch(dir / "sub" / "inner.bmp");
    int events = 0;
    TextureList list;
    list.Refresh(dir / "d.gif", [&events] { ++events; });
    EXPECT_EQ(Names(list), (std::set<std::string>{"a.bmp", "b.PNG", "c.jpeg", "e.JpG", ".png"}));
    EXPECT_EQ(events, 10);               // once per entry, the sub-folder included
    EXPECT_EQ(list.CurrentIndex(), -1);  // a GIF can be the current texture without being listed
    for (const fs::path& f : list.Files()) {
        EXPECT_EQ(f.parent_path(), dir.Path());
    }
}

TEST(TextureListTest, PathsDifferingOnlyInCaseAreListedOnce) {
    test::TempDir dir;
    Touch(dir / "tree.bmp");
    Touch(dir / "TREE.BMP");
    Touch(dir / "other.png");
    TextureList list;
    list.Refresh(dir / "Tree.Bmp");
    ASSERT_EQ(list.Files().size(), 2U);
    const int index = list.CurrentIndex();
    ASSERT_GE(index, 0);
    const std::string found = list.Files()[static_cast<std::size_t>(index)].filename().string();
    EXPECT_TRUE(found == "tree.bmp" || found == "TREE.BMP") << found;
}

TEST(TextureListTest, NextAndPreviousWrapAround) {
    test::TempDir dir;
    for (const char* name : {"1.bmp", "2.bmp", "3.bmp"}) {
        Touch(dir / name);
    }
    TextureList list;
    list.Refresh(dir / "absent.bmp");
    const std::vector<fs::path> files = list.Files();
    ASSERT_EQ(files.size(), 3U);
    ASSERT_EQ(list.CurrentIndex(), -1);
    EXPECT_EQ(list.Next(), files[0]);
    EXPECT_EQ(list.Previous(), files[2]);
    EXPECT_EQ(list.Next(), files[0]);
    EXPECT_EQ(list.Next(), files[1]);
    EXPECT_EQ(list.Next(), files[2]);
    EXPECT_EQ(list.CurrentIndex(), 2);

    list.Refresh(files[1]);
    EXPECT_EQ(list.CurrentIndex(), 1);
    list.Refresh(dir / "absent.bmp");
    EXPECT_EQ(list.Previous(), files[2]);  // from -1 straight to the last entry

    list.Refresh(files[0]);
    EXPECT_EQ(list.Previous(), files[2]);
    EXPECT_EQ(list.CurrentIndex(), 2);
}

TEST(TextureListTest, MissingFolderGivesAnEmptyList) {
    test::TempDir dir;
    Touch(dir / "x.bmp");
    TextureList list;
    list.Refresh(dir / "x.bmp");
    ASSERT_EQ(list.Files().size(), 1U);

    int events = 0;
    list.Refresh(dir / "gone" / "x.bmp", [&events] { ++events; });
    EXPECT_TRUE(list.Files().empty());
    EXPECT_EQ(list.CurrentIndex(), -1);
    EXPECT_EQ(list.Next(), std::nullopt);
    EXPECT_EQ(list.Previous(), std::nullopt);
    EXPECT_EQ(events, 0);

    list.Refresh("x.bmp");  // no folder part
    EXPECT_TRUE(list.Files().empty());

    list.Refresh(dir / "x.bmp");
    list.Clear();
    EXPECT_TRUE(list.Files().empty());
    EXPECT_EQ(list.CurrentIndex(), -1);
}

}  // namespace
}  // namespace vistamaze
