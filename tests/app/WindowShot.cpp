// Writes a picture of the window VelmoraDT as it looks at start (5 March
// 2026, a few monitor lines) to the PNG file named on the command line:
//   QT_QPA_PLATFORM=offscreen build/tests/velmora-window-shot docs/window.png
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <memory>

#include "RecordingSteps.h"
#include "app/VelmoraDT.h"
#include "platform/FileStore.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

int main(int argc, char** argv) {
    using namespace velmora;
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora-window-shot OUTPUT.png\n");
        return 64;
    }
    QApplication app(argc, argv);
    test::TempDir dir;
    test::writeHotelFiles(dir);
    LocalFileStore files(dir.path());
    RunState state;
    test::FixedClock clock;
    test::RecordingDialogs dialogs;
    test::StepScript script;
    VelmoraDT window(state, files, clock, dialogs, test::recordingFactory(script));
    window.show();
    QApplication::processEvents();
    window.append(kSentBox,
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <StaysPmsDTO> ... </StaysPmsDTO>");
    window.append(kAnswersBox, "Ricevute 3 presenze, accettate 3");
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
