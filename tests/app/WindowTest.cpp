// The window VelmoraDT on the offscreen platform: Enter and clicks in the date
// fields, Enter and the access keys on the buttons, the refusal at start, a
// run and a check on their own thread with the window locked but for
// "Interrompi", which stops them (also by closing the window) while the
// loopback service holds an answer; "&Verifica" over the demo hotel; and the
// typed export against batch mode on the same loopback service.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <array>
#include <atomic>
#include <filesystem>
#include <future>
#include <memory>
#include <utility>

#include "RecordingSteps.h"
#include "app/AppServices.h"
#include "app/RealExportSteps.h"
#include "app/VelmoraDT.h"
#include "app/WorkFolder.h"
#include "jet/JetEngine.h"
#include "jetwrite/JetWriter.h"
#include "platform/FileStore.h"
#include "platform/LocalFileAccess.h"
#include "platform/curl/CurlHandles.h"
#include "platform/qt/QtDialogs.h"
#include "support/Fakes.h"
#include "support/Support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// The real engine, with a hook called when the check opens its first database.
class HookedEngine : public DBEngine {
public:
#ifdef _WIN32
    // MinGW's std::filesystem tells a file's time to the second: the check
    // reads the files the program's way, which sees a rewrite within it.
    explicit HookedEngine(const std::string& dir)
        : m_inner(dir, true, std::make_shared<LocalFileAccess>()) {}
#else
    explicit HookedEngine(const std::string& dir) : m_inner(dir) {}
#endif
    std::unique_ptr<Database> OpenDatabase(std::string_view name) override {
        if (onOpen) std::exchange(onOpen, nullptr)();
        return m_inner.OpenDatabase(name);
    }
    void beginDocument() override { m_inner.beginDocument(); }
    std::function<void()> onOpen;

private:
    JetEngine m_inner;
};

CurlTransport::Options stoppedBy(StopRequest& stop) {
    CurlTransport::Options options;
    options.stop = &stop;
    return options;
}

// Waits until the run or the check of the window has ended.
bool finished(const VelmoraDT& w) {
    return QTest::qWaitFor([&] { return !w.running(); }, 30000);
}

// Does what starts a run or a check, and waits for its end.
bool ranToEnd(VelmoraDT& w, const std::function<void()>& start) {
    QSignalSpy ended(&w, &VelmoraDT::runFinished);
    start();
    return !ended.isEmpty() || ended.wait(30000);
}

// One window over its own working directory: recording steps, or with demo
// the demo hotel, the real steps and the loopback service (configured).
struct Harness {
    explicit Harness(bool demo = false, bool settings = true,
                     const std::function<void(sim::ServiceSimOptions&)>& configure = nullptr)
        : files(dir.path()), services(dir.path(), stoppedBy(stop)), engine(dir.path()) {
        if (demo) {
            test::writeDemoHotel(dir);
            service = std::make_unique<test::LoopbackService>(configure);
            test::writeSettings(dir, service->base());
        } else if (settings) {
            test::writeHotelFiles(dir);
        }
        factory = demo ? services.factory() : test::recordingFactory(script);
    }
    void open() {
        window = std::make_unique<VelmoraDT>(state, files, clock, dialogs, factory);
        window->setCheckEngine([this]() -> DBEngine& { return engine; });
        window->setStopRequest(&stop);
        window->setJournal(services.journal());
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QCoreApplication::processEvents();
    }
    QString focusName() const {
        QWidget* f = QApplication::focusWidget();
        return f ? f->objectName() : QString("(none)");
    }
    TempDir dir;
    LocalFileStore files;
    StopRequest stop;
    AppServices services;
    HookedEngine engine;
    std::unique_ptr<test::LoopbackService> service;
    ExportStepsFactory factory;
    RunState state;
    test::FixedClock clock;  // 5 March 2026, 14:07:09
    test::RecordingDialogs dialogs;
    test::StepScript script;
    std::unique_ptr<VelmoraDT> window;
};

// The two monitor texts batch mode's output stands for.
std::array<std::string, 2> batchMonitor(const std::string& out) {
    std::array<std::string, 2> boxes;
    for (const test::Exchange& x : test::exchangesOf(out)) {
        boxes[kSentBox] += "\r\n" + x.sent;
        for (const std::string& a : x.answers) boxes[kAnswersBox] += "\r\n" + a;
    }
    return boxes;
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void enterInADateField_data();
    void enterInADateField();
    void exportByKeysAndExit();
    void refusalAtStartEndsTheProgram();
    void aRunIsStoppedByTheOperator_data();
    void aRunIsStoppedByTheOperator();
    void folderChooserAsksAgainInItalian();
    void verifyOnTheDemoWeekThenExport();
    void typedExportMatchesBatchMode();
};

void WindowTest::enterInADateField_data() {
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("firstDay");  // Text1(0) before typing in Text1(1)
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("focus");
    auto row = [](const char* rule, int field, const char* first, const char* typed,
                  const char* result, const char* focus) {
        QTest::newRow(rule) << field << first << typed << result << focus;
    };
    row("six digits expand, focus to the last day", 0, "", " 050324", "05/03/2024", "Text1_1");
    row("1/1/25 is a date with slashes", 0, "", "1/1/25", "01/01/2025", "Text1_1");
    row("slashes and a two-digit year", 0, "", "02/03/26", "02/03/2026", "Text1_1");
    row("invalid first day is emptied, focus stays", 0, "", "31/04/2026", "", "Text1_0");
    row("letters are not a date", 0, "", "ab'cd", "", "Text1_0");
    row("last day equal to the first: focus to E&sporta", 1, "05/03/2026", "050326", "05/03/2026",
        "T_0");
    row("last day after the first: focus to E&sporta", 1, "05/03/2026", "06/03/2026", "06/03/2026",
        "T_0");
    row("last day before the first: back to the first", 1, "10/03/2026", "05/03/2026", "05/03/2026",
        "Text1_0");
    row("invalid last day is emptied, focus stays", 1, "05/03/2026", "29/02/2100", "", "Text1_1");
}

void WindowTest::enterInADateField() {
    QFETCH(int, field);
    QFETCH(QString, firstDay);
    QFETCH(QString, typed);
    QFETCH(QString, result);
    QFETCH(QString, focus);
    Harness h;
    h.open();
    VelmoraDT& w = *h.window;
    QCOMPARE(w.Text1[field]->text(), QString("05/03/2026"));  // today at start
    if (field == 1) w.Text1[0]->setText(firstDay);
    // A click into the full field selects its whole text, so typing replaces it.
    w.T[2]->setFocus();
    QTRY_COMPARE(h.focusName(), QString("T_2"));
    QTest::mouseClick(w.Text1[field], Qt::LeftButton, {}, QPoint(8, w.Text1[field]->height() / 2));
    QTRY_COMPARE(h.focusName(), QString("Text1_%1").arg(field));
    QTest::keyClicks(w.Text1[field], typed);
    QTest::keyClick(w.Text1[field], Qt::Key_Return);
    QCOMPARE(w.Text1[field]->text(), result);
    QCOMPARE(h.focusName(), focus);
    // A refusal names what was typed on the status line.
    const QString status = result.isEmpty()
                               ? "Data non valida: \"" + typed + "\" (scriverla come GG/MM/AAAA)."
                               : focus == "Text1_0" ? QString(kReversedRange) : QString();
    QCOMPARE(w.Status->text(), status);
    if (field == 1) QCOMPARE(w.Text1[0]->text(), firstDay);
    QVERIFY(h.script.calls.empty());
}

void WindowTest::exportByKeysAndExit() {
    Harness h;
    h.open();
    VelmoraDT& w = *h.window;
    w.Text1[1]->setText("06/03/2026");
    w.T[0]->setFocus();
    QVERIFY(ranToEnd(w, [&] { QTest::keyClick(w.T[0], Qt::Key_Return); }));
    std::vector<std::string> expected{"DoLogin"};
    for (const char* day : {"05/03/2026", "06/03/2026"})
        for (const std::string& c : test::dayCalls(day, false)) expected.push_back(c);
    expected.push_back("DoLogout");
    QCOMPARE(h.script.calls, expected);
    QCOMPARE(h.dialogs.boxes.at(0).prompt, std::string("Esportazione completata!"));
    QCOMPARE(w.monitorText(kAnswersBox), std::string("\r\nOK A\r\nOK P\r\nOK A\r\nOK P"));
    // On screen a line per CR LF or lone CR, the caret and the view at the newest text.
    QCOMPARE(w.Text2[1]->toPlainText(), QString("\nOK A\nOK P\nOK A\nOK P"));
    QCOMPARE(w.Text2[1]->caretPosition(), w.Text2[1]->characterCount());
    const QString longLine(20000, 'x');
    w.append(kSentBox, "D\rE\r\n" + longLine.toStdString());
    QVERIFY(w.Text2[0]->toPlainText().endsWith("\nD\nE\n" + longLine));
    // A long line without blanks is cut for layout between characters, never inside one.
    const QString accented = "a" + QString(3000, QChar(0x00E8));
    w.append(kSentBox, accented.toStdString());
    QVERIFY(w.Text2[0]->toPlainText().endsWith("\n" + accented));
    QScrollBar* bar = w.Text2[0]->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    w.Text2[0]->selectAll();
    QCOMPARE(w.Text2[0]->selectedText(), w.Text2[0]->toPlainText());
    // Alt+S with "Chiudi giornate" ticked runs it again with the day closing.
    h.script.calls.clear();
    h.script.failAt.clear();
    w.Chk[0]->setChecked(true);
    w.Text1[1]->setText("05/03/2026");
    QVERIFY(ranToEnd(w, [&] { QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier); }));
    expected = {"DoLogin"};
    for (const std::string& c : test::dayCalls("05/03/2026", true)) expected.push_back(c);
    expected.push_back("DoLogout");
    QCOMPARE(h.script.calls, expected);
    // A reversed range is refused before the login.
    h.script.calls.clear();
    w.Text1[0]->setText("06/03/2026");
    QVERIFY(ranToEnd(w, [&] { w.T_Click(0); }));
    QCOMPARE(w.lastOutcome(), std::optional<RunOutcome>(RunOutcome::Refused));
    QCOMPARE(h.dialogs.boxes.back().prompt,
             std::string("Esportazione non avviata!\r\nLa data finale precede la data iniziale."));
    QVERIFY(h.script.calls.empty());
    // An invalid field at the start of a run takes the focus.
    w.Text1[1]->setText("31/04/2026");
    QVERIFY(ranToEnd(w, [&] { w.T_Click(0); }));
    QCOMPARE(w.lastOutcome(), std::optional<RunOutcome>(RunOutcome::Refused));
    QCOMPARE(h.focusName(), QString("Text1_1"));
    QTest::keyClick(&w, Qt::Key_E, Qt::AltModifier);
    QTRY_VERIFY(!w.isVisible());
}

void WindowTest::refusalAtStartEndsTheProgram() {
    Harness h(false, false);
    h.dir.write("QLBSetup.txt", "U\r\nP\r\nL\r\n");
    h.window = std::make_unique<VelmoraDT>(h.state, h.files, h.clock, h.dialogs, h.factory);
    h.window->show();
    // The event loop ends when the window closes; the timer only stops a
    // test that would otherwise wait for ever.
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!h.window->isVisible());
    QCOMPARE(h.dialogs.boxes.size(), std::size_t(1));
    QCOMPARE(
        h.dialogs.boxes[0].title + ": " + h.dialogs.boxes[0].prompt,
        std::string("Parametri insufficienti: Il file QLBSetup.txt contiene solo 3 righe: "
                    "ne servono 7 (nome utente, password e i cinque indirizzi del servizio)."));
}

void WindowTest::aRunIsStoppedByTheOperator_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Interrompi, No and then Yes, while the arrivals wait") << "Interrompi";
    QTest::newRow("the window closed while the arrivals wait") << "close";
    QTest::newRow("Interrompi during a check") << "check";
}

void WindowTest::aRunIsStoppedByTheOperator() {
    QFETCH(QString, how);
    const bool check = how == "check";
    Harness h(true, true, [](sim::ServiceSimOptions& o) { o.hang = {"arrivi"}; });
    h.open();
    VelmoraDT& w = *h.window;
    w.Text1[0]->setText(test::kFirstDay);
    w.Text1[1]->setText(check ? test::kLastDay : "03/03/2026");
    w.Chk[0]->setChecked(true);
    // The check holds at its first database until Interrompi has been pressed.
    std::promise<void> pressed;
    std::shared_future<void> released = pressed.get_future().share();
    std::atomic<bool> holding = false;
    h.engine.onOpen = [&] {
        holding = true;
        released.wait();
    };
    w.T_Click(check ? 2 : 0);
    const QString folder = QString::fromStdString(fs::path(h.dir.path()).filename().string());
    if (check) {
        QTRY_VERIFY(holding);
    } else {
        // The wait shows after a second; the window meanwhile shows what was sent.
        QTRY_COMPARE_WITH_TIMEOUT(w.Status->text(),
                                  QString("In attesa del servizio… (giorno 02/03/2026, arrivi)"),
                                  10000);
        QTRY_VERIFY(w.Text2[0]->toPlainText().contains("/istat/arrivi"));
        QCOMPARE(w.windowTitle(), QString(VelmoraDT::kCaption) + " - " + folder + " - 02/03/2026");
    }
    // Locked but for Interrompi: typing and clicks go nowhere.
    QVERIFY(w.running());
    QCOMPARE(w.T[1]->text(), QString("&Interrompi"));
    QTest::keyClicks(w.Text1[0], "9");
    QTest::mouseClick(w.Chk[0], Qt::LeftButton);
    QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
    QCOMPARE(w.Text1[0]->text(), QString(test::kFirstDay));
    QVERIFY(w.Chk[0]->isChecked());
    if (how == "Interrompi") {
        h.dialogs.answer = false;
        QTest::mouseClick(w.T[1], Qt::LeftButton);
        QVERIFY(w.running());
        QVERIFY(!h.stop.requested());
    }
    h.dialogs.answer = true;
    if (how == "close")
        w.close();
    else
        QTest::mouseClick(w.T[1], Qt::LeftButton);
    pressed.set_value();
    QVERIFY(finished(w));

    const std::vector<test::RecordingDialogs::Box>& boxes = h.dialogs.boxes;
    QCOMPARE(boxes.size(), std::size_t(check ? 1 : how == "close" ? 2 : 3));
    for (std::size_t i = 0; i + 1 < boxes.size(); ++i) {
        QCOMPARE(boxes[i].style, test::RecordingDialogs::kQuestion);
        QCOMPARE(boxes[i].prompt, std::string(VelmoraDT::kStopQuestion));
    }
    const std::string said =
        check ? "Verifica interrotta dall'operatore prima del 03/03/2026.\r\nRiepilogo: "
              : "Esportazione interrotta dall'operatore.\r\nIn corso: il documento degli arrivi "
                "del 02/03/2026, risposta NON ricevuta";
    QCOMPARE(boxes.back().prompt.substr(0, said.size()), said);
    const std::vector<std::string> requests =
        check ? std::vector<std::string>() : std::vector<std::string>{"GET login", "POST arrivi", "POST logout"};
    QCOMPARE(h.service->requestLines(), requests);
    if (!check) QCOMPARE(w.lastOutcome(), std::optional<RunOutcome>(RunOutcome::Interrupted));
    QCOMPARE(w.isVisible(), how != "close");
    QCOMPARE(w.T[1]->text(), QString("&Esci"));
    QVERIFY(w.T[0]->isEnabled() && w.T[1]->isEnabled() && w.Chk[0]->isEnabled());
    QCOMPARE(w.windowTitle(), QString(VelmoraDT::kCaption) + " - " + folder);
}

void WindowTest::folderChooserAsksAgainInItalian() {
    QVERIFY(installQtItalian());
    TempDir empty, hotel;
    test::writeHotelFiles(hotel);
    QSettings("velmora", "velmora").remove("cartella");
    // The folder chooser and the message boxes in Qt's Italian; the first
    // folder chosen lacks QLBSetup.txt, so the chooser comes again.
    QStringList buttons;
    std::vector<std::string> chosen = {empty.path(), hotel.path()};
    std::function<void()> choose = [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(top);
            if (!dialog || !dialog->isVisible()) continue;
            for (QPushButton* b : dialog->findChildren<QPushButton*>()) buttons << b->text();
            dialog->setDirectory(QString::fromStdString(chosen.front()));
            chosen.erase(chosen.begin());
            static_cast<QDialog*>(dialog)->accept();
        }
        if (!chosen.empty()) QTimer::singleShot(50, choose);
    };
    QTimer::singleShot(50, choose);
    test::RecordingDialogs dialogs;
    const QString before = QDir::currentPath();
    const bool entered = enterRememberedFolder(dialogs);
    const QString now = QDir::currentPath();
    QDir::setCurrent(before);
    QVERIFY(entered);
    QCOMPARE(now, QDir(QString::fromStdString(hotel.path())).canonicalPath());
    QVERIFY2(buttons.contains("S&cegli") && buttons.contains("Annulla"),
             qPrintable(buttons.join('|')));
    QCOMPARE(dialogs.boxes.size(), std::size_t(1));
    QCOMPARE(dialogs.boxes[0].prompt, "La cartella " + empty.path() +
                                          " non contiene il file QLBSetup.txt: scegliere la "
                                          "cartella dell'albergo.");
    // A question's buttons.
    QtDialogs qt;
    QString yes;
    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        yes = box->button(QMessageBox::Yes)->text();
        box->button(QMessageBox::No)->click();
    });
    QVERIFY(!qt.Question("Interrompere l'invio?", "Istat Regione Sicilia"));
    QCOMPARE(yes, QString("&Sì"));
}

void WindowTest::verifyOnTheDemoWeekThenExport() {
    Harness h(true);
    h.open();
    VelmoraDT& w = *h.window;
    w.Text1[0]->setText(test::kFirstDay);
    w.Text1[1]->setText(test::kLastDay);
    QVERIFY(ranToEnd(w, [&] { QTest::keyClick(&w, Qt::Key_V, Qt::AltModifier); }));
    QCOMPARE(h.dialogs.boxes.size(), std::size_t(1));
    const std::string counts = "bloccanti 0, respinti 1, mai inviati 1, esclusi 5";
    const std::string report = test::systemNames("Velmora/Verifica-202603051407.html");
    QCOMPARE(h.dialogs.boxes[0].style, static_cast<int>(kStyleExclamation));
    QCOMPARE(h.dialogs.boxes[0].prompt,
             "Verifica completata.\r\nRiepilogo: " + counts + "\r\nRapporto: " + report);
    const std::string& answers = w.monitorText(kAnswersBox);
    const std::string heading = "\r\nVerifica dal 02/03/2026 al 08/03/2026: " + counts + "\r\n";
    QCOMPARE(answers.substr(0, heading.size()), heading);
    QVERIFY(answers.find("\r\nRESPINTO 07/03/2026 arrivi - Scheda_Cliente.mdb, scheda 4560") !=
            std::string::npos);
    QVERIFY(w.monitorText(kSentBox).empty());
    // Nothing sent; a second check never replaces the first report.
    const std::string first = h.dir.read(report);
    QVERIFY(first.find("<td>4560</td>") != std::string::npos);
    QVERIFY(ranToEnd(w, [&] { w.T_Click(2); }));
    QCOMPARE(h.dir.read(report), first);
    QVERIFY(!h.dir.read("Velmora/Verifica-202603051407-2.html").empty());
    QVERIFY(h.service->requests().empty());
    // The export still works after it.
    QVERIFY(ranToEnd(w, [&] { w.T_Click(0); }));
    QCOMPARE(w.lastOutcome(), std::optional<RunOutcome>(RunOutcome::CompletedWithErrors));
    // A guest moved to another room since: the advice speaks of the window's
    // controls, and the report carries the journal's days. (Written over in
    // place, as the front-desk program does: Windows keeps the name of a
    // file deleted while it is open.)
    jetwrite::writeDatabase(
        h.dir / "nuovo.mdb",
        {jetwrite::parseTextTable(test::replaceAll(test::testFile("../demo/Scheda_Cliente.txt"),
                                                   "|F|105|", "|F|115|"),
                                  "Scheda_Cliente")});
    h.dir.write("Scheda_Cliente.mdb", h.dir.read("nuovo.mdb"));
    QVERIFY(ranToEnd(w, [&] { w.T_Click(2); }));
    const std::string& advised = w.monitorText(kAnswersBox);
    QVERIFY2(advised.find("camera (RoomId).\r\n    Da fare: Correggere quanto inviato: reinviare il "
                          "giorno: Esporta con Dalla data e Alla data 04/03/2026, rispondendo Sì "
                          "alla domanda sui giorni già inviati") != std::string::npos,
             advised.c_str());
    QVERIFY(advised.find("velmora export") == std::string::npos);
    const std::string third = h.dir.read("Velmora/Verifica-202603051407-3.html");
    QVERIFY(third.find("<h2>Registro degli invii</h2>") != std::string::npos);
    QVERIFY(third.find("<tr class=\"con-errori\"><td>07/03/2026</td>") != std::string::npos);
}

void WindowTest::typedExportMatchesBatchMode() {
    // Only the login token differs between the window's run and batch mode's.
    for (const char* closed : {"", "arrivi"}) {
        test::LoopbackService service([&](sim::ServiceSimOptions& o) {
            if (*closed) o.close = {closed};
        });
        TempDir windowDir, batchDir;
        for (const TempDir* d : {&windowDir, &batchDir}) {
            test::writeDemoHotel(*d);
            test::writeSettings(*d, service.base());
        }
        AppServices app(windowDir.path());
        RunState state;
        test::FixedClock clock;
        test::RecordingDialogs dialogs;
        VelmoraDT w(state, app.files(), clock, dialogs, app.factory());
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.Text1[0]->setFocus();
        QTRY_VERIFY(w.Text1[0]->hasFocus());
        QTest::keyClicks(w.Text1[0], "02032026");
        QTest::keyClick(w.Text1[0], Qt::Key_Return);
        QTest::keyClicks(w.Text1[1], "08032026");
        QTest::keyClick(w.Text1[1], Qt::Key_Return);
        QTest::mouseClick(w.Chk[0], Qt::LeftButton, {}, QPoint(8, w.Chk[0]->height() / 2));
        QVERIFY(ranToEnd(w, [&] { QTest::mouseClick(w.T[0], Qt::LeftButton); }));
        QCOMPARE(w.lastOutcome(),
                 std::optional<RunOutcome>(*closed ? RunOutcome::Interrupted
                                                   : RunOutcome::CompletedWithErrors));
        const test::ProgramResult batch = test::runVelmora(
            batchDir.path(),
            {"export", "--from", test::kFirstDay, "--to", test::kLastDay, "--close-days"});
        QCOMPARE(batch.status, *closed ? 2 : 1);
        const auto windowFiles = test::velmoraFiles(windowDir.path());
        const auto batchFiles = test::velmoraFiles(batchDir.path());
        const std::string windowToken = windowFiles.at("Login").at(0);
        const std::string batchToken = batchFiles.at("Login").at(0);
        QVERIFY(windowToken != batchToken);
        auto same = [&](const std::string& a, const std::string& b) {
            return test::replaceAll(a, windowToken.substr(0, windowToken.size() - 2), "<token>") ==
                   test::replaceAll(b, batchToken.substr(0, batchToken.size() - 2), "<token>");
        };
        const auto model = batchMonitor(batch.out);
        QVERIFY(model[kSentBox].size() > 100);
        for (int box : {kSentBox, kAnswersBox}) QVERIFY(same(w.monitorText(box), model[box]));
        QCOMPARE(dialogs.boxes.size(), std::size_t(1));
        QCOMPARE(
            dialogs.boxes[0].title + ": " + test::withLineFeeds(dialogs.boxes[0].prompt) + "\n",
            batch.err);
        QCOMPARE(test::fileCounts(windowDir.path()), test::fileCounts(batchDir.path()));
        for (const auto& [prefix, list] : windowFiles)
            for (std::size_t i = 0; i < list.size(); ++i)
                QVERIFY2(same(list[i], batchFiles.at(prefix).at(i)), prefix.c_str());
    }
}

}  // namespace velmora

int main(int argc, char** argv) {
    velmora::CurlGlobal curl;
    // The folder remembered for the menu entry goes to a test location.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    velmora::WindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowTest.moc"
