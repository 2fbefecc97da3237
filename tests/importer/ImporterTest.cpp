// Models read in the importer process: real files come back as the readers read them, and every
// way the process can fail (crash, hang, memory, a damaged reply) becomes one line naming the file.
#include "engine/Errors.h"
#include "formats/ModelFile.h"
#include "importer/ModelImporter.h"
#include "tests/support/TestSupport.h"

#include <cstring>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vistamaze {
namespace {

std::string FailureOf(const ModelImporter& importer, const std::filesystem::path& file) {
    try {
        static_cast<void>(importer.Import(file));
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

void Touch(const std::filesystem::path& file) {
    std::ofstream(file) << "v 0 0 0\n";
}

TEST(ModelImporterTest, RealModelsComeBackAsTheReadersReadThem) {
    const ModelImporter importer;
    for (const char* name : {"TorusKnot.obj", "Pawn.stl", "Wuson.wrl", "Sydney.md2", "Spider.obj"}) {
        const std::filesystem::path file = std::filesystem::path(VM_SOURCE_DIR) / "Models" / name;
        const Mesh expected = LoadModelFile(file);
        const Mesh mesh = importer.Import(file);
        EXPECT_EQ(mesh.triangles, expected.triangles) << name;
        ASSERT_EQ(mesh.vertices.size(), expected.vertices.size()) << name;
        EXPECT_EQ(0, std::memcmp(mesh.vertices.data(), expected.vertices.data(),
                                 mesh.vertices.size() * sizeof(Vec3f)))
            << name;
        ASSERT_EQ(mesh.parts.size(), expected.parts.size()) << name;
        for (std::size_t i = 0; i < mesh.parts.size(); ++i) {
            EXPECT_EQ(mesh.parts[i].triangleCount, expected.parts[i].triangleCount) << name;
            EXPECT_EQ(mesh.parts[i].diffuse.r, expected.parts[i].diffuse.r) << name;
        }
    }
}

// As the desktop program uses it: each import takes the helper started ahead, and a crash of one
// costs nothing to the next.
TEST(ModelImporterTest, HelpersStartedAheadReadFileAfterFile) {
    ModelImporter importer;
    importer.KeepOneReady();
    const std::filesystem::path models = std::filesystem::path(VM_SOURCE_DIR) / "Models";
    const std::filesystem::path crash = test::DataFile("models/hostile") / "gltf_chained_nodes.gltf";
    for (int round = 0; round < 2; ++round) {
        for (const char* name : {"TorusKnot.obj", "Pawn.stl"}) {
            EXPECT_EQ(importer.Import(models / name).triangles, LoadModelFile(models / name).triangles)
                << name;
        }
        EXPECT_EQ(FailureOf(importer, crash), "Cannot load model file \"" + crash.string() +
                                                  "\": the importer stopped (Segmentation fault)");
    }
}

TEST(ModelImporterTest, EveryMisbehaviourOfTheProcessIsOneLineNamingTheFile) {
    test::TempDir dir;
    ModelImporter importer(VM_MISBEHAVING_IMPORTER);
    ChildLimits limits;
    limits.wallTime = std::chrono::milliseconds(1500);
#ifndef VM_IMPORTER_NO_ADDRESS_LIMIT
    limits.addressSpaceBytes = std::uint64_t{256} << 20;
#endif
    importer.SetLimits(limits);
    const struct {
        const char* stem;
        const char* cause;
    } cases[] = {
        {"crash", "the importer stopped (Segmentation fault)"},
        {"hang", "the importer took longer than 1500 ms"},
#ifndef VM_IMPORTER_NO_ADDRESS_LIMIT
        {"hog", "the importer needs more than 256 MiB of memory"},
#endif
        {"garbage", "the importer's reply is damaged: the reply does not start as one"},
        {"short", "the importer's reply is damaged: the reply ends early"},
        {"index", "the importer's reply is damaged: the reply holds a vertex index out of range"},
        {"silent", "the importer ended with status 3 without a reply"},
        {"late", "the importer ended with status 4"},
    };
    for (const auto& c : cases) {
        const std::filesystem::path file = dir / (std::string(c.stem) + ".obj");
        Touch(file);
        EXPECT_EQ(FailureOf(importer, file), "Cannot load model file \"" + file.string() + "\": " + c.cause);
    }
    // A reader's own reason passes unchanged, and a name with a newline stays on one line.
    const std::filesystem::path reason = dir / "reason.obj";
    Touch(reason);
    EXPECT_EQ(FailureOf(importer, reason),
              "Cannot load model file \"" + reason.string() + "\": the reader's own reason");
    const std::filesystem::path twoLines = dir / "crash.obj\nx.obj";
    Touch(twoLines);
    EXPECT_EQ(FailureOf(importer, twoLines).find('\n'), std::string::npos);
}

// Files that no check before import catches and that make Assimp loop or ask for gigabytes: the
// process limits end them (see tests/data/models/hostile/README.md). The loop also grows memory, so
// every case needs the address limit, which sanitizer builds go without.
TEST(ModelImporterTest, AssimpsEndlessLoopsAndHugeBlocksEndAtTheLimits) {
#ifdef VM_IMPORTER_NO_ADDRESS_LIMIT
    GTEST_SKIP() << "the importer runs without an address limit in sanitizer builds";
#else
    ModelImporter importer;
    ChildLimits limits;
    limits.wallTime = std::chrono::milliseconds(5000);
    limits.addressSpaceBytes = std::uint64_t{512} << 20;
    importer.SetLimits(limits);
    for (const char* name :
         {"smd_endless_loop.smd", "b3d_five_gigabyte_block.b3d", "3ds_six_gigabyte_block.3ds"}) {
        const std::filesystem::path file = test::DataFile("models/hostile") / name;
        EXPECT_EQ(FailureOf(importer, file), "Cannot load model file \"" + file.string() +
                                                 "\": the importer needs more than 512 MiB of memory");
    }
#endif
}

// What is refused before a process starts: the stand-in would crash on any of these names.
TEST(ModelImporterTest, NoProcessStartsForUnknownMissingOrSpecialFiles) {
    test::TempDir dir;
    const ModelImporter importer(VM_MISBEHAVING_IMPORTER);
    Touch(dir / "crash.dds");
    ASSERT_EQ(::mkfifo((dir / "crash.obj").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir / "crash.wrl");
    std::filesystem::create_directory(dir / "crash.stl");
    const std::string in = "Cannot open model file \"" + dir.Path().string();
    const struct {
        const char* name;
        std::string message;
    } cases[] = {
        {"crash.dds", "Unknown model file extension \".dds\" of \"" + (dir / "crash.dds").string() + "\""},
        {"crash.obj", in + "/crash.obj\": it is a FIFO, not a regular file"},
        {"crash.wrl", in + "/crash.wrl\": it is a character device, not a regular file"},
        {"crash.stl", in + "/crash.stl\": it is a folder, not a regular file"},
        {"crash.ply", in + "/crash.ply\": No such file or directory"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FailureOf(importer, dir / c.name), c.message);
    }
    // A helper that cannot be started is named with the file it was to read.
    Touch(dir / "model.obj");
    EXPECT_EQ(FailureOf(ModelImporter(dir / "crash.dds"), dir / "model.obj"),
              "Cannot load model file \"" + (dir / "model.obj").string() +
                  "\": cannot start crash.dds: Permission denied");
}

}  // namespace
}  // namespace vistamaze
