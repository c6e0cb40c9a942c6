// The stays document and its file: read the data file, write the lines,
// read them back and keep the file as the one line that is submitted.
#include "stays/ExportStays.h"

#include <algorithm>

#include "core/Calendar.h"
#include "core/FileNames.h"
#include "core/LocalTime.h"
#include "core/RunError.h"
#include "core/Text.h"
#include "stays/StayValues.h"
#include "stays/StaysWriters.h"

namespace velmora {

namespace {


}  // namespace

void beginStaysDocument(StaysContext& ctx) {
    ctx.engine.beginDocument();
    const auto content = ctx.files.readText(kDataFile);
    if (!content)
        throw RunError("File QLBDataI.txt mancante",
                       "impossibile leggere " + std::string(kDataFile));
    const auto lines = splitLines(*content);
    if (lines.empty() || trimBlanks(lines.front()).empty())
        throw RunError("File QLBDataI.txt vuoto", "la prima riga non contiene una data");
    ctx.state.InitialDate = storedDateOf(lines.front());
    ctx.state.StaysWritten = 0;
}

void writeStaysDocument(StaysContext& ctx, const std::string& firstDay, const std::string& lastDay,
                        const std::string& kind, LineSink& out) {
    out.writeLine(" <StaysPmsDTO>");
    WriteHistoryStays(ctx, firstDay, lastDay, out, kind);
    WriteRegisterStays(ctx, firstDay, lastDay, out, kind);
    out.writeLine(" </StaysPmsDTO>");
}

void buildStaysDocument(StaysContext& ctx, const std::string& firstDay, const std::string& lastDay,
                        const std::string& kind, LineSink& out) {
    beginStaysDocument(ctx);
    writeStaysDocument(ctx, firstDay, lastDay, kind, out);
}

std::string joinStaysDocument(std::string_view fileText) {
    std::string text;
    text.reserve(fileText.size());
    for (const auto& line : splitLines(fileText)) text += line;
    std::replace(text.begin(), text.end(), '&', ' ');
    return text;
}

std::string ExportStays(StaysContext& ctx, const std::string& firstDay, const std::string& lastDay,
                        const std::string& kind) {
    beginStaysDocument(ctx);
    // The lines are built in memory and the file holds the joined document:
    // it appears complete or not at all.
    MemoryLineSink sink;
    writeStaysDocument(ctx, firstDay, lastDay, kind, sink);
    std::string text = joinStaysDocument(sink.text());
    ctx.files.writeUnique(kLogDirectory, "Istat-" + stamp14(ctx.clock.now()), ".xml",
                          text + std::string(kCrLf));
    return ctx.state.StaysWritten != 0 ? text : std::string();
}

}  // namespace velmora
