// Damaged and edited .mdb files: truncation and garbage give the operator's
// "file non leggibile o danneggiato" error and never a crash; deleted rows
// stay out; a row moved by an update is read once, in its original place.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "core/RunError.h"
#include "jetwrite/JetWriter.h"
#include "platform/jet/JetEngine.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

constexpr std::size_t kPage = 4096;

const char* const kTable =
    "NumeroProgressivo:Long|Nome:Text(40)|DataArrivo:Text(8)\n"
    "1|ROSSI|20240315\n"
    "2|BIANCHI|20240316\n"
    "3|VERDI|\\N\n"
    "4|NERI|20240317\n";

std::string writeBytes(const TempDir& dir) {
    jetwrite::writeDatabase(dir / "Ospiti.mdb",
                            {jetwrite::parseTextTable(kTable, "Scheda_Cliente")});
    return dir.read("Ospiti.mdb");
}

std::uint32_t get32(const std::string& b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8) |
           (static_cast<unsigned char>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24);
}
std::uint16_t get16(const std::string& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      (static_cast<unsigned char>(b[at + 1]) << 8));
}
void put16(std::string& b, std::size_t at, unsigned v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

// The data page of the user table: a data page whose owner is a definition
// page other than the catalog's (page 2).
std::size_t tableDataPage(const std::string& bytes) {
    for (std::size_t p = 1; p < bytes.size() / kPage; ++p) {
        std::size_t at = p * kPage;
        std::uint32_t owner = get32(bytes, at + 4);
        if (bytes[at] == 1 && owner > 2 && owner < bytes.size() / kPage &&
            bytes[owner * kPage] == 2)
            return p;
    }
    return 0;
}

// Names of the table's rows in record set order, or the RunError message.
std::string readNames(const TempDir& dir) {
    try {
        JetEngine engine(dir.path());
        auto db = engine.OpenDatabase("Ospiti.mdb");
        auto rs = db->OpenRecordset("Scheda_Cliente", dbOpenDynaset);
        std::string names;
        for (rs->FindFirst("NumeroProgressivo > 0"); !rs->NoMatch();
             rs->FindNext("NumeroProgressivo > 0")) {
            names += rs->Fields("Nome").asText() + ",";
        }
        return names;
    } catch (const RunError& e) {
        return e.message();
    }
}

const std::string kDamaged =
    "Errore nel database Ospiti.mdb, tabella Scheda_Cliente: file non leggibile o danneggiato";
const std::string kDamagedFile = "Errore nel database Ospiti.mdb: file non leggibile o danneggiato";

TEST(DamagedFiles, TruncationAndGarbageGiveTheDamagedFileError) {
    TempDir dir;
    const std::string good = writeBytes(dir);
    ASSERT_EQ(readNames(dir), "ROSSI,BIANCHI,VERDI,NERI,");
    const std::size_t pages = good.size() / kPage;
    const std::size_t dataPage = tableDataPage(good);
    ASSERT_GT(dataPage, 0u);

    std::mt19937 rng(99);
    std::string noise(kPage, '\0');
    for (char& c : noise) c = static_cast<char>(rng());

    struct Case {
        std::string what;
        std::function<std::string(std::string)> damage;
        std::string expected;
    };
    std::vector<Case> cases = {
        {"cut inside a page", [](std::string b) { return b.substr(0, b.size() - 100); },
         kDamagedFile},
        {"last page cut off", [](std::string b) { return b.substr(0, b.size() - kPage); },
         kDamaged},
        {"empty file", [](std::string) { return std::string(); }, kDamagedFile},
        {"not a Jet file",
         [](std::string b) {
             b.replace(4, 15, "Standard Xyz DB");
             return b;
         },
         kDamagedFile},
        {"row count beyond the page",
         [&](std::string b) {
             put16(b, dataPage * kPage + 12, 3000);
             return b;
         },
         kDamaged},
        {"row offset outside the page",
         [&](std::string b) {
             put16(b, dataPage * kPage + 16, 0x1FFF);
             return b;
         },
         kDamaged},
    };
    for (std::size_t p = 1; p < pages; ++p) {
        cases.push_back({"garbage over page " + std::to_string(p),
                         [&, p](std::string b) {
                             b.replace(p * kPage, kPage, noise);
                             return b;
                         },
                         kDamaged});
    }
    for (const Case& c : cases) {
        dir.write("Ospiti.mdb", c.damage(good));
        EXPECT_EQ(readNames(dir), c.expected) << c.what;
    }
}

TEST(EditedFiles, DeletedRowsAreSkipped) {
    TempDir dir;
    std::string bytes = writeBytes(dir);
    std::size_t page = tableDataPage(bytes) * kPage;
    put16(bytes, page + 14 + 2 * 1, get16(bytes, page + 14 + 2 * 1) | 0x8000);  // BIANCHI
    dir.write("Ospiti.mdb", bytes);
    EXPECT_EQ(readNames(dir), "ROSSI,VERDI,NERI,");
}

TEST(EditedFiles, MovedRowIsReadOnceInItsOriginalPlace) {
    TempDir dir;
    const std::string good = writeBytes(dir);
    const std::size_t pageNo = tableDataPage(good);
    const std::size_t page = pageNo * kPage;
    // Slot 0 (ROSSI) becomes a pointer to slot 3 (NERI): the update moved it.
    auto moved = [&](unsigned targetFlags) {
        std::string b = good;
        unsigned slot0 = get16(b, page + 14);
        put16(b, page + 14, slot0 | 0x4000);
        std::uint32_t pointer = static_cast<std::uint32_t>(pageNo << 8) | 3u;
        std::memcpy(&b[page + (slot0 & 0x1FFF)], &pointer, 4);
        put16(b, page + 14 + 2 * 3, get16(b, page + 14 + 2 * 3) | targetFlags);
        return b;
    };
    dir.write("Ospiti.mdb", moved(0));
    EXPECT_EQ(readNames(dir), "NERI,BIANCHI,VERDI,");
    dir.write("Ospiti.mdb", moved(0x8000));
    EXPECT_EQ(readNames(dir), "NERI,BIANCHI,VERDI,");
    // A pointer that leads to another pointer is damage.
    dir.write("Ospiti.mdb", moved(0x4000));
    EXPECT_EQ(readNames(dir), kDamaged);
}

}  // namespace
}  // namespace velmora::test
