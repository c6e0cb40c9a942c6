// The window on the offscreen platform against batch mode, both over the demo
// hotel and the same loopback service: the dates typed with Enter,
// "Chiudi giornate" ticked and "E&sporta" pressed must fill both monitors
// with exactly the text batch mode prints, give the same message and leave
// the same files. Only the login token differs between the two runs.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "E2eSupport.h"
#include "app/AppServices.h"
#include "app/RealExportSteps.h"
#include "app/VelmoraDT.h"
#include "support/Fakes.h"

namespace velmora {

namespace {

// The token a run logged in with, from its Login file.
std::string tokenOf(const std::string& workDir) {
    const auto files = e2e::velmoraFiles(workDir);
    const auto it = files.find("Login");
    if (it == files.end() || it->second.size() != 1) return {};
    const std::string& text = it->second[0].content;
    return text.size() >= 2 ? text.substr(0, text.size() - 2) : std::string();
}

std::string withoutToken(const std::string& text, const std::string& token) {
    return e2e::replaceAll(text, token, "<token>");
}

// Where two texts first differ, for a readable failure.
QByteArray firstDifference(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    const std::size_t from = i > 60 ? i - 60 : 0;
    return QByteArray::fromStdString("differ at " + std::to_string(i) + " (sizes " +
                                     std::to_string(a.size()) + ", " + std::to_string(b.size()) +
                                     ")\nwindow: ..." + a.substr(from, 160) + "\nbatch:  ..." +
                                     b.substr(from, 160));
}

}  // namespace

class WindowVsBatchTest : public QObject {
    Q_OBJECT

private slots:
    void typedExportMatchesBatchMode_data();
    void typedExportMatchesBatchMode();
};

void WindowVsBatchTest::typedExportMatchesBatchMode_data() {
    QTest::addColumn<QString>("closedPath");  // the service drops requests to it; "" none
    QTest::addColumn<int>("outcome");         // RunOutcome of the window's run
    QTest::addColumn<int>("status");          // exit status of batch mode
    QTest::newRow("the demo week, the planted guest refused")
        << QString() << int(RunOutcome::CompletedWithErrors) << 1;
    QTest::newRow("connection closed at the first arrivals")
        << QString("arrivi") << int(RunOutcome::Interrupted) << 2;
}

void WindowVsBatchTest::typedExportMatchesBatchMode() {
    QFETCH(QString, closedPath);
    QFETCH(int, outcome);
    QFETCH(int, status);
    e2e::LoopbackService service([&](sim::ServiceSimOptions& o) {
        if (!closedPath.isEmpty()) o.close = {closedPath.toStdString()};
    });
    test::TempDir windowDir, batchDir;
    for (const test::TempDir* d : {&windowDir, &batchDir}) {
        e2e::writeDemoHotel(*d);
        e2e::writeSettings(*d, service.base());
    }

    AppServices app(windowDir.path());
    RunState state;
    test::FixedClock clock;  // today's date in the fields at start
    test::RecordingDialogs dialogs;
    VelmoraDT window(state, app.files(), clock, dialogs, app.factory());
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCoreApplication::processEvents();
    QVERIFY(!window.refused());

    auto* first = window.findChild<QLineEdit*>("Text1_0");
    auto* last = window.findChild<QLineEdit*>("Text1_1");
    auto* closeDays = window.findChild<QCheckBox*>("Chk_0");
    auto* exportButton = window.findChild<QPushButton*>("T_0");
    QVERIFY(first && last && closeDays && exportButton);
    const auto focusName = [] {
        QWidget* f = QApplication::focusWidget();
        return f ? f->objectName() : QString("(none)");
    };

    first->setFocus();
    QTRY_COMPARE(focusName(), QString("Text1_0"));
    QTest::keyClicks(first, "02032026");
    QTest::keyClick(first, Qt::Key_Return);
    QCOMPARE(first->text(), QString(e2e::kFirstDay));
    QCOMPARE(focusName(), QString("Text1_1"));
    QTest::keyClicks(last, "08032026");
    QTest::keyClick(last, Qt::Key_Return);
    QCOMPARE(last->text(), QString(e2e::kLastDay));
    QCOMPARE(focusName(), QString("T_0"));
    // Click the box itself, at the left end where its indicator is.
    QTest::mouseClick(closeDays, Qt::LeftButton, {}, QPoint(8, closeDays->height() / 2));
    QVERIFY(closeDays->isChecked());
    QTest::mouseClick(exportButton, Qt::LeftButton);
    QCOMPARE(window.lastOutcome(), std::optional<RunOutcome>(RunOutcome(outcome)));

    const e2e::ProgramResult batch = e2e::runVelmora(
        batchDir.path(),
        {"export", "--from", e2e::kFirstDay, "--to", e2e::kLastDay, "--close-days"});
    QVERIFY(!batch.timedOut);
    QCOMPARE(batch.status, status);

    const std::string windowToken = tokenOf(windowDir.path());
    const std::string batchToken = tokenOf(batchDir.path());
    QVERIFY(!windowToken.empty() && !batchToken.empty());
    QVERIFY(windowToken != batchToken);

    const auto model = e2e::monitorModel(e2e::parseBatchOutput(batch.out));
    for (int box : {kSentBox, kAnswersBox}) {
        const std::string w = withoutToken(window.monitorText(box), windowToken);
        const std::string b = withoutToken(model[box], batchToken);
        QVERIFY2(b.size() > 100, "batch mode printed the run");
        QVERIFY2(w == b, firstDifference(w, b).constData());
    }

    // The message box says what batch mode writes to standard error.
    QCOMPARE(dialogs.boxes.size(), std::size_t(1));
    QCOMPARE(dialogs.boxes[0].style, 48);
    QCOMPARE(dialogs.boxes[0].title + ": " + e2e::withLineFeeds(dialogs.boxes[0].prompt) + "\n",
             batch.err);

    // Both runs kept the same documents, requests and answers.
    auto windowFiles = e2e::velmoraFiles(windowDir.path());
    auto batchFiles = e2e::velmoraFiles(batchDir.path());
    QCOMPARE(e2e::fileCounts(windowFiles), e2e::fileCounts(batchFiles));
    for (const auto& [prefix, list] : windowFiles) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string w = withoutToken(list[i].content, windowToken);
            const std::string b = withoutToken(batchFiles[prefix][i].content, batchToken);
            QVERIFY2(w == b, (prefix + " " + list[i].name).c_str());
        }
    }
}

}  // namespace velmora

QTEST_MAIN(velmora::WindowVsBatchTest)
#include "WindowVsBatchTest.moc"
