// The window VelmoraDT on the offscreen platform: start state, layout and tab
// order, Enter in the date fields, Enter on "E&sporta", the refusal at start,
// the monitor model, and input discarded during a run.
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <memory>

#include "RecordingSteps.h"
#include "app/VelmoraDT.h"
#include "platform/FileStore.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace velmora {

namespace {

// One window over its own working directory, with recording seams.
struct Harness {
    explicit Harness(bool settings = true) : files(dir.path()) {
        if (settings) test::writeHotelFiles(dir);
    }
    void open() {
        window = std::make_unique<VelmoraDT>(state, files, clock, dialogs,
                                             test::recordingFactory(script));
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
    RunState state;
    test::FixedClock clock;  // 5 March 2026, 14:07:09
    test::RecordingDialogs dialogs;
    test::StepScript script;
    std::unique_ptr<VelmoraDT> window;
};

}  // namespace

class VelmoraDTTest : public QObject {
    Q_OBJECT

private slots:
    void startsWithTodayAndTheSettings();
    void layoutFollowsTheTwipTable_data();
    void layoutFollowsTheTwipTable();
    void appearance();
    void tabOrder();
    void enterInADateField_data();
    void enterInADateField();
    void enterOnExportRunsTheExport();
    void refusalAtStartEndsTheProgram_data();
    void refusalAtStartEndsTheProgram();
    void monitorAppendsInPlace();
    void inputDuringARunIsDiscarded();
    void failedRunIsReportedAndTheWindowGoesOn();
    void invalidFieldAtRunStartTakesTheFocus();
    void exitButtonClosesTheWindow();
};

void VelmoraDTTest::startsWithTodayAndTheSettings() {
    Harness h;
    h.open();
    VelmoraDT& w = *h.window;
    QCOMPARE(w.Text1[0]->text(), QString("05/03/2026"));
    QCOMPARE(w.Text1[1]->text(), QString("05/03/2026"));
    QCOMPARE(w.windowTitle(), QString("Invio dati Istat (Regione Sicilia)"));
    QVERIFY(!w.Chk[0]->isChecked());
    QVERIFY(w.isVisible());
    QVERIFY(!w.refused());
    QCOMPARE(h.state.UserId, std::string("HOTEL01"));
    QCOMPARE(h.state.CloseDayUrl, std::string("http://127.0.0.1:9/istat/chiusura"));
    QCOMPARE(h.state.DaysInMonth[4], std::int16_t(30));
    QVERIFY(h.dialogs.boxes.empty());
    QCOMPARE(h.focusName(), QString("Text1_0"));
    QCOMPARE(w.Text1[0]->selectedText(), QString("05/03/2026"));
}

void VelmoraDTTest::layoutFollowsTheTwipTable_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QString>("text");
    auto row = [](const char* name, int l, int t, int w, int h, const char* text) {
        QTest::newRow(name) << QString(name) << QRect(l / 15, t / 15, w / 15, h / 15)
                            << QString(text);
    };
    row("Text1_0", 1800, 240, 1455, 375, "05/03/2026");
    row("Text1_1", 1800, 960, 1455, 375, "05/03/2026");
    row("T_0", 11520, 360, 2055, 855, "E&sporta");
    row("T_1", 11520, 1320, 2055, 855, "&Esci");
    row("T_2", 9240, 360, 2055, 855, "&Verifica");
    row("Text2_1", 120, 4560, 13455, 4215, "");
    row("Text2_0", 120, 2520, 13455, 1935, "");
    row("Label1_2", 240, 2040, 4215, 375, "Monitor messaggi");
    row("Label1_1", 120, 960, 1455, 375, "Alla data");
    row("Label1_0", 120, 240, 1455, 375, "Dalla data");
    row("Chk_0", 3480, 240, 2895, 375, "Chiudi giornate");
    row("Shape1_0", 1680, 120, 1695, 615, "");
    row("Shape1_1", 1680, 840, 1695, 615, "");
}

void VelmoraDTTest::layoutFollowsTheTwipTable() {
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    QFETCH(QString, text);
    Harness h;
    h.open();
    QCOMPARE(h.window->size(), QSize(915, 590));
    auto* control = h.window->findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), rect);
    QString shown;
    if (auto* e = qobject_cast<QLineEdit*>(control)) shown = e->text();
    if (auto* b = qobject_cast<QAbstractButton*>(control)) shown = b->text();
    if (auto* l = qobject_cast<QLabel*>(control)) shown = l->text();
    if (auto* p = qobject_cast<MonitorView*>(control)) shown = p->toPlainText();
    QCOMPARE(shown, text);
}

void VelmoraDTTest::appearance() {
    Harness h;
    h.open();
    VelmoraDT& w = *h.window;
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(w.Text1[i]->maxLength(), 10);
        QVERIFY(w.Text1[i]->font().bold());
        QCOMPARE(w.Text1[i]->font().pointSizeF(), 12.0);
        QCOMPARE(w.T[i]->font().pointSizeF(), 14.25);
        QCOMPARE(w.Text2[i]->palette().color(QPalette::Base), QColor(255, 255, 192));
        QCOMPARE(w.Text2[i]->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(w.Shape1[i]->palette().color(QPalette::Window), QColor(Qt::white));
        // The rectangles lie behind the fields.
        QVERIFY(w.Shape1[i]->geometry().contains(w.Text1[i]->geometry()));
        QVERIFY(w.children().indexOf(w.Shape1[i]) < w.children().indexOf(w.Text1[i]));
    }
    QCOMPARE(w.palette().color(QPalette::Window), QColor(192, 192, 255));
    QCOMPARE(w.Label1[0]->font().pointSizeF(), 12.0);
    QCOMPARE(w.Chk[0]->font().pointSizeF(), 12.0);

    // The texts fit their controls in the fonts actually used.
    QCOMPARE(
        QFontMetrics(w.Text1[0]->font()).horizontalAdvance("05/03/2026") < w.Text1[0]->width() - 6,
        true);
    for (QLabel* l : w.Label1)
        QVERIFY2(QFontMetrics(l->font()).horizontalAdvance(l->text()) <= l->width(),
                 qPrintable(l->text()));
}

void VelmoraDTTest::tabOrder() {
    Harness h;
    h.open();
    QCOMPARE(h.focusName(), QString("Text1_0"));
    QStringList visited;
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << h.focusName();
    }
    QCOMPARE(visited, QStringList({"Text1_1", "T_0", "T_1", "T_2", "Text2_1", "Text2_0", "Chk_0",
                                   "Text1_0"}));
}

void VelmoraDTTest::enterInADateField_data() {
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("firstDay");  // Text1(0) before typing in Text1(1)
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("focus");

    QTest::newRow("six digits expand, focus to the last day") << 0 << ""
                                                              << "050324"
                                                              << "05/03/2024"
                                                              << "Text1_1";
    QTest::newRow("eight digits expand") << 0 << ""
                                         << "05032026"
                                         << "05/03/2026"
                                         << "Text1_1";
    QTest::newRow("leading blank removed before expansion") << 0 << ""
                                                            << " 050324"
                                                            << "05/03/2024"
                                                            << "Text1_1";
    QTest::newRow("this year stays in this century") << 0 << ""
                                                     << "050326"
                                                     << "05/03/2026"
                                                     << "Text1_1";
    QTest::newRow("separators are not examined") << 0 << ""
                                                 << "05-03-2026"
                                                 << "05-03-2026"
                                                 << "Text1_1";
    QTest::newRow("1/1/25 is read by position") << 0 << ""
                                                << "1/1/25"
                                                << "1//1//2025"
                                                << "Text1_1";
    QTest::newRow("invalid first day is emptied, focus stays") << 0 << ""
                                                               << "31/04/2026"
                                                               << ""
                                                               << "Text1_0";
    QTest::newRow("empty first day stays empty") << 0 << ""
                                                 << ""
                                                 << ""
                                                 << "Text1_0";
    QTest::newRow("letters are not a date") << 0 << ""
                                            << "ab'cd"
                                            << ""
                                            << "Text1_0";
    QTest::newRow("last day equal to the first: focus to E&sporta") << 1 << "05/03/2026"
                                                                    << "050326"
                                                                    << "05/03/2026"
                                                                    << "T_0";
    QTest::newRow("last day after the first: focus to E&sporta") << 1 << "05/03/2026"
                                                                 << "06/03/2026"
                                                                 << "06/03/2026"
                                                                 << "T_0";
    QTest::newRow("last day before the first: back to the first") << 1 << "10/03/2026"
                                                                  << "05/03/2026"
                                                                  << "05/03/2026"
                                                                  << "Text1_0";
    QTest::newRow("invalid last day is emptied, focus stays") << 1 << "05/03/2026"
                                                              << "29/02/2100"
                                                              << ""
                                                              << "Text1_1";
}

void VelmoraDTTest::enterInADateField() {
    QFETCH(int, field);
    QFETCH(QString, firstDay);
    QFETCH(QString, typed);
    QFETCH(QString, result);
    QFETCH(QString, focus);
    Harness h;
    h.open();
    VelmoraDT& w = *h.window;
    if (field == 1) w.Text1[0]->setText(firstDay);

    // Focus selects the whole text, so typing replaces it.
    w.Text1[field]->setFocus();
    QTRY_COMPARE(h.focusName(), QString("Text1_%1").arg(field));
    QCOMPARE(w.Text1[field]->selectedText(), w.Text1[field]->text());
    if (typed.isEmpty()) {
        QTest::keyClick(w.Text1[field], Qt::Key_Delete);
    } else {
        QTest::keyClicks(w.Text1[field], typed);
    }
    QTest::keyClick(w.Text1[field], Qt::Key_Return);

    QCOMPARE(w.Text1[field]->text(), result);
    QCOMPARE(h.focusName(), focus);
    if (field == 1) QCOMPARE(w.Text1[0]->text(), firstDay);
    if (auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        edit && edit != w.Text1[field])
        QCOMPARE(edit->selectedText(), edit->text());
    QVERIFY(h.script.calls.empty());
}

void VelmoraDTTest::enterOnExportRunsTheExport() {
    Harness h;
    h.open();
    VelmoraDT& w = *h.window;
    w.Text1[1]->setText("06/03/2026");
    w.Text1[1]->setFocus();
    QTest::keyClick(w.Text1[1], Qt::Key_Return);
    QCOMPARE(h.focusName(), QString("T_0"));
    QTest::keyClick(w.T[0], Qt::Key_Return);

    std::vector<std::string> expected{"DoLogin"};
    for (const char* day : {"05/03/2026", "06/03/2026"})
        for (const std::string& c : test::dayCalls(day, false)) expected.push_back(c);
    expected.push_back("DoLogout");
    QCOMPARE(h.script.calls, expected);
    QCOMPARE(h.dialogs.boxes.size(), std::size_t(1));
    QCOMPARE(h.dialogs.boxes[0].prompt, std::string("Esportazione completata!"));
    QCOMPARE(w.lastOutcome(), std::optional<RunOutcome>(RunOutcome::Completed));
    QCOMPARE(w.monitorText(kAnswersBox), std::string("\r\nOK A\r\nOK P\r\nOK A\r\nOK P"));
    // The caret of the answers box ends at the end of its text.
    QCOMPARE(w.Text2[1]->caretPosition(), w.Text2[1]->characterCount());

    // The access key of E&sporta starts a second run; Chk(0) adds the day closing.
    h.script.calls.clear();
    w.Chk[0]->setChecked(true);
    w.Text1[1]->setText("05/03/2026");
    QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
    expected = {"DoLogin"};
    for (const std::string& c : test::dayCalls("05/03/2026", true)) expected.push_back(c);
    expected.push_back("DoLogout");
    // An access key presses the button after its short press animation.
    QTRY_COMPARE(h.script.calls, expected);
}

void VelmoraDTTest::refusalAtStartEndsTheProgram_data() {
    QTest::addColumn<QByteArray>("settings");  // "-" for no file
    QTest::addColumn<QString>("prompt");
    QTest::newRow("missing file") << QByteArray("-")
                                  << "Nome utente e password non impostati! (QLBSetup.txt)";
    QTest::newRow("short file")
        << QByteArray("U\r\nP\r\nL\r\n")
        << "Il file QLBSetup.txt contiene solo 3 righe: ne servono 7 (nome utente, password e i "
           "cinque indirizzi del servizio).";
}

void VelmoraDTTest::refusalAtStartEndsTheProgram() {
    QFETCH(QByteArray, settings);
    QFETCH(QString, prompt);
    Harness h(false);
    if (settings != "-") h.dir.write("QLBSetup.txt", settings.toStdString());
    h.window = std::make_unique<VelmoraDT>(h.state, h.files, h.clock, h.dialogs,
                                           test::recordingFactory(h.script));
    h.window->show();
    // The event loop of the program ends when the window closes; the timer
    // only stops a test that would otherwise wait for ever.
    QTimer stuck;
    stuck.setSingleShot(true);
    connect(&stuck, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    stuck.start(10000);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!h.window->isVisible());
    QVERIFY(h.window->refused());
    QCOMPARE(h.dialogs.boxes.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(h.dialogs.boxes[0].prompt), prompt);
    QCOMPARE(h.dialogs.boxes[0].style, 48);
    QCOMPARE(h.dialogs.boxes[0].title, std::string("Parametri insufficienti"));
    QCOMPARE(h.state.UserId, std::string());
}

void VelmoraDTTest::monitorAppendsInPlace() {
    Harness h;
    h.open();
    VelmoraDT& w = *h.window;
    w.append(kSentBox, "A");
    w.append(kSentBox, "B\r\nC");
    w.append(kAnswersBox, "<ok/>");
    QCOMPARE(w.monitorText(kSentBox), std::string("\r\nA\r\nB\r\nC"));
    QCOMPARE(w.Text2[0]->toPlainText(), QString("\nA\nB\nC"));
    QCOMPARE(w.monitorText(kAnswersBox), std::string("\r\n<ok/>"));
    QCOMPARE(w.Text2[1]->toPlainText(), QString("\n<ok/>"));
    // A lone CR and a line beyond the box's width; the view follows the newest text.
    const std::string longLine(20000, 'x');
    w.append(kSentBox, "D\rE\r\n" + longLine);
    QCOMPARE(w.Text2[0]->toPlainText(), "\nA\nB\nC\nD\nE\n" + QString::fromStdString(longLine));
    QScrollBar* bar = w.Text2[0]->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    w.Text2[0]->selectAll();
    QCOMPARE(w.Text2[0]->selectedText(), w.Text2[0]->toPlainText());
}

void VelmoraDTTest::inputDuringARunIsDiscarded() {
    Harness h;
    h.open();
    VelmoraDT& w = *h.window;
    QStringList captions;
    bool running = false;
    h.script.onCall = [&](const std::string& call) {
        if (call != "ExportStays 05/03/2026 05/03/2026 A") return;
        captions << w.windowTitle();
        running = w.running();
        // Typed and clicked at once, and queued for later: none of it may act.
        QTest::keyClicks(w.Text1[0], "99");
        QTest::mouseClick(w.T[1], Qt::LeftButton);
        QCoreApplication::postEvent(
            w.Text1[0], new QKeyEvent(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, "1"));
        const QPointF centre = QRectF(w.T[1]->rect()).center();
        QCoreApplication::postEvent(
            w.T[1], new QMouseEvent(QEvent::MouseButtonPress, centre, w.T[1]->mapToGlobal(centre),
                                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(
            w.T[1], new QMouseEvent(QEvent::MouseButtonRelease, centre, w.T[1]->mapToGlobal(centre),
                                    Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
        w.close();
    };
    w.T_Click(0);
    QCoreApplication::processEvents();

    QVERIFY(running);
    QCOMPARE(captions, QStringList({"Invio dati Istat (Regione Sicilia) - 05/03/2026"}));
    QCOMPARE(w.windowTitle(), QString("Invio dati Istat (Regione Sicilia)"));
    QVERIFY(!w.running());
    QVERIFY(w.isVisible());
    QCOMPARE(w.Text1[0]->text(), QString("05/03/2026"));
    QCOMPARE(w.lastOutcome(), std::optional<RunOutcome>(RunOutcome::Completed));
    QCOMPARE(h.script.made, 1);

    // After the run the window takes input again.
    w.Text1[0]->setFocus();
    QTest::keyClicks(w.Text1[0], "7");
    QCOMPARE(w.Text1[0]->text(), QString("7"));
}

void VelmoraDTTest::failedRunIsReportedAndTheWindowGoesOn() {
    Harness h;
    h.open();
    VelmoraDT& w = *h.window;
    h.script.failAt = "ExportStays 05/03/2026 05/03/2026 P";
    w.T_Click(0);
    QCOMPARE(w.lastOutcome(), std::optional<RunOutcome>(RunOutcome::Interrupted));
    const std::string reason = test::kStepError.fullText();
    QCOMPARE(w.monitorText(kAnswersBox), "\r\nOK A\r\n" + reason);
    QCOMPARE(h.dialogs.boxes.at(0).prompt, "Esportazione interrotta!\r\n" + reason);
    QCOMPARE(h.script.calls.back(), std::string("DoLogout"));
    QVERIFY(w.isVisible());
    QVERIFY(!w.running());
    QCOMPARE(w.windowTitle(), QString("Invio dati Istat (Regione Sicilia)"));

    h.script.failAt.clear();
    w.T_Click(0);
    QCOMPARE(w.lastOutcome(), std::optional<RunOutcome>(RunOutcome::Completed));
    QCOMPARE(h.script.made, 2);
}

void VelmoraDTTest::invalidFieldAtRunStartTakesTheFocus() {
    Harness h;
    h.open();
    VelmoraDT& w = *h.window;
    w.Text1[1]->setText("31/04/2026");
    w.T[0]->setFocus();
    w.T_Click(0);
    QCOMPARE(w.lastOutcome(), std::optional<RunOutcome>(RunOutcome::Refused));
    QCOMPARE(h.focusName(), QString("Text1_1"));
    QCOMPARE(h.script.made, 0);
    QCOMPARE(h.dialogs.boxes.at(0).style, 48);
    QVERIFY(w.monitorText(kAnswersBox).empty());
}

void VelmoraDTTest::exitButtonClosesTheWindow() {
    Harness h;
    h.open();
    h.window->T_Click(7);
    QVERIFY(h.window->isVisible());
    QVERIFY(h.script.calls.empty());
    QTest::keyClick(h.window.get(), Qt::Key_E, Qt::AltModifier);
    QTRY_VERIFY(!h.window->isVisible());
}

}  // namespace velmora

QTEST_MAIN(velmora::VelmoraDTTest)
#include "VelmoraDTTest.moc"
