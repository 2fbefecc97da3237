// ReplacingFile replaces only regular files: what else an output name leads to is left as it is.
#include "output/ReplacingFile.h"
#include "tests/support/TestSupport.h"

#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vistamaze {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::size_t EntriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(ReplacingFileTargetTest, TargetsThatAreNotRegularFilesAreRefusedAndKept) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_symlink("fifo", dir / "fifo-link");
    fs::create_directory(dir / "folder");
    fs::create_symlink("/dev/null", dir / "null-link");
    const struct {
        std::string name;
        int sysError;
        std::string message;
    } cases[] = {
        {"fifo", ESPIPE, "\": it is not a regular file (a FIFO)"},
        {"fifo-link", ESPIPE, "\": it is not a regular file (a FIFO)"},
        {"folder", EISDIR, "\": Is a directory"},
        {"null-link", EINVAL, "\": it is not a regular file (a character device)"},
    };
    const std::size_t entries = EntriesIn(dir.Path());
    for (const auto& c : cases) {
        const fs::path target = dir / c.name;
        try {
            ReplacingFile file(target);
            ADD_FAILURE() << c.name << " was accepted";
        } catch (const ReplacingFileError& e) {
            EXPECT_EQ(e.SysError(), c.sysError) << c.name;
            const std::string message = e.what();
            EXPECT_TRUE(message.ends_with(" file \"" + target.string() + c.message)) << message;
        }
        // The movie's finished work file is renamed into place rather than written.
        test::WriteBytes(dir / "work", {'m'});
        EXPECT_EQ(ReplacingFile::RenameOver(-1, dir / "work", target), c.sysError) << c.name;
        fs::remove(dir / "work");
        EXPECT_EQ(EntriesIn(dir.Path()), entries) << c.name << " left a file behind";
    }
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_TRUE(fs::is_symlink(dir / "fifo-link"));
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
}

}  // namespace
}  // namespace vistamaze
