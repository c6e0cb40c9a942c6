// Entry point of velmora: without arguments the window VelmoraDT, with a
// command (velmora export ...) batch mode without a window.
#include <QApplication>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/BatchMode.h"
#include "app/ExportSteps.h"
#include "app/VelmoraDT.h"
#include "core/RunError.h"
#include "core/RunState.h"
#include "platform/Clock.h"
#include "platform/FileStore.h"
#include "platform/qt/QtDialogs.h"

namespace {

// The steps of a run, made once per run.
velmora::ExportStepsFactory makeStepsFactory() {
    return [](velmora::RunState&, velmora::Monitor&,
              const velmora::StepsOptions&) -> std::unique_ptr<velmora::ExportSteps> {
        throw velmora::RunError("Esportazione non ancora disponibile");
    };
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velmora;
    LocalFileStore files;
    SystemClock clock;
    ExportStepsFactory factory = makeStepsFactory();

    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty()) {
        BatchServices services{files, clock, factory};
        std::vector<BatchCommand> commands{MakeExportCommand(services)};
        return DispatchCommand(args, commands, std::cout, std::cerr);
    }

    QApplication app(argc, argv);
    RunState state;
    QtDialogs dialogs;
    VelmoraDT window(state, files, clock, dialogs, factory);
    dialogs.setParent(&window);
    window.show();
    const int status = app.exec();
    return window.refused() ? kExitFailed : status;
}
