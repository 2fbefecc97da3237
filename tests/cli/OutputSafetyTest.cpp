// The renderer as a user runs it, given command lines whose files would be destroyed or that name
// files which are not regular files, options that do nothing, and signals while it writes.
#include "tests/cli/RendererChild.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistamaze::cli {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Every entry under `folder` (links not followed) with the bytes of the regular files.
std::map<fs::path, std::vector<std::uint8_t>> Snapshot(const fs::path& folder) {
    std::map<fs::path, std::vector<std::uint8_t>> entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const bool regular = entry.is_regular_file() && !entry.is_symlink();
        entries[entry.path()] = regular ? test::ReadBytes(entry.path()) : std::vector<std::uint8_t>{};
    }
    return entries;
}

class OutputSafetyTest : public testing::Test {
protected:
    void SetUp() override {
        const fs::path maps = fs::path(VM_SOURCE_DIR) / "DepthMaps";
        fs::copy_file(maps / "Torus.png", dir_ / "d1.png");
        fs::copy_file(maps / "Pyramid.png", dir_ / "d2.png");
        fs::copy_file(maps / "Spheres.png", dir_ / "tex.png");
        fs::create_directory(dir_ / "sub");
        fs::copy_file(maps / "Spheres.png", dir_ / "sub" / "d1.png");
        fs::create_directory(dir_ / "out");
        fs::create_symlink("d1.png", dir_ / "link.png");
        test::WriteBytes(dir_ / "old.avi", {'o', 'l', 'd'});
        fs::create_symlink("old.avi", dir_ / "sound.wav");
        ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    }
    // Runs in the temporary folder, so file names are relative to it; `timeout` turns a hang on a
    // FIFO into a failure rather than a stuck test.
    int Run(const std::string& args, std::string* out) const {
        return test::RunCommand("cd " + dir_.Path().string() + " && timeout 60 " + VM_RENDERER_PATH +
                                    " -W 64 -H 48 " + args + " 2>&1",
                                out);
    }
    TempDir dir_;
};

TEST_F(OutputSafetyTest, CollidingFilesAreRefusedBeforeAnythingIsWritten) {
    const struct {
        std::string args;
        std::string message;
    } cases[] = {
        {"d2.png d1.png -o d%n.png", R"(output "d1.png" would overwrite the input "d1.png")"},
        {"d1.png -o d1.png", R"(output "d1.png" would overwrite the input "d1.png")"},
        {"d1.png -o sub/../d1.png", R"(output "sub/../d1.png" would overwrite the input "d1.png")"},
        {"d1.png -o link.png", R"(output "link.png" would overwrite the input "d1.png")"},
        {"link.png -o ./d1.png", R"(output "./d1.png" would overwrite the input "link.png")"},
        {"d1.png -t tex.png -o tex.png", R"(output "tex.png" would overwrite the input "tex.png")"},
        {"d1.png -o new.png --depth-out d1.png", R"(output "d1.png" would overwrite the input "d1.png")"},
        {"d1.png -o new.png --depth-out ./new.png", R"(outputs "new.png" and "./new.png" are the same file)"},
        {"d1.png sub/d1.png -o out", R"(outputs "out/d1.png" and "out/d1.png" are the same file)"},
        {"d1.png d2.png --audio sound.wav -o old.avi",
         R"(output "old.avi" would overwrite the input "sound.wav")"},
        {"--model scene.obj -o new.png --picture-out new.png", R"(outputs "new.png" and "new.png")"},
    };
    for (const auto& c : cases) {
        const auto before = Snapshot(dir_.Path());
        std::string out;
        EXPECT_EQ(Run(c.args, &out), 2) << c.args << ": " << out;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.args << ": " << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << c.args << ": " << out;
        EXPECT_TRUE(Snapshot(dir_.Path()) == before) << c.args << " changed the folder";
    }
}

TEST_F(OutputSafetyTest, DepthMapsThatAreNotRegularFilesAreRefusedUnread) {
    fs::create_directory(dir_ / "folder.png");
    fs::create_symlink("fifo", dir_ / "fifo.png");
    fs::create_symlink("/dev/zero", dir_ / "zero.png");
    for (const std::string name : {"fifo.png", "folder.png", "zero.png"}) {
        std::string out;
        EXPECT_EQ(Run(name + " -o new.png", &out), 1) << name << ": " << out;
        const std::string reason = name == "folder.png" ? "Is a directory" : "it is not a regular file";
        EXPECT_NE(out.find("Cannot read file \"" + name + "\": " + reason), std::string::npos) << out;
        EXPECT_FALSE(fs::exists(dir_ / "new.png")) << name;
    }
}

TEST_F(OutputSafetyTest, OutputsThatAreNotRegularFilesAreRefusedAndKept) {
    fs::create_symlink("fifo", dir_ / "fifo.png");
    fs::create_symlink("fifo", dir_ / "fifo.avi");
    fs::create_directory(dir_ / "folder.tga");
    const struct {
        std::string args;
        std::string message;
    } cases[] = {
        {"d1.png -o fifo.png", R"(Cannot write file "fifo.png": it is not a regular file (a FIFO))"},
        {"d1.png d2.png -o fifo.avi", R"(Cannot write file "fifo.avi": it is not a regular file (a FIFO))"},
        {"d1.png -o new.png --depth-out fifo.png",
         R"(Cannot write file "fifo.png": it is not a regular file)"},
        {"d1.png -o folder.tga", R"(Cannot create file "folder.tga": Is a directory)"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(Run(c.args, &out), 1) << c.args << ": " << out;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.args << ": " << out;
        EXPECT_FALSE(fs::exists(dir_ / "new.png")) << c.args;
    }
    EXPECT_TRUE(fs::is_symlink(dir_ / "fifo.png"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "fifo.avi"));
    EXPECT_TRUE(fs::is_fifo(dir_ / "fifo"));
    EXPECT_TRUE(fs::is_directory(dir_ / "folder.tga"));
}

TEST_F(OutputSafetyTest, OutputLinksToRegularFilesAreFollowed) {
    for (const std::string ext : {"png", "avi"}) {
        const fs::path target = dir_ / ("target." + ext);
        const fs::path link = dir_ / ("out/link." + ext);
        test::WriteBytes(target, {'o', 'l', 'd'});
        fs::create_symlink(target, link);
        std::string out;
        const std::string maps = ext == "png" ? "d1.png" : "d1.png d2.png";
        ASSERT_EQ(Run(maps + " -o " + link.string(), &out), 0) << out;
        EXPECT_TRUE(fs::is_symlink(link)) << ext;
        EXPECT_EQ(fs::read_symlink(link), target) << ext;
        const auto bytes = test::ReadBytes(target);
        ASSERT_GE(bytes.size(), 4U) << ext;
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), ext == "png" ? "\x89PNG" : "RIFF") << ext;
    }
}

TEST_F(OutputSafetyTest, MovieProblemsNameTheOptionTheFileAndTheCauseBeforeRendering) {
    ASSERT_EQ(::mkfifo((dir_ / "fifo.wav").c_str(), 0600), 0);
    fs::create_directory(dir_ / "folder.wav");
    fs::create_symlink("/dev/null", dir_ / "null.wav");
    fs::create_directory(dir_ / "closed");
    fs::permissions(dir_ / "closed", fs::perms::owner_read | fs::perms::owner_exec);
    // A scene movie of many frames: refused only after rendering, it would run into the timeout.
    const std::string sceneMovie =
        "--model " + std::string(VM_SOURCE_DIR) + "/Models/TorusKnot.obj --view 32x24 --frames 100000";
    const struct {
        std::string args;
        int status;
        std::string message;
    } cases[] = {
        {"d1.png d2.png -o m.avi --audio none.wav", 1,
         R"(--audio "none.wav": cannot open it: No such file or directory)"},
        {"d1.png d2.png -o m.avi --audio folder.wav", 1, R"(--audio "folder.wav": it is a folder)"},
        {"d1.png d2.png -o m.avi --audio fifo.wav", 1,
         R"(--audio "fifo.wav": it is not a regular file (a FIFO))"},
        {"d1.png d2.png -o m.avi --audio null.wav", 1,
         R"(--audio "null.wav": it is not a regular file (a character device))"},
        {"d1.png d2.png -o m.avi --audio song.mp3", 2, R"(--audio "song.mp3": not a WAV file (.wav))"},
        {"d1.png d2.png -o m.avi --audio 'new\nline.wav'", 1, R"(--audio "new\nline.wav": cannot open it)"},
        {"d1.png -o one.png --audio x.wav --fps 30", 2, "--audio and --fps do nothing for a single picture"},
        {"d1.png -o one.png --texture-step 3,0", 2, "--texture-step does nothing for a single picture"},
        {"d1.png d2.png -o p%n.png --fps 30", 2, "--fps does nothing for pictures"},
        {"--model m.obj -o one.png --fps 30", 2, "--fps does nothing for a single picture"},
        {sceneMovie + " -o missing/m.avi", 1,
         R"(output: Cannot create file "missing/m.avi": the folder "missing" does not exist)"},
        {sceneMovie + " -o d1.png/m.avi", 1,
         R"(output: Cannot create file "d1.png/m.avi": "d1.png" is not a folder)"},
        {sceneMovie + " -o closed/m.avi", 1,
         R"(output: Cannot create file "closed/m.avi": cannot create files in the folder "closed": Permission denied)"},
        {"d1.png -o 'new\nline/x.png'", 1, R"(the folder "new\nline" does not exist)"},
    };
    for (const auto& c : cases) {
        if (::geteuid() == 0 && c.args.find("closed/") != std::string::npos) {
            continue;  // root may write in any folder
        }
        const auto before = Snapshot(dir_.Path());
        std::string out;
        EXPECT_EQ(Run(c.args, &out), c.status) << c.args << ": " << out;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.args << ": " << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << c.args << ": " << out;
        EXPECT_TRUE(Snapshot(dir_.Path()) == before) << c.args << " changed the folder";
    }
}

TEST_F(OutputSafetyTest, APictureWriteEndedByASignalLeavesNoTemporaryFile) {
    const std::vector<std::uint8_t> old{'o', 'l', 'd'};
    const fs::path picture = dir_ / "out" / "big.png";
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        test::WriteBytes(picture, old);
        // Best compression of a large picture: a write that lasts.
        test::RendererChild child((dir_ / "d1.png").string() +
                                      " -W 3000 -H 2000 --oversampling 1 --png-level 9 -o " +
                                      picture.string(),
                                  dir_ / "tmp", dir_ / "run", dir_ / "log");
        ASSERT_TRUE(child.Started());
        ASSERT_TRUE(child.WaitUntil([&] { return test::EntriesOf(dir_ / "out").size() > 1; }))
            << "no temporary file beside the picture";
        child.Signal(signal);
        EXPECT_EQ(child.Wait(), 128 + signal);
        EXPECT_EQ(test::EntriesOf(dir_ / "out"), std::vector<std::string>{"big.png"});
        EXPECT_TRUE(test::ReadBytes(picture) == old) << signal;
        EXPECT_TRUE(test::EntriesOf(dir_ / "tmp").empty());
        std::string note;
        test::RunCommand("cat " + (dir_ / "log").string(), &note);
        EXPECT_TRUE(note.ends_with("; nothing more was written\n") &&
                    std::count(note.begin(), note.end(), '\n') == 1)
            << note;
    }
}

}  // namespace
}  // namespace vistamaze::cli
