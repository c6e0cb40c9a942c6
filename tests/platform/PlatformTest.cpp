// LocalFileStore as this system gives it (PendingFile of POSIX or Windows):
// a name already taken gets -2, -3, nothing is ever replaced or followed
// through a symbolic link, no temporary file stays, and names with accents
// and apostrophes are the names on disk (UTF-16 at the Windows API).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>
#ifdef _WIN32
#include <windows.h>

#include "platform/windows/WindowsText.h"
#endif

#include "platform/FileStore.h"
#include "platform/LocalFileAccess.h"
#include "platform/NativePath.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

using test::operator<<;

namespace fs = std::filesystem;

struct NameRow {
    const char* rule;
    const char* dir;
    const char* stem;
    // LinkFirst, the program's; RenameOnly, the fall-back where the file
    // system refuses hard links (vfat, some network shares), forced here.
    LocalFileStore::Publication publication = LocalFileStore::Publication::LinkFirst;
};

class FileNames : public ::testing::TestWithParam<NameRow> {};

// Names in the directory, as the system lists them.
std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(utf8Name(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

TEST_P(FileNames, TakenNamesGetANumberAndNothingIsReplaced) {
    const NameRow& r = GetParam();
    TempDir root;
    LocalFileStore files(root.path(), r.publication);
    files.createDirectory(r.dir);
    const std::string stem = r.stem;
    std::vector<std::string> written;
    for (const char* text : {"primo\r\n", "secondo\r\n", "terzo\r\n"})
        written.push_back(files.writeUnique(r.dir, stem, ".xml", text));
    const std::string sep(1, static_cast<char>(fs::path::preferred_separator));
    const std::string dir = utf8Name(NativePath(r.dir).make_preferred());
    EXPECT_EQ(written,
              (std::vector<std::string>{dir + sep + stem + ".xml", dir + sep + stem + "-2.xml",
                                        dir + sep + stem + "-3.xml"}));
    EXPECT_EQ(files.readText(written[1]), "secondo\r\n");
    // The names on disk are the UTF-8 names, and no temporary file stays.
    EXPECT_EQ(listing(NativePath(root.path()) / NativePath(r.dir)),
              (std::vector<std::string>{stem + "-2.xml", stem + "-3.xml", stem + ".xml"}));

    // A new name is written once; a taken one (file, directory, dangling
    // symbolic link) is left as it is.
    const std::string name = std::string(r.dir) + "/" + stem + ".html";
    EXPECT_TRUE(files.writeNew(name, "<p>uno</p>"));
    EXPECT_FALSE(files.writeNew(name, "<p>due</p>"));
    EXPECT_EQ(files.readText(name), "<p>uno</p>");
    EXPECT_FALSE(files.writeNew(r.dir, "x"));
    const fs::path link =
        NativePath(root.path()) / NativePath(std::string(r.dir) + "/l'altro.html");
    std::error_code ec;
    // (MinGW's std::filesystem makes no symbolic links, nor does Wine: on
    // Windows this part is not run.)
    fs::create_symlink(NativePath("assente.html"), link, ec);
    if (!ec) {
        EXPECT_FALSE(files.writeNew(std::string(r.dir) + "/l'altro.html", "x"));
        EXPECT_FALSE(
            fs::exists(NativePath(root.path()) / NativePath(std::string(r.dir) + "/assente.html")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Platform, FileNames,
    ::testing::Values(NameRow{"plain names", "Velmora", "Login-202603051407"},
                      NameRow{"accents and apostrophes in the folder and the name",
                              "Città d'Arte/Sant'Agata", "Verifica-àèéìòù-202603051407"},
                      NameRow{"rename where links are refused", "Velmora", "Login-202603051407",
                              LocalFileStore::Publication::RenameOnly},
                      NameRow{"rename where links are refused, accents and apostrophes",
                              "Città d'Arte/Sant'Agata", "Verifica-àèéìòù-202603051407",
                              LocalFileStore::Publication::RenameOnly}),
    RuleName());

#ifdef _WIN32
// Windows refuses an exclusive opening (Access compacting a database) while
// any handle is open: the engine's files give theirs back when idle, and a
// read after that finds the same file again, or nothing.
TEST(FileAccess, IdleDatabasesCanBeOpenedExclusively) {
    TempDir dir;
    dir.write("Comuni.mdb", std::string(8192, 'a'));
    const LocalFileAccess access;
    auto file = access.open(dir / "Comuni.mdb");
    ASSERT_TRUE(file);
    char page[4096];
    EXPECT_EQ(file->readAt(4096, page, sizeof page), sizeof page);
    const auto exclusive = [&] {
        HANDLE h = CreateFileW(wideOf(dir / "Comuni.mdb").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        CloseHandle(h);
        return true;
    };
    EXPECT_FALSE(exclusive()) << "the handle in use is closed";
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    EXPECT_TRUE(exclusive());
    EXPECT_EQ(file->readAt(0, page, sizeof page), sizeof page);
    // Another file under the name (the first one kept aside, as a
    // compacting does) is not read as this one.
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    fs::rename(NativePath(dir / "Comuni.mdb"), NativePath(dir / "Comuni.bak"));
    dir.write("Comuni.mdb", std::string(8192, 'b'));
    EXPECT_EQ(file->readAt(0, page, sizeof page), 0u);
}
#endif

}  // namespace
}  // namespace velmora::test
