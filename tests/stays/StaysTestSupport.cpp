// Helpers of the stays tests.
#include "StaysTestSupport.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/Text.h"
#include "jetwrite/JetWriter.h"

namespace velmora::test {

const char* const kGuestHeader =
    "NumeroHotel:Long|NumeroProgressivo:Long|NomeCliente:Text(60)|CapoFamiglia:Text(1)|"
    "CapoGruppo:Text(1)|CodiceCapoFamiglia:Long|CodiceCapoGruppo:Long|DataArrivo:Text(8)|"
    "DataPartenza:Text(8)|DataPartenzaReale:Text(8)|Partito:Text(1)|DataNascita:Text(8)|"
    "LuogoNascita:Text(60)|Stato:Text(5)|Residenza:Text(50)|Sesso:Text(1)|"
    "NumeroCamera:Integer\n";

std::string staysTestFile(const std::string& name) {
    return std::string(VELMORA_TEST_DATA) + "/" + name;
}

std::vector<std::string> expectedLines(const std::string& name) {
    std::ifstream in(staysTestFile("expected/" + name), std::ios::binary);
    if (!in) throw std::runtime_error("missing expected file " + name);
    std::ostringstream ss;
    ss << in.rdbuf();
    return splitLines(ss.str());
}

void writeTableFile(const TempDir& dir, const std::string& database, const std::string& table,
                    const std::string& dataFile) {
    jetwrite::writeDatabase(dir / database,
                            {jetwrite::readTextTable(staysTestFile("data/" + dataFile), table)});
}

void writeTableText(const TempDir& dir, const std::string& database, const std::string& table,
                    const std::string& text) {
    jetwrite::writeDatabase(dir / database, {jetwrite::parseTextTable(text, table)});
}

namespace {

class RecordingRecordset : public Recordset {
public:
    RecordingRecordset(std::unique_ptr<Recordset> inner, std::vector<std::string>& log)
        : m_inner(std::move(inner)), m_log(log) {}
    void FindFirst(std::string_view criteria) override {
        m_log.push_back("FindFirst " + std::string(criteria));
        m_inner->FindFirst(criteria);
    }
    void FindNext(std::string_view criteria) override {
        m_log.push_back("FindNext " + std::string(criteria));
        m_inner->FindNext(criteria);
    }
    bool NoMatch() const override { return m_inner->NoMatch(); }
    FieldValue Fields(std::string_view name) const override { return m_inner->Fields(name); }

private:
    std::unique_ptr<Recordset> m_inner;
    std::vector<std::string>& m_log;
};

class RecordingDatabase : public Database {
public:
    RecordingDatabase(std::unique_ptr<Database> inner, std::vector<std::string>& log)
        : m_inner(std::move(inner)), m_log(log) {}
    std::unique_ptr<Recordset> OpenRecordset(std::string_view source, int type) override {
        m_log.push_back("OpenRecordset " + std::string(source) +
                        (type == dbOpenDynaset ? "" : " type " + std::to_string(type)));
        return std::make_unique<RecordingRecordset>(m_inner->OpenRecordset(source, type), m_log);
    }
    void Close() override {
        m_log.push_back("Close");
        m_inner->Close();
    }

private:
    std::unique_ptr<Database> m_inner;
    std::vector<std::string>& m_log;
};

}  // namespace

std::unique_ptr<Database> RecordingEngine::OpenDatabase(std::string_view name) {
    log.push_back("OpenDatabase " + std::string(name));
    return std::make_unique<RecordingDatabase>(m_inner.OpenDatabase(name), log);
}

StaysFixture::StaysFixture()
    : jet(dir.path()), files(dir.path()), ctx{state, engine, files, clock, nullptr} {
    state.UserId = "123456";
    state.InitialDate = "20240101";
    writeTableFile(dir, "Comuni.mdb", "CodiciVari", "codes.txt");
}

namespace {

// The text between <tag> and </tag> on the line, or nothing.
bool elementText(const std::string& line, const std::string& tag, std::string& text) {
    const std::string open = "<" + tag + ">";
    const auto b = line.find(open);
    if (b == std::string::npos) return false;
    const auto e = line.find("</" + tag + ">", b);
    if (e == std::string::npos) return false;
    text = line.substr(b + open.size(), e - b - open.size());
    return true;
}

}  // namespace

std::string stayOutline(const std::vector<std::string>& lines) {
    std::string out;
    std::string text;
    for (const auto& line : lines) {
        if (elementText(line, "StayId", text)) {
            if (!out.empty()) out += ") ";
            out += text + "(";
        } else if (elementText(line, "GuestId", text)) {
            if (out.back() != '(') out += ' ';
            out += text;
        }
    }
    return out.empty() ? out : out + ")";
}

std::vector<std::string> guestLines(const std::vector<std::string>& lines,
                                    const std::string& guestId) {
    const std::string idLine = "           <GuestId>" + guestId + "</GuestId>";
    // GuestId is the second of the guest's twenty lines.
    for (std::size_t i = 1; i + 19 <= lines.size(); ++i) {
        if (lines[i] == idLine)
            return std::vector<std::string>(lines.begin() + static_cast<long>(i) - 1,
                                            lines.begin() + static_cast<long>(i) + 19);
    }
    return {};
}

}  // namespace velmora::test
