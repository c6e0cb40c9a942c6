// The velmora-jetwrite command: exit status and messages, and its databases
// as mdbtools' own programs (mdb-tables, mdb-schema, mdb-export, mdb-json)
// show them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "support/TempDir.h"

namespace {

using velmora::test::TempDir;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string quote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a program of the build or of the system with arguments, in dir.
Outcome run(const TempDir& dir, const std::string& program, const std::vector<std::string>& args) {
    std::string command = "cd " + quote(dir.path()) + " && LC_ALL=C " + quote(program);
    for (const std::string& arg : args) command += " " + quote(arg);
    command += " >" + quote(dir / "stdout.txt") + " 2>" + quote(dir / "stderr.txt");
    int raw = std::system(command.c_str());
    Outcome outcome;
#ifdef _WIN32
    outcome.status = raw;
#else
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    outcome.out = dir.read("stdout.txt");
    outcome.err = dir.read("stderr.txt");
    return outcome;
}

const std::string kJetwrite = std::string(VELMORA_BUILD_DIR) + "/velmora-jetwrite";

const char kGuests[] =
    "# guests\n"
    "NumeroProgressivo:Long|Cognome:Text(40)|DataPartenzaReale:Text(8)|NumeroCamera:Integer|"
    "Tariffa:Double\n"
    "4501|D'ANGELO|20260306|101|72.5\n"
    "4502|CITT\xC3\x80 & <FIGLI>| |-32768|-0.25\n"
    "4503||\\N||\n"
    "\\N|\\N|x\\|y|32767|1e10\n";

const char kCodes[] =
    "Tipo:Integer|Descrizione:Text(50)|CodicePS:Text(9)\n"
    "3|SANT'AGATA DI MILITELLO|405083084\n";

TEST(Command, WritesWhatMdbToolsShow) {
    TempDir dir;
    dir.write("guests.txt", kGuests);
    dir.write("codes.txt", kCodes);
    dir.write("db.mdb", "an old file to replace");
    Outcome written =
        run(dir, kJetwrite, {"db.mdb", "Scheda_Cliente=guests.txt", "CodiciVari=codes.txt"});
    ASSERT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(written.out, "");
    EXPECT_EQ(written.err, "");

    EXPECT_EQ(run(dir, "mdb-tables", {"-1", "db.mdb"}).out, "Scheda_Cliente\nCodiciVari\n");

    Outcome csv = run(dir, "mdb-export", {"db.mdb", "Scheda_Cliente"});
    EXPECT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out,
              "NumeroProgressivo,Cognome,DataPartenzaReale,NumeroCamera,Tariffa\n"
              "4501,\"D'ANGELO\",\"20260306\",101,72.5\n"
              "4502,\"CITT\xC3\x80 & <FIGLI>\",\" \",-32768,-0.25\n"
              "4503,,,,\n"
              ",,\"x|y\",32767,10000000000\n");

    Outcome json = run(dir, "mdb-json", {"db.mdb", "CodiciVari"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(
        json.out,
        "{\"Tipo\":3,\"Descrizione\":\"SANT'AGATA DI MILITELLO\",\"CodicePS\":\"405083084\"}\n");

    Outcome schema = run(dir, "mdb-schema", {"--no-drop-table", "db.mdb", "access"});
    EXPECT_EQ(schema.status, 0) << schema.err;
    EXPECT_NE(schema.out.find("CREATE TABLE [Scheda_Cliente]\n"
                              " (\n"
                              "\t[NumeroProgressivo]\t\t\tLong Integer, \n"
                              "\t[Cognome]\t\t\tText (40), \n"
                              "\t[DataPartenzaReale]\t\t\tText (8), \n"
                              "\t[NumeroCamera]\t\t\tInteger, \n"
                              "\t[Tariffa]\t\t\tDouble\n"
                              ");\n"),
              std::string::npos)
        << schema.out;
    EXPECT_NE(schema.out.find("CREATE TABLE [CodiciVari]\n"), std::string::npos) << schema.out;
}

struct UsageCase {
    const char* rule;
    std::vector<std::string> args;
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.rule; }

class CommandUsage : public testing::TestWithParam<UsageCase> {};

TEST_P(CommandUsage, Exits64WithUsage) {
    TempDir dir;
    Outcome outcome = run(dir, kJetwrite, GetParam().args);
    EXPECT_EQ(outcome.status, 64);
    EXPECT_EQ(outcome.err.rfind("usage: velmora-jetwrite OUT.mdb TABLE=FILE.txt", 0), 0u)
        << outcome.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "db.mdb"));
}

INSTANTIATE_TEST_SUITE_P(Command, CommandUsage,
                         testing::Values(UsageCase{"no_arguments", {}},
                                         UsageCase{"no_table", {"db.mdb"}},
                                         UsageCase{"table_without_file", {"db.mdb", "T"}},
                                         UsageCase{"empty_table_name", {"db.mdb", "=t.txt"}},
                                         UsageCase{"empty_file_name", {"db.mdb", "T="}},
                                         UsageCase{"option_instead_of_output", {"-h", "T=t.txt"}}),
                         [](const testing::TestParamInfo<UsageCase>& info) {
                             return info.param.rule;
                         });

struct FailureCase {
    const char* rule;
    std::string table;  // content of t.txt
    std::string message;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.rule; }

class CommandFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(CommandFailure, Exits1NamingTheCause) {
    TempDir dir;
    if (!GetParam().table.empty()) dir.write("t.txt", GetParam().table);
    Outcome outcome = run(dir, kJetwrite, {"db.mdb", "T=t.txt"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "velmora-jetwrite: " + GetParam().message + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "db.mdb"));
    EXPECT_FALSE(std::filesystem::exists(dir / "db.mdb.partial"));
}

INSTANTIATE_TEST_SUITE_P(
    Command, CommandFailure,
    testing::Values(
        FailureCase{"missing_file", "", "t.txt: cannot open the file"},
        FailureCase{"bad_row_late_in_the_file", "A:Long|B:Text(2)\n1|ab\n\n# c\n2|abc\n",
                    "t.txt:5: column B: text of 3 characters, longer than Text(2): \"abc\""},
        FailureCase{"bad_header", "A:Long|B:Txt(2)\n",
                    "t.txt:1: bad column type \"Txt(2)\" (Text(n), Long, Integer or Double)"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.rule; });

}  // namespace
