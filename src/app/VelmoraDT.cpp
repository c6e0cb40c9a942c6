// The window VelmoraDT on Qt Widgets. Positions and sizes are given in twips
// and drawn at 15 twips a pixel; fonts fall back to installed families of
// similar shape when the named ones are missing.
#include "VelmoraDT.h"

#include <filesystem>
#include <memory>
#include <utility>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QFont>
#include <QFontDatabase>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QTextCursor>
#include <QThread>
#include <QTimer>

#include "app/CheckCommand.h"
#include "check/CheckRange.h"
#include "check/CheckReport.h"
#include "app/DateEntry.h"
#include "app/Settings.h"
#include "app/StatusCommand.h"
#include "core/LocalTime.h"
#include "core/RunError.h"
#include "platform/NativePath.h"

namespace velmora {

namespace {

constexpr int kTwipsPerPixel = 15;

int px(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

void place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(px(left), px(top), px(width), px(height));
}

QString toQ(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string fromQ(const QString& s) { return s.toStdString(); }

// The first installed family of the list; the last one otherwise.
QString installedFamily(const QStringList& families) {
    const QStringList installed = QFontDatabase::families();
    for (const QString& f : families) {
        if (installed.contains(f, Qt::CaseInsensitive)) return f;
    }
    return families.back();
}

QFont namedFont(const QStringList& families, double points, bool bold) {
    QFont font(installedFamily(families));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont sansSerifFont(double points, bool bold) {
    return namedFont({"Microsoft Sans Serif", "Liberation Sans", "Arimo", "DejaVu Sans"}, points,
                     bold);
}

QFont corbelFont(double points) {
    return namedFont({"Corbel", "Carlito", "Liberation Sans", "Arimo", "DejaVu Sans"}, points,
                     false);
}

void setColour(QWidget* w, QPalette::ColorRole role, const QColor& colour) {
    QPalette p = w->palette();
    p.setColor(role, colour);
    w->setPalette(p);
}

}  // namespace

void DateField::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    m_focusedByClick = event->reason() == Qt::MouseFocusReason;
    if (onFocusIn) onFocusIn();
}

void DateField::mouseReleaseEvent(QMouseEvent* event) {
    QLineEdit::mouseReleaseEvent(event);
    // A drag that selected part of the text keeps its selection.
    if (std::exchange(m_focusedByClick, false) && !hasSelectedText()) selectAll();
}

void DateField::keyPressEvent(QKeyEvent* event) {
    if (onKeyPress) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            onKeyPress(13);
        } else if (!event->text().isEmpty()) {
            onKeyPress(event->text().at(0).unicode());
        }
    }
    QLineEdit::keyPressEvent(event);
}

// What the run on the worker's thread has as its monitor, dialogs and view:
// every call goes on to the window's thread, queued (appends, the view) or
// waited for (a message box, a question), so that their order is the run's.
class VelmoraDT::Bridge : public Monitor, public Dialogs, public RunView {
public:
    explicit Bridge(VelmoraDT& window) : m_window(window) {}

    void append(int box, const std::string& text) override {
        post([w = &m_window, box, text] { w->append(box, text); });
    }
    void MsgBox(const std::string& prompt, int style, const std::string& title) override {
        wait([&] { m_window.m_dialogs.MsgBox(prompt, style, title); });
    }
    bool Question(const std::string& prompt, const std::string& title) override {
        bool yes = false;
        wait([&] { yes = m_window.m_dialogs.Question(prompt, title); });
        return yes;
    }
    void invalidDateField(int index) override {
        post([w = &m_window, index] { w->invalidDateField(index); });
    }
    void runStarted() override {
        post([w = &m_window] { w->runStarted(); });
    }
    void dayStarted(const std::string& day) override {
        post([w = &m_window, day] { w->dayStarted(day); });
    }
    void exchangeStarted(const std::string& day, const std::string& what) override {
        post([w = &m_window, day, what] { w->exchangeStarted(day, what); });
    }
    void exchangeEnded() override {
        post([w = &m_window] { w->exchangeEnded(); });
    }
    void runEnded() override {
        post([w = &m_window] { w->runEnded(); });
    }

private:
    template <class F>
    void post(F f) {
        QMetaObject::invokeMethod(&m_window, std::move(f), Qt::QueuedConnection);
    }
    // While the window goes away nobody answers: nothing is shown.
    template <class F>
    void wait(F f) {
        if (m_window.m_closing) return;
        QMetaObject::invokeMethod(
            &m_window, [&] {
                if (!m_window.m_closing) f();
            },
            Qt::BlockingQueuedConnection);
    }

    VelmoraDT& m_window;
};

VelmoraDT::VelmoraDT(RunState& state, FileStore& files, Clock& clock, Dialogs& dialogs,
                     ExportStepsFactory factory, QWidget* parent)
    : QWidget(parent),
      m_state(state),
      m_files(files),
      m_clock(clock),
      m_dialogs(dialogs),
      m_factory(std::move(factory)),
      m_bridge(std::make_unique<Bridge>(*this)) {
    m_folderName = toQ(utf8Name(NativePath(m_files.folder()).filename()));
    buildControls();
    m_monitorTimer = new QTimer(this);
    m_monitorTimer->setSingleShot(true);
    m_monitorTimer->setInterval(80);
    connect(m_monitorTimer, &QTimer::timeout, this, [this] { refreshMonitors(); });
    m_waitTimer = new QTimer(this);
    m_waitTimer->setSingleShot(true);
    m_waitTimer->setInterval(1000);
    connect(m_waitTimer, &QTimer::timeout, this, [this] { Status->setText(m_waitText); });
    Form_Load();
}

VelmoraDT::~VelmoraDT() {
    if (!m_worker) return;
    // Not in the program's normal course (closing waits for the run's end):
    // the run is stopped and its calls are served without showing anything.
    m_closing = true;
    m_stop->request();
    disconnect(m_worker.get(), nullptr, this, nullptr);
    while (!m_worker->wait(20)) QCoreApplication::processEvents();
}

void VelmoraDT::buildControls() {
    setObjectName("VelmoraDT");
    showTitle();
    setFixedSize(px(13725), px(8850));
    setAutoFillBackground(true);
    setColour(this, QPalette::Window, QColor(192, 192, 255));

    // The white rectangles first, so that everything else is drawn over them.
    buildShapes();
    buildDateFields();
    buildButtons();
    buildMonitors();
    buildLabels();

    auto* check = new QCheckBox("Chiudi giornate", this);
    check->setObjectName("Chk_0");
    check->setFont(corbelFont(12));
    check->setChecked(false);
    place(check, 3480, 240, 2895, 375);
    Chk[0] = check;

    setTabOrder(Text1[0], Text1[1]);
    setTabOrder(Text1[1], T[0]);
    setTabOrder(T[0], T[1]);
    setTabOrder(T[1], T[2]);
    setTabOrder(T[2], Text2[1]);
    setTabOrder(Text2[1], Text2[0]);
    setTabOrder(Text2[0], Chk[0]);
    Text1[0]->setFocus();
}

void VelmoraDT::buildShapes() {
    const int shapeTops[2] = {120, 840};
    for (int i = 0; i < 2; ++i) {
        auto* shape = new QFrame(this);
        shape->setObjectName(QString("Shape1_%1").arg(i));
        shape->setFrameShape(QFrame::NoFrame);
        shape->setAutoFillBackground(true);
        setColour(shape, QPalette::Window, Qt::white);
        shape->setFocusPolicy(Qt::NoFocus);
        place(shape, 1680, shapeTops[i], 1695, 615);
        Shape1[i] = shape;
    }
}

void VelmoraDT::buildDateFields() {
    const int fieldTops[2] = {240, 960};
    for (int i = 0; i < 2; ++i) {
        auto* field = new DateField(this);
        field->setObjectName(QString("Text1_%1").arg(i));
        field->setMaxLength(10);
        field->setFont(sansSerifFont(12, true));
        place(field, 1800, fieldTops[i], 1455, 375);
        field->onFocusIn = [this, i] { Text1_GotFocus(i); };
        field->onKeyPress = [this, i](int key) { Text1_KeyPress(i, key); };
        Text1[i] = field;
    }
}

void VelmoraDT::buildButtons() {
    const char* buttonTexts[3] = {"E&sporta", "&Esci", "&Verifica"};
    const int buttonLefts[3] = {11520, 11520, 9240};
    const int buttonTops[3] = {360, 1320, 360};
    for (int i = 0; i < 3; ++i) {
        auto* button = new QPushButton(buttonTexts[i], this);
        button->setObjectName(QString("T_%1").arg(i));
        button->setFont(corbelFont(14.25));
        // Enter on the focused button presses it.
        button->setAutoDefault(true);
        place(button, buttonLefts[i], buttonTops[i], 2055, 855);
        connect(button, &QPushButton::clicked, this, [this, i] { T_Click(i); });
        T[i] = button;
    }
}

void VelmoraDT::buildMonitors() {
    const int monitorTops[2] = {2520, 4560};
    const int monitorHeights[2] = {1935, 4215};
    for (int i = 0; i < 2; ++i) {
        auto* box = new MonitorView(m_monitor[i], this);
        box->setObjectName(QString("Text2_%1").arg(i));
        box->setFocusPolicy(Qt::StrongFocus);
        setColour(box, QPalette::Base, QColor(255, 255, 192));
        place(box, 120, monitorTops[i], 13455, monitorHeights[i]);
        Text2[i] = box;
    }
}

void VelmoraDT::buildLabels() {
    const char* labelTexts[3] = {"Dalla data", "Alla data", "Monitor messaggi"};
    const int labelRects[3][4] = {
        {120, 240, 1455, 375}, {120, 960, 1455, 375}, {240, 2040, 4215, 375}};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(labelTexts[i], this);
        label->setObjectName(QString("Label1_%1").arg(i));
        label->setFont(corbelFont(12));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        place(label, labelRects[i][0], labelRects[i][1], labelRects[i][2], labelRects[i][3]);
        Label1[i] = label;
    }

    Status = new QLabel(this);
    Status->setObjectName("Status");
    Status->setFont(corbelFont(11));
    Status->setWordWrap(true);
    Status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(Status, 3480, 1320, 7920, 615);
}

void VelmoraDT::Form_Load() {
    const QString today = toQ(dayText(m_clock.now()));
    Text1[0]->setText(today);
    Text1[1]->setText(today);
}

void VelmoraDT::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        QTimer::singleShot(0, this, [this] { Form_Activate(); });
    }
}

void VelmoraDT::Form_Activate() {
    std::string prompt;
    try {
        const SettingsOutcome outcome = loadSettings(m_files, m_state);
        if (outcome.loaded()) return;
        prompt = outcome.prompt;
    } catch (const std::exception& e) {
        prompt = std::string("Impossibile leggere il file ") + kSettingsFile + ": " + e.what();
    }
    m_refused = true;
    m_dialogs.MsgBox(prompt, kStyleExclamation, kSettingsTitle);
    close();
}

void VelmoraDT::closeEvent(QCloseEvent* event) {
    // A run is never left half done: closing stops it as "Interrompi" does,
    // and the window closes once it has logged out and told how it ended.
    if (running()) {
        event->ignore();
        if (!m_runOver && !askToStop()) return;
        if (running())
            m_closeAfterRun = true;
        else  // the run ended while the question was open
            QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    QWidget::closeEvent(event);
}

void VelmoraDT::Text1_GotFocus(int Index) {
    if (Index < 0 || Index > 1) return;
    Text1[Index]->setSelection(0, static_cast<int>(Text1[Index]->text().size()));
}

void VelmoraDT::Text1_KeyPress(int Index, int KeyAscii) {
    if (KeyAscii != 13 || Index < 0 || Index > 1) return;
    const QString typed = Text1[Index]->text();
    std::string text = NormalizeText(fromQ(typed));
    ExpandYear(text, m_clock.now().year);
    Text1[Index]->setText(toQ(text));

    const std::string shown = fromQ(Text1[Index]->text());
    if (IsValidDate(shown) != 1) {
        Text1[Index]->setText(QString());
        // The field is emptied; the status line keeps what was typed.
        Status->setText("Data non valida: \"" + typed + "\" (scriverla come GG/MM/AAAA).");
        return;
    }
    Status->clear();
    if (Index == 0) {
        Text1[1]->setFocus();
    } else if (CompareDates(fromQ(Text1[0]->text()), shown) == 1) {
        T[0]->setFocus();
    } else {
        Status->setText(kReversedRange);
        Text1[0]->setFocus();
    }
}

void VelmoraDT::T_Click(int Index) {
    if (Index == 1) {
        if (!running()) {
            close();
        } else if (!m_runOver) {
            askToStop();
        }
        return;
    }
    if (running() || (Index != 0 && Index != 2)) return;
    const RunRequest request{fromQ(Text1[0]->text()), fromQ(Text1[1]->text()),
                             Index == 0 && Chk[0]->isChecked()};
    if (Index == 2) {
        startWorker(false, [this, request](Bridge& bridge) { return runCheck(request, bridge); });
        return;
    }
    startWorker(true, [this, request](Bridge& bridge) {
        ExportRun run(m_state, m_files, bridge, bridge, m_factory);
        if (m_journal) {
            const JournalLocation where = *m_journal;
            Clock& clock = m_clock;
            run.useJournal(
                [where, &clock] { return ExportJournal::Open(where, clock, "la finestra"); },
                AlreadySent::Ask);
        }
        run.setStopRequest(m_stop);
        try {
            m_workerOutcome = run.run(request, bridge);
        } catch (...) {
            // The run catches its own failures; this keeps anything else off the thread's end.
            bridge.runEnded();
            m_workerOutcome = RunOutcome::Interrupted;
            bridge.MsgBox(std::string(kInterruptedLine) + "\r\nErrore imprevisto.",
                          kStyleExclamation, kRunTitle);
        }
        return m_workerOutcome != RunOutcome::Refused;
    });
}

void VelmoraDT::startWorker(bool isExport, std::function<bool(Bridge&)> work) {
    m_stop->reset();
    m_stopAsked = false;
    m_runOver = false;
    m_workerIsExport = isExport;
    m_workerOutcome.reset();
    m_showEndAfterRun = false;
    m_focusBeforeRun = QApplication::focusWidget();
    Status->clear();
    // The monitor boxes stay usable; "Esci" becomes "Interrompi".
    for (QWidget* w : std::initializer_list<QWidget*>{Text1[0], Text1[1], T[0], T[2], Chk[0]})
        w->setEnabled(false);
    T[1]->setText(kStopButton);
    Text2[1]->setFocus();
    m_worker.reset(QThread::create([this, work = std::move(work)] {
        try {
            m_showEndAfterRun = work(*m_bridge);
        } catch (...) {
            // Both works catch their failures; nothing may escape a thread.
        }
    }));
    connect(m_worker.get(), &QThread::finished, this, &VelmoraDT::workerFinished);
    m_worker->start();
}

void VelmoraDT::workerFinished() {
    m_worker->wait();
    m_worker.reset();
    if (m_workerIsExport) m_lastOutcome = m_workerOutcome;
    m_waitTimer->stop();
    for (QWidget* w : std::initializer_list<QWidget*>{Text1[0], Text1[1], T[0], T[2], Chk[0]})
        w->setEnabled(true);
    T[1]->setText("&Esci");
    T[1]->setEnabled(true);
    if (m_stopAsked) Status->clear();
    refreshMonitors();
    if (m_showEndAfterRun) Text2[1]->moveCaretToEnd();
    if (m_focusBeforeRun && m_focusBeforeRun->isEnabled()) m_focusBeforeRun->setFocus();
    emit runFinished();
    if (std::exchange(m_closeAfterRun, false)) close();
}

bool VelmoraDT::askToStop() {
    if (m_stopAsked) return true;
    if (m_workerIsExport && !m_dialogs.Question(kStopQuestion, kRunTitle)) return false;
    // The run may have ended while the question was open: nothing to stop.
    if (!running() || m_runOver) return true;
    m_stop->request();
    m_stopAsked = true;
    T[1]->setEnabled(false);
    m_waitTimer->stop();
    Status->setText(m_workerIsExport
                        ? QStringLiteral("Interruzione richiesta: chiusura della sessione in corso…")
                        : QStringLiteral("Interruzione richiesta…"));
    return true;
}

bool VelmoraDT::runCheck(const RunRequest& request, Bridge& bridge) {
    CheckRangeOptions options;
    options.forWindow = true;
    options.journal = m_journal;
    options.started = [&bridge] { bridge.runStarted(); };
    options.stop = m_stop;
    const CheckRange range =
        runCheckRange(request, m_state, m_files, m_clock, bridge, m_checkEngine, options);
    if (!range.notStarted.empty()) {
        bridge.MsgBox(std::string(kCheckNotStartedLine) + "\r\n" + range.notStarted,
                      kStyleExclamation, kRunTitle);
        return false;
    }

    const CheckReport& report = range.report;
    const ReportFile file = writeCheckReport(report);
    std::string text = checkHeading(report);
    const std::vector<std::string> lines = checkLines(report, false);
    if (lines.empty()) text += "\r\nNessun problema trovato.";
    for (const std::string& line : lines) text += "\r\n" + line;
    text += "\r\n" + file.line;
    bridge.append(kAnswersBox, text);
    bridge.runEnded();

    const bool serious =
        !report.counts().onlySkips() || !report.interruption.empty() || !file.written;
    std::string prompt =
        report.interruption.empty() ? std::string(kCheckDoneLine) : report.interruption;
    prompt += "\r\n" + checkCountsLine(report) + "\r\n" + file.line;
    bridge.MsgBox(prompt, serious ? kStyleExclamation : kStyleOk, kRunTitle);
    return true;
}

VelmoraDT::ReportFile VelmoraDT::writeCheckReport(const CheckReport& report) {
    try {
        const LocalTime now = m_clock.now();
        const std::string name = m_files.writeUnique("Velmora", "Verifica-" + stamp12(now), ".html",
                                                     checkReportPage(report, now, m_journal));
        return {"Rapporto: " + name, true};
    } catch (const RunError& e) {
        return {"Rapporto non scritto: " + e.fullText(), false};
    } catch (const std::exception& e) {
        return {std::string("Rapporto non scritto: Errore imprevisto: ") + e.what(), false};
    }
}

void VelmoraDT::append(int box, const std::string& text) {
    if (box != kSentBox && box != kAnswersBox) return;
    m_monitor[box] += "\r\n";
    m_monitor[box] += text;
    m_monitorPending[box] = true;
    // During a run the views catch up at most every 80 ms: a month's run
    // appends hundreds of times and each paint lays out what is visible.
    if (!running()) {
        refreshMonitors();
    } else if (!m_monitorTimer->isActive()) {
        m_monitorTimer->start();
    }
}

void VelmoraDT::refreshMonitors() {
    m_monitorTimer->stop();
    for (int box : {kSentBox, kAnswersBox})
        if (std::exchange(m_monitorPending[box], false)) Text2[box]->textAppended();
}

const std::string& VelmoraDT::monitorText(int box) const {
    return m_monitor[box == kSentBox ? 0 : 1];
}

void VelmoraDT::showTitle(const std::string& day) {
    QString title = kCaption;
    if (!m_folderName.isEmpty()) title += " - " + m_folderName;
    if (!day.empty()) title += " - " + toQ(day);
    setWindowTitle(title);
}

void VelmoraDT::invalidDateField(int index) {
    // The field takes the focus once the controls are unlocked.
    if (index == 0 || index == 1) m_focusBeforeRun = Text1[index];
}

void VelmoraDT::runStarted() {
    setCursor(Qt::BusyCursor);
}

void VelmoraDT::dayStarted(const std::string& day) {
    showTitle(day);
}

void VelmoraDT::exchangeStarted(const std::string& day, const std::string& what) {
    m_waitText = QStringLiteral("In attesa del servizio… (") +
                 (day.empty() ? toQ(what) : "giorno " + toQ(day) + ", " + toQ(what)) + ")";
    if (!m_stopAsked) m_waitTimer->start();
}

void VelmoraDT::exchangeEnded() {
    m_waitTimer->stop();
    if (Status->text() == m_waitText) Status->clear();
}

void VelmoraDT::runEnded() {
    m_runOver = true;
    refreshMonitors();
    m_waitTimer->stop();
    if (!m_stopAsked) Status->clear();
    showTitle();
    unsetCursor();
    T[1]->setText("&Esci");
}

}  // namespace velmora
