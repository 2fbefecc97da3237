// Where the program finds its sample folders and names the user data folder; no display needed.
#include "tests/support/TestSupport.h"
#include "workspace/ImageLoading.h"
#include "workspace/ProgramFolders.h"
#include "workspace/QtDialogs.h"

#include <QDir>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

QString Q(const std::filesystem::path& path) {
    return QDir::cleanPath(QString::fromStdString(path.string()));
}

struct FolderCase {
    const char* name;
    std::vector<const char*> folders;  // created below the temporary root
    const char* file;                  // a plain file created below the root, or null
    const char* expectedTextures;      // relative to the root
};

void PrintTo(const FolderCase& c, std::ostream* os) {
    *os << c.name;
}

class FindProgramFoldersTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(FindProgramFoldersTest, FirstExistingPlaceWins) {
    const FolderCase& c = GetParam();
    TempDir root;
    std::filesystem::create_directories(root / "prefix/bin");
    std::filesystem::create_directories(root / "source");
    for (const char* folder : c.folders) {
        std::filesystem::create_directories(root / folder);
    }
    if (c.file != nullptr) {
        WriteBytes(root / c.file, {0});
    }
    const ProgramFolders found = FindProgramFolders(Q(root / "prefix/bin"), Q(root / "source"));
    EXPECT_EQ(found.program, Q(root / "prefix/bin"));
    EXPECT_EQ(found.textures, Q(root / c.expectedTextures));
    EXPECT_EQ(found.textureFileName, Q(root / c.expectedTextures) + QStringLiteral("/TREEPT85.BMP"));
    EXPECT_EQ(found.helpFile, Q(root / "prefix/bin/stereo.chm"));
}

INSTANTIATE_TEST_SUITE_P(
    Places, FindProgramFoldersTest,
    ::testing::Values(
        FolderCase{"NextToExecutable",
                   {"prefix/bin/Textures", "prefix/share/vistamaze/Textures", "source/Textures"},
                   nullptr,
                   "prefix/bin/Textures"},
        FolderCase{"InstalledTree",
                   {"prefix/share/vistamaze/Textures", "source/Textures"},
                   nullptr,
                   "prefix/share/vistamaze/Textures"},
        FolderCase{"SourceTree", {"source/Textures"}, nullptr, "source/Textures"},
        FolderCase{"NowhereNamesTheExecutableFolder", {"source/textures"}, nullptr, "prefix/bin/Textures"},
        FolderCase{"AFileIsNotAFolder", {"source/Textures"}, "prefix/bin/Textures", "source/Textures"}),
    [](const ::testing::TestParamInfo<FolderCase>& param) { return std::string(param.param.name); });

TEST(ProgramFoldersTest, EachFolderIsLookedUpOnItsOwn) {
    TempDir root;
    std::filesystem::create_directories(root / "bin/DepthMaps");
    std::filesystem::create_directories(root / "source/Textures");
    std::filesystem::create_directories(root / "source/DepthMaps");
    const ProgramFolders found = FindProgramFolders(Q(root / "bin"), Q(root / "source"));
    EXPECT_EQ(found.textures, Q(root / "source/Textures"));
    EXPECT_EQ(found.depthMaps, Q(root / "bin/DepthMaps"));
    EXPECT_EQ(found.models, Q(root / "bin/Models"));
}

TEST(ProgramFoldersTest, TheBuildTreeFindsTheRepositorySamples) {
    const ProgramFolders found = FindProgramFolders(
        QString::fromStdString(std::filesystem::current_path().string()), QStringLiteral(VM_SOURCE_DIR));
    EXPECT_FALSE(QDir(found.textures).entryList({"*.png", "*.PNG", "*.bmp", "*.BMP"}, QDir::Files).isEmpty())
        << found.textures.toStdString();
    EXPECT_FALSE(QDir(found.depthMaps).entryList(QDir::Files).isEmpty()) << found.depthMaps.toStdString();
}

TEST(ProgramFoldersTest, UserDataFolderName) {
    EXPECT_EQ(UserDataFolderName(QString()), QStringLiteral("Vistamaze/"));
    EXPECT_EQ(UserDataFolderName(QStringLiteral("/home/u/Documents")),
              QStringLiteral("/home/u/Documents/Vistamaze/"));
    EXPECT_EQ(UserDataFolderName(QStringLiteral("/home/u/Documents/")),
              QStringLiteral("/home/u/Documents/Vistamaze/"));
}

TEST(QtNameFiltersTest, PipeFilterBecomesQtNameFilters) {
    const struct {
        const char* pipe;
        QStringList expected;
    } cases[] = {
        {"BMP files (*.BMP)|*.BMP|All files|*.*", {"BMP files (*.BMP)", "All files (*.*)"}},
        {"Supported files|*.3ds; *.prj; *.mli;*.obj|3D Studio|*.3ds|",
         {"Supported files (*.3ds *.prj *.mli *.obj)", "3D Studio (*.3ds)"}},
        // A description whose brackets say something else still gets the real patterns last,
        // where Qt reads them.
        {"JPEG (quality 90)|*.jpg;*.jpeg", {"JPEG (quality 90) (*.jpg *.jpeg)"}},
        // A description that already names its patterns shows them once.
        {"JPEG (*.jpeg;*.jpg)|*.jpeg;*.jpg|All (*.png;*.tga)|*.png;*.tga",
         {"JPEG (*.jpeg *.jpg)", "All (*.png *.tga)"}},
        {"PNG files (*.png)|*.png", {"PNG files (*.png)"}},
        {"", {}},
        {"Lonely description", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QtNameFilters(QString::fromLatin1(c.pipe)), c.expected) << c.pipe;
    }
    // The picture dialogs' own filter: every entry names each of its patterns once.
    for (const QString& filter : QtNameFilters(PictureDialogFilter())) {
        const qsizetype open = filter.indexOf(QLatin1Char('('));
        EXPECT_EQ(open, filter.lastIndexOf(QLatin1Char('('))) << filter.toStdString();
    }
}

TEST(QtNameFiltersTest, ASaveTypeGivesTheSuffixOfItsOnePattern) {
    const struct {
        const char* filter;
        const char* suffix;
    } cases[] = {
        {"PNG files (*.PNG)", "PNG"}, {"TGA files (*.TGA)", "TGA"}, {"JPEG (*.jpeg *.jpg)", ""},
        {"All files (*.*)", ""},      {"All files (*)", ""},        {"No pattern", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SuffixOfNameFilter(QString::fromLatin1(c.filter)), QString::fromLatin1(c.suffix))
            << c.filter;
    }
}

}  // namespace
}  // namespace vistamaze::test
