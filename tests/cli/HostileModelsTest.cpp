// Model files that crash, block or would flood a reader, given to the command line: each ends the
// run with status 1 and one line naming the file, within the time a user waits, and no picture.
#include "engine/QuotedName.h"
#include "tests/support/TestSupport.h"

#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vistamaze::test {
namespace {

void Write(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

TEST(HostileModels, EndTheRunWithOneLineNamingTheFile) {
    const TempDir dir;
    const std::string folder = dir.Path().string();
    ASSERT_EQ(::mkfifo((dir / "fifo.obj").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo.mtl").c_str(), 0600), 0);
    Write(dir / "material.obj", "mtllib fifo.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    Write(dir / "comments.obj", "# nothing but a comment\n");

    const std::string hostile = DataFile("models/hostile").string();
    const struct {
        std::string file;
        const char* cause;
    } cases[] = {
        // Assimp's glTF importer recurses once per node level and overflows its stack.
        {hostile + "/gltf_chained_nodes.gltf", "the importer stopped (Segmentation fault)"},
        {hostile + "/collada_nested_nodes.dae", "nested more than 1000 levels deep"},
        {hostile + "/collada_bell_in_index_list.dae", "an index list in it holds more than numbers"},
        {hostile + "/smd_nodes_without_end.smd", "its nodes section has no end"},
        {hostile + "/md5_form_feed.md5mesh", "it holds a form feed"},
        {folder + "/fifo.obj", "it is a FIFO, not a regular file"},
        {folder + "/material.obj", "fifo.mtl\" it names is a FIFO, not a regular file"},
        {folder + "/comments.obj", "the file holds no surface"},
    };
    for (const auto& c : cases) {
        std::string output;
        const int status = RunCommand(VM_GL_CHILD_ENV " timeout 60 " VM_RENDERER_PATH " --model '" + c.file +
                                          "' -W 200 -H 100 -o '" + folder + "/out.png' 2>&1",
                                      &output);
        EXPECT_EQ(status, 1) << c.file << ": " << output;
        EXPECT_EQ(output.rfind("vistamaze-render: model: ", 0), 0U) << output;
        EXPECT_NE(output.find(QuotedName(c.file)), std::string::npos) << output;
        EXPECT_NE(output.find(c.cause), std::string::npos) << output;
        EXPECT_EQ(output.find('\n'), output.size() - 1) << "one line, not " << output;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.png")) << c.file;
    }
}

}  // namespace
}  // namespace vistamaze::test
