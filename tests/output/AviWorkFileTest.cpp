// Where a movie's bytes go: a failed save leaves the file it was to replace, and the work file is
// only ever a new file of ours.

#include "output/AviWriter.h"
#include "tests/output/AviTestParser.h"
#include "tests/support/TestSupport.h"

#include <csignal>
#include <ostream>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vistamaze::test {
namespace {

namespace fs = std::filesystem;

struct SaveCase {
    const char* name;
    bool audio;              // remuxed with the sound rather than moved or copied
    const char* workFolder;  // nullptr: beside the target; else a private folder under it
};

void PrintTo(const SaveCase& c, std::ostream* os) {
    *os << c.name;
}

class FailedSave : public ::testing::TestWithParam<SaveCase> {};

// The frames fit into the work file; a file size limit then stops the save half-way.
TEST_P(FailedSave, LeavesTheOldMovieByteForByteAndNoTemporaryFile) {
    const SaveCase c = GetParam();
    TempDir dir;
    struct stat here {};
    struct stat there {};
    if (c.workFolder != nullptr && (stat(c.workFolder, &there) != 0 || stat(dir.Path().c_str(), &here) != 0 ||
                                    here.st_dev == there.st_dev)) {
        GTEST_SKIP() << "no second file system at " << c.workFolder;
    }
    const fs::path target = dir / "movie.avi";
    const std::vector<std::uint8_t> old(30000, 0x5A);
    WriteBytes(target, old);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        try {
            auto writer = c.workFolder ? std::make_unique<AviWriter>(
                                             ScreenSize{}, AviWriter::PrivateWorkFolder{}, c.workFolder)
                                       : std::make_unique<AviWriter>(ScreenSize{}, dir.Path());
            writer->SetWidth(32);
            writer->SetHeight(32);
            writer->SetFileName(target.string());
            writer->SetWavFileName(c.audio ? DataFile("audio/chuck_snare_01.wav").string() : "");
            writer->OpenWorkFile();
            for (int i = 0; i < 8; ++i) {
                writer->AddFrame(PixelBuffer(32, 32, 24));
            }
            writer->CloseVideo();
            const rlimit limit{8000, RLIM_INFINITY};
            setrlimit(RLIMIT_FSIZE, &limit);
            writer->SaveMovie();
        } catch (const FileAccessError& e) {
            _exit(std::string(e.what()) ==
                          "Failed to save the movie \"" + target.string() + "\": File too large"
                      ? 0
                      : 2);
        }
        _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_TRUE(ReadBytes(target) == old) << "the old movie was changed";
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(Paths, FailedSave,
                         ::testing::Values(SaveCase{"RemuxedWithSound", true, nullptr},
                                           SaveCase{"CopiedFromAnotherFileSystem", false, "/dev/shm"}),
                         [](const auto& tp) { return std::string(tp.param.name); });

TEST(AviWriter, ALinkPlantedAsTheWorkFileIsNotFollowed) {
    if (!ToolAvailable("ffprobe")) {
        GTEST_SKIP() << "ffprobe is not installed";
    }
    TempDir temp;
    TempDir elsewhere;
    const fs::path existing = elsewhere / "precious";
    const fs::path missing = elsewhere / "absent";
    WriteBytes(existing, {'k', 'e', 'e', 'p'});
    for (const fs::path& victim : {existing, missing}) {
        fs::create_symlink(victim, temp / AviWriter::kWorkFileName);
        const fs::path movie = elsewhere / "movie.avi";
        AviWriter writer({1920, 1080}, temp.Path());
        writer.SetWidth(16);
        writer.SetHeight(16);
        writer.SetFileName(movie.string());
        writer.OpenWorkFile();
        writer.AddFrame(PixelBuffer(16, 16, 24));
        writer.AddFrame(PixelBuffer(16, 16, 24));
        writer.CloseVideo();
        writer.SaveMovie();
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(movie))) << victim;
        EXPECT_EQ(ProbeStream(movie, "v:0")["nb_read_frames"], "2") << victim;
    }
    EXPECT_EQ(ReadBytes(existing), std::vector<std::uint8_t>({'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(fs::exists(missing));
}

}  // namespace
}  // namespace vistamaze::test
