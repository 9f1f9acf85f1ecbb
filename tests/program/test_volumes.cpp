#include "program/volumes.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace vestrum;

TEST(Volumes, HomeComesFirstAndSystemFoldersAreLeftOut)
{
    const QVector<Place> places = UserPlaces();
    ASSERT_FALSE(places.isEmpty());
    EXPECT_TRUE(places.first().home);
    EXPECT_EQ(places.first().root, QDir::homePath());
    for (const Place& place : places) {
        EXPECT_FALSE(isInsideFolder(place.root, QStringLiteral("/proc"))) << place.root.toStdString();
        EXPECT_FALSE(isInsideFolder(place.root, QStringLiteral("/sys"))) << place.root.toStdString();
    }
    EXPECT_TRUE(isInsideFolder(QStringLiteral("/media/usb/dane"), QStringLiteral("/media/usb")));
    EXPECT_FALSE(isInsideFolder(QStringLiteral("/media/usb2"), QStringLiteral("/media/usb")));
    EXPECT_TRUE(isInsideFolder(QStringLiteral("/home"), QStringLiteral("/")));
}
