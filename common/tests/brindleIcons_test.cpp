// The compiled-in images: every index gives an image of its family's size on a
// transparent ground, no two images of a family are the same, and indexes outside a
// family give an empty icon.
#include "brindleIcons.h"

#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <set>

namespace {

struct Family {
    const char* name;
    std::function<QIcon(int)> icon;
    int count;
    int size;
    std::set<int> blanks; // positions whose image is intentionally empty
};

QImage imageOf(const QIcon& icon, int size) {
    return icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool hasVisiblePixel(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0) return true;
    return false;
}

bool cornersTransparent(const QImage& image) {
    const int right = image.width() - 1, bottom = image.height() - 1;
    return qAlpha(image.pixel(0, 0)) == 0 && qAlpha(image.pixel(right, 0)) == 0 &&
           qAlpha(image.pixel(0, bottom)) == 0 && qAlpha(image.pixel(right, bottom)) == 0;
}

const Family families[] = {
    {"toolbar", brindleIcons::toolbar, 12, 24, {1, 5, 9}},
    {"file state", brindleIcons::fileState, 7, 16, {}},
    {"worker state", brindleIcons::clientState, 4, 16, {}},
};

} // namespace

TEST(BrindleIcons, EachFamilyHasDistinctImagesOfItsSizeOnATransparentGround) {
    for (const Family& family : families) {
        std::vector<QImage> drawn;
        for (int index = 0; index < family.count; ++index) {
            SCOPED_TRACE(std::string(family.name) + " " + std::to_string(index));
            const QIcon icon = family.icon(index);
            ASSERT_FALSE(icon.isNull());
            const QList<QSize> sizes = icon.availableSizes();
            ASSERT_EQ(sizes.size(), 1);
            EXPECT_EQ(sizes.front(), QSize(family.size, family.size));
            const QImage image = imageOf(icon, family.size);
            EXPECT_TRUE(cornersTransparent(image));
            if (family.blanks.count(index)) {
                EXPECT_FALSE(hasVisiblePixel(image));
                continue;
            }
            EXPECT_TRUE(hasVisiblePixel(image));
            for (const QImage& earlier : drawn)
                EXPECT_NE(image, earlier);
            drawn.push_back(image);
        }
    }
}

TEST(BrindleIcons, IndexesOutsideAFamilyGiveAnEmptyIcon) {
    for (const Family& family : families) {
        SCOPED_TRACE(family.name);
        EXPECT_TRUE(family.icon(-1).isNull());
        EXPECT_TRUE(family.icon(family.count).isNull());
    }
}

TEST(BrindleIcons, ProgramIconComesInTraySmallAndWindowSizes) {
    const QIcon icon = brindleIcons::program();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (int size : {16, 32, 48}) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(sizes.contains(QSize(size, size)));
        const QImage image = imageOf(icon, size);
        EXPECT_EQ(image.size(), QSize(size, size));
        EXPECT_TRUE(cornersTransparent(image));
        EXPECT_TRUE(hasVisiblePixel(image));
    }
}

// Pixmaps need the application object, on the offscreen platform unless the caller
// chose another.
int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
