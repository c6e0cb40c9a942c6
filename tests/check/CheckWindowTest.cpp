// The window's "&Verifica" on the offscreen platform over the demo hotel,
// with the real engine and the loopback service: the findings in Text2(1),
// the message with the counts, the report never replacing an earlier one,
// nothing sent, input discarded while it runs, and the export still working
// after it. Then its refusals.
#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>

#include "CheckTestSupport.h"
#include "app/AppServices.h"
#include "app/RealExportSteps.h"
#include "app/VelmoraDT.h"
#include "platform/FileStore.h"
#include "platform/curl/CurlHandles.h"
#include "jet/JetEngine.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace velmora {

namespace {

// The real engine, with a hook called at the first database the check opens.
class HookedEngine : public DBEngine {
public:
    explicit HookedEngine(const std::string& dir) : m_inner(dir) {}
    std::unique_ptr<Database> OpenDatabase(std::string_view name) override {
        if (onFirstOpen) {
            auto hook = std::move(onFirstOpen);
            onFirstOpen = nullptr;
            hook();
        }
        return m_inner.OpenDatabase(name);
    }
    std::function<void()> onFirstOpen;

private:
    JetEngine m_inner;
};

struct Harness {
    explicit Harness(bool demo) : files(dir.path()), services(dir.path()), engine(dir.path()) {
        if (demo) {
            test::writeDemoHotel(dir);
            service = std::make_unique<test::LoopbackService>();
            test::writeSettings(dir, service->base());
        } else {
            test::writeCheckHotel(dir, "", "");
        }
    }
    void open(bool withEngine = true) {
        window = std::make_unique<VelmoraDT>(state, files, clock, dialogs, services.factory());
        if (withEngine) window->setCheckEngine([this]() -> DBEngine& { return engine; });
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QCoreApplication::processEvents();
    }
    QString focusName() const {
        QWidget* f = QApplication::focusWidget();
        return f ? f->objectName() : QString("(none)");
    }

    test::TempDir dir;
    LocalFileStore files;
    AppServices services;
    HookedEngine engine;
    std::unique_ptr<test::LoopbackService> service;
    RunState state;
    test::FixedClock clock;  // 5 March 2026, 14:07:09
    test::RecordingDialogs dialogs;
    std::unique_ptr<VelmoraDT> window;
};

const std::string kCounts = "bloccanti 0, respinti 1, mai inviati 1, esclusi 5";

}  // namespace

class CheckWindowTest : public QObject {
    Q_OBJECT

private slots:
    void verifyOnTheDemoWeekThenExport();
    void inputDuringTheCheckIsDiscarded();
    void refusals();
};

void CheckWindowTest::verifyOnTheDemoWeekThenExport() {
    Harness h(true);
    h.open();
    VelmoraDT& w = *h.window;
    QCOMPARE(w.T[2]->text(), QString("&Verifica"));
    QCOMPARE(w.T[2]->font(), w.T[0]->font());
    w.Text1[0]->setText("02/03/2026");
    w.Text1[1]->setText("08/03/2026");

    // The access key V presses the button.
    QTest::keyClick(&w, Qt::Key_V, Qt::AltModifier);
    QTRY_COMPARE(h.dialogs.boxes.size(), std::size_t(1));
    const auto& box = h.dialogs.boxes[0];
    QCOMPARE(box.title, std::string("Istat Regione Sicilia"));
    QCOMPARE(box.style, 48);
    QCOMPARE(box.prompt, "Verifica completata.\r\nRiepilogo: " + kCounts +
                             "\r\nRapporto: Velmora/Verifica-202603051407.html");

    const std::string& answers = w.monitorText(kAnswersBox);
    const std::string heading = "\r\nVerifica dal 02/03/2026 al 08/03/2026: " + kCounts + "\r\n";
    QCOMPARE(answers.substr(0, heading.size()), heading);
    QVERIFY(answers.find("\r\nRESPINTO 07/03/2026 arrivi - Scheda_Cliente.mdb, scheda 4560, "
                         "camera 109: ") != std::string::npos);
    QVERIFY(answers.find("\r\nMAI INVIATO 04/03/2026 arrivi - Scheda_Cliente.mdb, scheda 4513") !=
            std::string::npos);
    const std::string last = "\r\nRapporto: Velmora/Verifica-202603051407.html";
    QCOMPARE(answers.substr(answers.size() - last.size()), last);
    QVERIFY(w.Text2[1]->toPlainText().contains("Verifica dal 02/03/2026 al 08/03/2026"));
    QVERIFY(w.monitorText(kSentBox).empty());
    QVERIFY(!w.running());
    QCOMPARE(w.windowTitle(), QString("Invio dati Istat (Regione Sicilia)"));

    // Nothing sent, nothing written but the report; a second check never
    // replaces the first report.
    QCOMPARE(h.service->requestCount(), std::size_t(0));
    const std::string report = h.dir.read("Velmora/Verifica-202603051407.html");
    QVERIFY(report.find("<td>4560</td>") != std::string::npos);
    w.T_Click(2);
    QCOMPARE(
        test::filesBelow(h.dir / "Velmora"),
        std::vector<std::string>({"Verifica-202603051407-2.html", "Verifica-202603051407.html"}));
    QCOMPARE(h.dir.read("Velmora/Verifica-202603051407.html"), report);
    QCOMPARE(h.service->requestCount(), std::size_t(0));

    // The export still works after it, on the same engine's files.
    h.dialogs.boxes.clear();
    w.T_Click(0);
    QCOMPARE(w.lastOutcome(), std::optional<RunOutcome>(RunOutcome::CompletedWithErrors));
    QCOMPARE(h.service->postedDocuments().size(), std::size_t(12));
    QCOMPARE(h.dialogs.boxes.at(0).prompt,
             std::string("Esportazione completata!\r\nSono presenti errori: controllare il "
                         "monitor."));
}

void CheckWindowTest::inputDuringTheCheckIsDiscarded() {
    Harness h(true);
    h.open();
    VelmoraDT& w = *h.window;
    w.Text1[0]->setText("02/03/2026");
    w.Text1[1]->setText("03/03/2026");
    bool running = false;
    QString title;
    h.engine.onFirstOpen = [&] {
        running = w.running();
        title = w.windowTitle();
        QTest::keyClick(w.Text1[0], Qt::Key_Backspace);
        QTest::mouseClick(w.Chk[0], Qt::LeftButton);
        QTest::mouseClick(w.T[0], Qt::LeftButton);
    };
    w.T_Click(2);
    QCoreApplication::processEvents();

    QVERIFY(running);
    QCOMPARE(title, QString("Invio dati Istat (Regione Sicilia) - 02/03/2026"));
    QVERIFY(w.isVisible());
    QCOMPARE(w.Text1[0]->text(), QString("02/03/2026"));
    QVERIFY(!w.Chk[0]->isChecked());
    QCOMPARE(w.lastOutcome(), std::optional<RunOutcome>());
    QCOMPARE(h.service->requestCount(), std::size_t(0));
    QCOMPARE(h.dialogs.boxes.size(), std::size_t(1));
}

void CheckWindowTest::refusals() {
    {
        Harness h(false);
        h.open();
        VelmoraDT& w = *h.window;
        w.Text1[1]->setText("31/04/2026");
        w.T_Click(2);
        QCOMPARE(h.dialogs.boxes.size(), std::size_t(1));
        QCOMPARE(h.dialogs.boxes[0].prompt,
                 std::string("Verifica non avviata!\r\nLa data \"Alla data\" non è valida "
                             "(scriverla come GG/MM/AAAA)."));
        QCOMPARE(h.dialogs.boxes[0].style, 48);
        QCOMPARE(h.focusName(), QString("Text1_1"));
        QVERIFY(w.monitorText(kAnswersBox).empty());
    }
    {
        Harness h(false);
        h.open(false);
        h.window->T_Click(2);
        QCOMPARE(h.dialogs.boxes.size(), std::size_t(1));
        QCOMPARE(h.dialogs.boxes[0].prompt,
                 std::string("Verifica non avviata!\r\nLa verifica non è disponibile."));
    }
    {
        // A clean day: the message has no exclamation mark and the monitor
        // says that nothing was found.
        Harness h(false);
        h.open();
        h.window->T_Click(2);
        QCOMPARE(h.dialogs.boxes.size(), std::size_t(1));
        QCOMPARE(h.dialogs.boxes[0].style, 0);
        QCOMPARE(h.window->monitorText(kAnswersBox),
                 std::string("\r\nVerifica dal 05/03/2026 al 05/03/2026: bloccanti 0, respinti 0, "
                             "mai inviati 0, esclusi 0\r\nNessun problema trovato.\r\nRapporto: "
                             "Velmora/Verifica-202603051407.html"));
    }
}

}  // namespace velmora

int main(int argc, char** argv) {
    velmora::CurlGlobal curl;
    QApplication app(argc, argv);
    velmora::CheckWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "CheckWindowTest.moc"
