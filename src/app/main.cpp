// Entry point of velmora: without arguments the window VelmoraDT, with a
// command (velmora export ..., velmora check ...) batch mode without a window;
// "--cartella DIR" or "--ultima-cartella" first choose the working folder.
#include <QApplication>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/BatchMode.h"
#include "app/CheckCommand.h"
#include "app/ExportSteps.h"
#include "app/AppServices.h"
#include "app/ProvaCommand.h"
#include "app/StatusCommand.h"
#include "app/VelmoraDT.h"
#include "app/WorkFolder.h"
#include "core/RunError.h"
#include "core/RunState.h"
#include "platform/Clock.h"
#include "jet/DBEngine.h"
#include "platform/FileStore.h"
#include "platform/ProgramStart.h"
#include "platform/StopRequest.h"
#include "platform/curl/CurlHandles.h"
#include "platform/qt/QtDialogs.h"

namespace {

// Whether the arguments run "export", after a leading "--cartella DIR".
bool runsExport(int argc, char** argv) {
    int i = 1;
    if (i < argc && std::string(argv[i]) == "--cartella")
        i += 2;
    else if (i < argc && std::string(argv[i]).rfind("--cartella=", 0) == 0)
        i += 1;
    return i < argc && std::string(argv[i]) == "export";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velmora;
    // Batch mode's export stops on SIGINT and SIGTERM, from the first moment:
    // a signal before the run starts ends it all the same, with its message
    // and status. The transport abandons the exchange under way when asked to.
    StopRequest stop;
    if (runsExport(argc, argv)) stopOnSignals(stop);
    CurlGlobal curl;
    CurlTransport::Options httpOptions;
    httpOptions.stop = &stop;
    AppServices services(".", httpOptions);
    FileStore& files = services.files();
    Clock& clock = services.clock();
    ExportStepsFactory factory = services.factory();

    std::vector<std::string> args = programArguments(argc, argv);
    prepareOutput();
    const FolderStart folder = takeFolderOptions(args, std::cerr);
    if (folder.exitStatus) return *folder.exitStatus;
    if (!args.empty()) {
        BatchServices batch{files, clock, factory, services.journal(), &stop};
        CheckServices check{files, clock,
                            [&services]() -> DBEngine& { return services.engine(true); },
                            services.journal()};
        std::vector<BatchCommand> commands{makeExportCommand(batch), makeCheckCommand(check),
                                           makeVersionCommand(VELMORA_VERSION),
                                           makeStatusCommand(check),
                                           makeProvaCommand(files, services.http())};
        return dispatchCommand(args, commands, std::cout, std::cerr);
    }

    leaveOwnConsole();
    QApplication app(argc, argv);
    installQtItalian();
    QtDialogs dialogs;
    if (folder.askForFolder && !enterRememberedFolder(dialogs)) return kExitCompleted;
    rememberWorkFolder();
    RunState state;
    VelmoraDT window(state, files, clock, dialogs, factory);
    window.setCheckEngine([&services]() -> DBEngine& { return services.engine(true); });
    window.setStopRequest(&stop);
    window.setJournal(services.journal());
    dialogs.setParent(&window);
    window.show();
    const int status = app.exec();
    return window.refused() ? kExitFailed : status;
}
