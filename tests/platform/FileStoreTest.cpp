// LocalFileStore publishing a finished file by a hard link, and by the rename
// it falls back on where the file system refuses links (vfat, some network
// shares): a taken name, a dangling symbolic link included, is never
// replaced nor followed, the next free name is taken, no temporary file stays.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/FileStore.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

using test::operator<<;

namespace fs = std::filesystem;

struct PublicationRow {
    const char* rule;
    LocalFileStore::Publication publication;
};

class FilePublication : public ::testing::TestWithParam<PublicationRow> {};

TEST_P(FilePublication, NeverReplacesATakenName) {
    TempDir root;
    LocalFileStore files(root.path(), GetParam().publication);
    files.createDirectory("Velmora");
    root.write("Velmora/Login-202603051407.xml", "primo\r\n");
    fs::create_symlink("assente.xml", root / "Velmora/Login-202603051407-2.xml");

    EXPECT_EQ(files.writeUnique("Velmora", "Login-202603051407", ".xml", "terzo\r\n"),
              "Velmora/Login-202603051407-3.xml");
    EXPECT_FALSE(files.writeNew("Velmora/Login-202603051407.xml", "altro"));
    EXPECT_FALSE(files.writeNew("Velmora/Login-202603051407-2.xml", "altro"));
    EXPECT_TRUE(files.writeNew("Velmora/Verifica.html", "<p>uno</p>"));

    EXPECT_EQ(root.read("Velmora/Login-202603051407.xml"), "primo\r\n");
    EXPECT_EQ(root.read("Velmora/Login-202603051407-3.xml"), "terzo\r\n");
    EXPECT_EQ(root.read("Velmora/Verifica.html"), "<p>uno</p>");
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(root / "Velmora"))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"Login-202603051407.xml", "Login-202603051407-2.xml",
                                            "Login-202603051407-3.xml", "Verifica.html"}));
}

INSTANTIATE_TEST_SUITE_P(Platform, FilePublication,
                         ::testing::Values(PublicationRow{"hard link",
                                                          LocalFileStore::Publication::LinkFirst},
                                           PublicationRow{"rename where links are refused",
                                                          LocalFileStore::Publication::RenameOnly}),
                         RuleName());

}  // namespace
}  // namespace velmora::test
