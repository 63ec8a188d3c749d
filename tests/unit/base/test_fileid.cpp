// What a file is, as against how it is named.
#include "fileid.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// Two names are one file by what they lead to; a device is its number, so
// a second node of a device is that device (here /dev/null's numbers stand
// in for the memory device's; making the node needs root).
TEST(FileId, ADeviceIsItsNumber) {
    char dir[] = "/tmp/zorl-id-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    std::string node = std::string(dir) + "/null2", file = std::string(dir) + "/f";
    bool made = mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    ASSERT_EQ(close(open(file.c_str(), O_CREAT | O_WRONLY, 0644)), 0);
    struct {
        std::string a;
        const char *b;
        bool same;
    } cases[] = {
        {node, "/dev/null", true}, {"/dev/zero", "/dev/null", false}, {file, "/dev/null", false}};
    for (auto &c : cases) {
        if (c.a == node && !made) continue;
        struct stat a, b;
        EXPECT_EQ(statpath(c.a.c_str(), &a), 0) << c.a;
        EXPECT_EQ(stat(c.b, &b), 0) << c.b;
        EXPECT_EQ(sameid(a, b), c.same) << c.a << " and " << c.b;
    }
    unlink(node.c_str());
    unlink(file.c_str());
    EXPECT_EQ(rmdir(dir), 0);
    if (!made) GTEST_SKIP() << "a second device node needs root (mknod)";
}
