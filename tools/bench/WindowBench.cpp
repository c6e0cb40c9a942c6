// velmora-window-bench DIR FIRST LAST: the benchmark of the window. Opens
// VelmoraDT offscreen on the hotel in DIR with the program's real steps, ticks
// "Chiudi giornate", types the two days and presses E&sporta; prints, when the
// completion box comes up, the wall and CPU seconds from the click and the
// process's peak resident memory, as "wall cpu peak_kb first-line-of-the-box".
#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLineEdit>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/resource.h>

#include "app/AppServices.h"
#include "app/VelmoraDT.h"
#include "core/RunState.h"
#include "platform/Dialogs.h"
#include "platform/curl/CurlHandles.h"

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The completion box: taken, not shown, with the time it came.
class TimedDialogs : public velmora::Dialogs {
public:
    void MsgBox(const std::string& prompt, int, const std::string&) override {
        if (!first.empty()) return;
        first = prompt.substr(0, prompt.find('\r'));
        at = std::chrono::steady_clock::now();
        cpu = cpuSeconds();
    }
    // The month is sent again at every run of the benchmark.
    bool Question(const std::string&, const std::string&) override { return true; }
    std::string first;
    std::chrono::steady_clock::time_point at;
    double cpu = 0;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace velmora;
    if (argc != 4) {
        std::fprintf(stderr, "usage: velmora-window-bench DIR FIRST LAST\n");
        return 64;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // As with "velmora --cartella DIR", the window works in its folder, ".".
    std::error_code ec;
    std::filesystem::current_path(argv[1], ec);
    if (ec) {
        std::fprintf(stderr, "cannot enter %s: %s\n", argv[1], ec.message().c_str());
        return 2;
    }
    CurlGlobal curl;
    AppServices services(".");
    QApplication app(argc, argv);
    RunState state;
    TimedDialogs dialogs;
    VelmoraDT window(state, services.files(), services.clock(), dialogs, services.factory());
    window.setJournal(services.journal());  // as the program's window records
    window.show();
    QApplication::processEvents();
    if (window.refused()) {
        std::fprintf(stderr, "settings refused: %s\n", dialogs.first.c_str());
        return 2;
    }
    window.Text1[0]->setText(QString::fromUtf8(argv[2]));
    window.Text1[1]->setText(QString::fromUtf8(argv[3]));
    window.Chk[0]->setChecked(true);

    const double cpu0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    // The run goes on its own thread; the window's events go on meanwhile.
    QEventLoop loop;
    QObject::connect(&window, &VelmoraDT::runFinished, &loop, &QEventLoop::quit);
    window.T_Click(0);
    loop.exec();
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const double wall = std::chrono::duration<double>(dialogs.at - t0).count();
    std::printf("%.2f %.2f %ld %s\n", wall, dialogs.cpu - cpu0, u.ru_maxrss, dialogs.first.c_str());
    return 0;
}
