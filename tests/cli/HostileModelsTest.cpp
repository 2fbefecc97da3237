// Model files that crash, block or would flood a reader, given to the command line: each ends the
// run with status 1 and one line naming the file, within the time a user waits, and no picture.
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

std::string Repeated(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

TEST(HostileModels, EndTheRunWithOneLineNamingTheFile) {
    const TempDir dir;
    const std::string folder = dir.Path().string();
    Write(dir / "crash.obj", "v 0 0 0\n");
    ASSERT_EQ(::mkfifo((dir / "fifo.obj").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo.mtl").c_str(), 0600), 0);
    Write(dir / "material.obj", "mtllib fifo.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    Write(dir / "huge.ply",
          "ply\nformat binary_little_endian 1.0\nelement vertex 2000000000\nproperty float x\nproperty float "
          "y\n"
          "property float z\nend_header\n" +
              std::string(100, '\0'));
    Write(dir / "deep.dae",
          "<?xml version=\"1.0\"?><COLLADA version=\"1.4.1\"><library_visual_scenes>"
          "<visual_scene id=\"s\">" +
              Repeated("<node>", 7000) + Repeated("</node>", 7000) +
              "</visual_scene></library_visual_scenes></COLLADA>");
    std::string doubling =
        "#VRML V2.0 utf8\nDEF L0 Shape { geometry IndexedFaceSet { coord Coordinate { "
        "point [0 0 0, 1 0 0, 0 1 0] } coordIndex [0 1 2 -1] } }\n";
    for (int level = 1; level <= 30; ++level) {
        const std::string previous = "USE L" + std::to_string(level - 1);
        doubling +=
            "DEF L" + std::to_string(level) + " Group { children [ " + previous + " " + previous + " ] }\n";
    }
    Write(dir / "doubling.wrl", doubling);
    Write(dir / "comments.obj", "# nothing but a comment\n");

    const std::string misbehaving = "VISTAMAZE_IMPORTER=" VM_MISBEHAVING_IMPORTER " ";
    const struct {
        std::string environment;
        const char* name;
        std::string cause;
    } cases[] = {
        {misbehaving, "crash.obj",
         "Cannot load model file \"" + folder + "/crash.obj\": the importer stopped"},
        {"", "fifo.obj",
         "Cannot open model file \"" + folder + "/fifo.obj\": it is a FIFO, not a regular file"},
        {"", "material.obj", "\"" + folder + "/fifo.mtl\""},
        {"", "huge.ply", "it claims 2000000000 vertex elements"},
        {"", "deep.dae", "Cannot load model file \"" + folder + "/deep.dae\": "},
        {"", "doubling.wrl", "it would make more than 10000000 triangles"},
        {"", "comments.obj", "the file holds no surface"},
    };
    for (const auto& c : cases) {
        std::string output;
        const int status =
            RunCommand(c.environment + "timeout 60 " VM_GL_CHILD_ENV " " VM_RENDERER_PATH " --model '" +
                           folder + "/" + c.name + "' -W 200 -H 100 -o '" + folder + "/out.png' 2>&1",
                       &output);
        EXPECT_EQ(status, 1) << c.name << ": " << output;
        EXPECT_EQ(output.rfind("vistamaze-render: model: ", 0), 0U) << c.name << ": " << output;
        EXPECT_NE(output.find(c.cause), std::string::npos) << c.name << ": " << output;
        EXPECT_EQ(output.find('\n'), output.size() - 1) << c.name << ": one line, not " << output;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.png")) << c.name;
    }
}

}  // namespace
}  // namespace vistamaze::test
