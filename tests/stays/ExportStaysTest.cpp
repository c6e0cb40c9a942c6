// The stays file: InitialDate from "QLBDataI.txt", the file name from the
// clock with a suffix for a name already taken, the document rewritten as one
// line with "&" as a blank, the empty document, and a record that stops the run
// leaving no stays file.
#include <gtest/gtest.h>

#include <filesystem>

#include "StaysTestSupport.h"
#include "core/RunError.h"
#include "core/Text.h"
#include "stays/ExportStays.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

const std::string kFirstFile = "Velmora/Istat-20260305140709.xml";

// The guest databases of data/ and a log directory.
struct ExportFixture : test::StaysFixture {
    explicit ExportFixture(const std::string& register_ = "register.txt") {
        test::writeTableFile(dir, "Scheda_Cliente.mdb", "Scheda_Cliente", register_);
        test::writeTableFile(dir, "SchedaStoricoClienti.mdb", "Scheda_Cliente", "history.txt");
        fs::create_directory(dir / "Velmora");
        dir.write("QLBDataI.txt", "01/01/2024\r\n");
    }
};

TEST(ExportStaysTest, DayWithoutStays) {
    ExportFixture f;
    f.state.StaysWritten = 1;
    EXPECT_EQ(ExportStays(f.ctx, "01/02/2024", "01/02/2024", "A"), "");
    EXPECT_EQ(f.state.StaysWritten, 0);
    EXPECT_EQ(f.dir.read(kFirstFile), " <StaysPmsDTO> </StaysPmsDTO>\r\n");
}

TEST(ExportStaysTest, FileNamesNeverReplaceEachOther) {
    ExportFixture f;
    const std::string first = ExportStays(f.ctx, "15/03/2024", "15/03/2024", "A");
    ExportStays(f.ctx, "15/03/2024", "15/03/2024", "P");
    ExportStays(f.ctx, "01/02/2024", "01/02/2024", "P");
    EXPECT_EQ(f.dir.read(kFirstFile), first + "\r\n");
    EXPECT_EQ(f.dir.read("Velmora/Istat-20260305140709-2.xml"),
              " <StaysPmsDTO> </StaysPmsDTO>\r\n");
    EXPECT_TRUE(fs::exists(f.dir / "Velmora/Istat-20260305140709-3.xml"));

    f.clock.time = {2026, 12, 31, 23, 59, 58};
    ExportStays(f.ctx, "01/02/2024", "01/02/2024", "A");
    EXPECT_TRUE(fs::exists(f.dir / "Velmora/Istat-20261231235958.xml"));
}

TEST(ExportStaysTest, DocumentComesBackAsOneLine) {
    ExportFixture f;
    const std::string text = ExportStays(f.ctx, "01/01/2024", "31/12/2024", "A");
    EXPECT_EQ(f.state.StaysWritten, 1);
    EXPECT_EQ(f.dir.read(kFirstFile), text + "\r\n");
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(text.rfind(" <StaysPmsDTO>  <Stay>   <HotelCode>123456</HotelCode>", 0), 0u);
    EXPECT_TRUE(text.ends_with("  </Stay> </StaysPmsDTO>"));

    // Exactly the document built without any file, lines joined.
    MemoryLineSink sink;
    buildStaysDocument(f.ctx, "01/01/2024", "31/12/2024", "A", sink);
    EXPECT_GT(sink.lines().size(), 500u);
    std::string joined;
    for (const auto& line : sink.lines()) joined += line;
    EXPECT_EQ(text, joined);
    EXPECT_EQ(joinStaysDocument(sink.text()), text);

    // History stays (".00Z") before register stays (".000Z").
    const auto lastHistory = text.rfind(".00Z<");
    const auto firstRegister = text.find(".000Z<");
    ASSERT_NE(lastHistory, std::string::npos);
    ASSERT_NE(firstRegister, std::string::npos);
    EXPECT_LT(lastHistory, firstRegister);
}

TEST(ExportStaysTest, AmpersandBecomesABlank) {
    ExportFixture f("values.txt");
    f.dir.write("QLBDataI.txt", "01/01/2023\r\n");
    const std::string text = ExportStays(f.ctx, "01/06/2024", "01/06/2024", "A");
    EXPECT_NE(text.find("<RoomId>B B Sole</RoomId>"), std::string::npos);
    EXPECT_EQ(text.find('&'), std::string::npos);
    EXPECT_EQ(f.dir.read(kFirstFile), text + "\r\n");
}

TEST(ExportStaysTest, InitialDateFromTheDataFile) {
    struct Row {
        const char* content;
        const char* initialDate;
    };
    const Row rows[] = {
        {"01/01/2025\r\n", "20250101"},
        {"15/03/2024\r\n01/01/2000\r\n", "20240315"},
        {"15/03/2024", "20240315"},
        {"2025-01-01\n", "1-015-20"},
    };
    for (const auto& row : rows) {
        ExportFixture f;
        f.dir.write("QLBDataI.txt", row.content);
        ExportStays(f.ctx, "15/03/2024", "15/03/2024", "A");
        EXPECT_EQ(f.state.InitialDate, row.initialDate) << row.content;
    }

    // The bound applies: arrivals of 15/03/2024 with a first day of 16/03/2024.
    ExportFixture f;
    f.dir.write("QLBDataI.txt", "16/03/2024\r\n");
    EXPECT_EQ(ExportStays(f.ctx, "15/03/2024", "15/03/2024", "A"), "");
}

TEST(ExportStaysTest, ProblemsBeforeTheDocument) {
    struct Row {
        const char* rule;
        const char* dataFile;  // nullptr: missing
        bool logDirectory;
        const char* message;
    };
    const Row rows[] = {
        {"missing data file", nullptr, true, "File QLBDataI.txt mancante"},
        {"empty data file", "", true, "File QLBDataI.txt vuoto"},
        {"empty first line", "\r\n01/01/2024\r\n", true, "File QLBDataI.txt vuoto"},
        {"missing log directory", "01/01/2024\r\n", false, nullptr},
    };
    for (const auto& row : rows) {
        ExportFixture f;
        fs::remove(f.dir / "QLBDataI.txt");
        if (row.dataFile) f.dir.write("QLBDataI.txt", row.dataFile);
        if (!row.logDirectory) fs::remove(f.dir / "Velmora");
        try {
            ExportStays(f.ctx, "15/03/2024", "15/03/2024", "A");
            ADD_FAILURE() << row.rule << ": no error";
        } catch (const RunError& e) {
            if (row.message) {
                EXPECT_EQ(e.message(), row.message) << row.rule;
            }
        }
        if (row.logDirectory) {
            EXPECT_TRUE(fs::is_empty(f.dir / "Velmora")) << row.rule;
        }
    }
}

TEST(ExportStaysTest, NullBirthDateStopsTheRunAndLeavesNoStaysFile) {
    ExportFixture f;
    test::writeTableText(
        f.dir, "Scheda_Cliente.mdb", "Scheda_Cliente",
        std::string(test::kGuestHeader) +
            "1|4521|ROSSI|U|N|0|0|20240315|20240320| |N|19800101|CATANIA CT I|I|CATANIA|M|12\n"
            "1|4522|ROSSI|U|N|0|0|20240315|20240320| |N|\\N|CATANIA CT I|I|CATANIA|F|13\n");
    try {
        ExportStays(f.ctx, "15/03/2024", "15/03/2024", "A");
        ADD_FAILURE() << "no error";
    } catch (const RunError& e) {
        EXPECT_EQ(e.message(),
                  "Dati non validi in Scheda_Cliente.mdb, scheda 4522: DataNascita vuota");
    }
    // An incomplete document is never kept, not even under a temporary name.
    EXPECT_TRUE(std::filesystem::is_empty(f.dir / "Velmora"));
}

}  // namespace
}  // namespace velmora
