// Entry point of velmora: without arguments the window VelmoraDT, with a
// command (velmora export ..., velmora check ...) batch mode without a window.
#include <QApplication>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/BatchMode.h"
#include "app/CheckCommand.h"
#include "app/ExportSteps.h"
#include "app/RealExportSteps.h"
#include "app/VelmoraDT.h"
#include "core/RunError.h"
#include "core/RunState.h"
#include "platform/Clock.h"
#include "platform/DBEngine.h"
#include "platform/FileStore.h"
#include "platform/StopRequest.h"
#include "platform/curl/CurlHandles.h"
#include "platform/qt/QtDialogs.h"

int main(int argc, char** argv) {
    using namespace velmora;
    CurlGlobal curl;
    // Batch mode's export stops on SIGINT and SIGTERM; the transport abandons
    // the exchange under way when asked to.
    StopRequest stop;
    // The window repaints while an exchange waits; batch mode has no window.
    CurlTransport::Options httpOptions;
    httpOptions.stop = &stop;
    httpOptions.whileWaiting = [] {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    AppServices services(".", httpOptions);
    FileStore& files = services.files();
    Clock& clock = services.clock();
    ExportStepsFactory factory = services.factory();

    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty()) {
        BatchServices batch{files, clock, factory, &stop};
        CheckServices check{files, clock,
                            [&services]() -> DBEngine& { return services.engine(true); }};
        std::vector<BatchCommand> commands{MakeExportCommand(batch), MakeCheckCommand(check)};
        return DispatchCommand(args, commands, std::cout, std::cerr);
    }

    QApplication app(argc, argv);
    RunState state;
    QtDialogs dialogs;
    VelmoraDT window(state, files, clock, dialogs, factory);
    window.setCheckEngine([&services]() -> DBEngine& { return services.engine(true); });
    dialogs.setParent(&window);
    window.show();
    const int status = app.exec();
    return window.refused() ? kExitFailed : status;
}
