// The window VelmoraDT on Qt Widgets. Positions and sizes are given in twips
// and drawn at 15 twips a pixel; fonts fall back to installed families of
// similar shape when the named ones are missing.
#include "VelmoraDT.h"

#include <memory>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QFont>
#include <QFontDatabase>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QTextCursor>
#include <QTimer>

#include "app/CheckCommand.h"
#include "check/CheckRange.h"
#include "check/CheckReport.h"
#include "app/DateEntry.h"
#include "app/Settings.h"
#include "app/StatusCommand.h"
#include "core/LocalTime.h"
#include "core/RunError.h"

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

bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::InputMethod:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::TabletMove:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
    }
}

}  // namespace

void DateField::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (onFocusIn) onFocusIn();
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

VelmoraDT::VelmoraDT(RunState& state, FileStore& files, Clock& clock, Dialogs& dialogs,
                     ExportStepsFactory factory, QWidget* parent)
    : QWidget(parent),
      m_state(state),
      m_files(files),
      m_clock(clock),
      m_dialogs(dialogs),
      m_factory(std::move(factory)) {
    buildControls();
    qApp->installEventFilter(this);
    Form_Load();
}

VelmoraDT::~VelmoraDT() {
    if (qApp) qApp->removeEventFilter(this);
}

void VelmoraDT::buildControls() {
    setObjectName("VelmoraDT");
    setWindowTitle(kCaption);
    setFixedSize(px(13725), px(8850));
    setAutoFillBackground(true);
    setColour(this, QPalette::Window, QColor(192, 192, 255));

    // The white rectangles first, so that everything else is drawn over them.
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

void VelmoraDT::Form_Load() {
    FillDaysInMonth(m_state);
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
        const SettingsOutcome outcome = LoadSettings(m_files, m_state);
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
    // A run cannot be left half done: closing waits for its end.
    if (m_running) {
        event->ignore();
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
    std::string text = NormalizeText(fromQ(Text1[Index]->text()));
    ExpandYear(text, m_clock.now().year);
    Text1[Index]->setText(toQ(text));

    const std::string shown = fromQ(Text1[Index]->text());
    if (IsValidDate(shown, m_state) != 1) {
        Text1[Index]->setText(QString());
        return;
    }
    if (Index == 0) {
        Text1[1]->setFocus();
    } else if (CompareDates(fromQ(Text1[0]->text()), shown) == 1) {
        T[0]->setFocus();
    } else {
        Text1[0]->setFocus();
    }
}

void VelmoraDT::T_Click(int Index) {
    if (m_running) return;
    if (Index == 1) {
        close();
        return;
    }
    if (Index == 2) {
        runCheck();
        return;
    }
    if (Index != 0) return;

    RunRequest request{fromQ(Text1[0]->text()), fromQ(Text1[1]->text()), Chk[0]->isChecked()};
    ExportRun run(m_state, m_files, m_dialogs, *this, m_factory);
    if (m_journal) {
        const JournalLocation where = *m_journal;
        Clock& clock = m_clock;
        run.useJournal([where, &clock] { return ExportJournal::Open(where, clock, "la finestra"); },
                       AlreadySent::Ask);
    }
    try {
        m_lastOutcome = run.run(request, *this);
    } catch (...) {
        // The run catches its own failures; this keeps anything else out of Qt.
        if (m_running) runEnded();
        m_lastOutcome = RunOutcome::Interrupted;
        m_dialogs.MsgBox(std::string(kInterruptedLine) + "\r\nErrore imprevisto.",
                         kStyleExclamation, kRunTitle);
    }
    if (m_lastOutcome != RunOutcome::Refused) {
        Text2[1]->moveCaretToEnd();
    }
}

void VelmoraDT::runCheck() {
    const RunRequest request{fromQ(Text1[0]->text()), fromQ(Text1[1]->text()), false};
    bool started = false;
    CheckRange range;
    try {
        range = RunCheckRange(request, m_state, m_files, m_clock, *this, m_checkEngine, m_journal,
                              true, [&] {
                                  started = true;
                                  runStarted();
                              });
        if (range.journalProblem) std::rethrow_exception(range.journalProblem);
    } catch (const RunError& e) {
        if (started)
            range.report.interruption = "Verifica interrotta: " + e.fullText();
        else
            range.notStarted = std::string("Errore imprevisto durante i controlli: ") + e.what();
    } catch (const std::exception& e) {
        if (started)
            range.report.interruption =
                std::string("Verifica interrotta: errore imprevisto: ") + e.what();
        else
            range.notStarted = std::string("Errore imprevisto durante i controlli: ") + e.what();
    }
    if (!range.notStarted.empty()) {
        m_dialogs.MsgBox(std::string(kCheckNotStartedLine) + "\r\n" + range.notStarted,
                         kStyleExclamation, kRunTitle);
        return;
    }

    CheckReport& report = range.report;
    std::string reportName;
    std::string reportProblem;
    if (report.firstDay.empty()) {
        report.firstDay = request.firstDay;
        report.lastDay = request.lastDay;
    }
    try {
        const LocalTime now = m_clock.now();
        reportName = m_files.writeUnique(
            "Velmora", "Verifica-" + stamp12(now), ".html",
            m_journal ? WithJournalSection(checkReportHtml(report, now), *m_journal,
                                           request.firstDay, request.lastDay)
                      : checkReportHtml(report, now));
    } catch (const RunError& e) {
        reportProblem = e.fullText();
    } catch (const std::exception& e) {
        reportProblem = std::string("Errore imprevisto: ") + e.what();
    }

    std::string text = checkHeading(report);
    const std::vector<std::string> lines = checkLines(report, false);
    if (lines.empty()) text += "\r\nNessun problema trovato.";
    for (const std::string& line : lines) text += "\r\n" + line;
    const std::string reportLine = reportProblem.empty() ? "Rapporto: " + reportName
                                                         : "Rapporto non scritto: " + reportProblem;
    text += "\r\n" + reportLine;
    try {
        append(kAnswersBox, text);
    } catch (...) {
        // The message box below still gives the counts.
    }
    runEnded();

    const bool serious =
        !report.counts().onlySkips() || !report.interruption.empty() || !reportProblem.empty();
    std::string prompt =
        report.interruption.empty() ? std::string(kCheckDoneLine) : report.interruption;
    prompt += "\r\n" + checkCountsLine(report) + "\r\n" + reportLine;
    m_dialogs.MsgBox(prompt, serious ? kStyleExclamation : kStyleOk, kRunTitle);

    Text2[1]->moveCaretToEnd();
}

namespace {

// When the window last processed its events (and so repainted) during a
// run. The appends, the transport's waits and the start of each day share
// it: whichever asks, the window repaints at most every 80 ms.
QElapsedTimer& sinceEvents() {
    static QElapsedTimer timer;
    return timer;
}

void processEventsNow() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sinceEvents().start();
}

void processEventsAtMostEvery80ms() {
    if (sinceEvents().isValid() && sinceEvents().elapsed() < 80) return;
    processEventsNow();
}

}  // namespace

std::function<void()> RepaintWhileWaiting() {
    return [] {
        if (QCoreApplication::instance()) processEventsAtMostEvery80ms();
    };
}

void VelmoraDT::append(int box, const std::string& text) {
    if (box != kSentBox && box != kAnswersBox) return;
    m_monitor[box] += "\r\n";
    m_monitor[box] += text;

    Text2[box]->textAppended();

    // Paint at most every 80 ms: a month's run appends hundreds of times and
    // each paint lays out what is visible. Input stays out (and is discarded
    // by the filter during a run).
    processEventsAtMostEvery80ms();
}

const std::string& VelmoraDT::monitorText(int box) const {
    return m_monitor[box == kSentBox ? 0 : 1];
}

bool VelmoraDT::eventFilter(QObject* watched, QEvent* event) {
    if (m_running && isUserInput(event->type())) return true;
    return QWidget::eventFilter(watched, event);
}

void VelmoraDT::invalidDateField(int index) {
    if (index == 0 || index == 1) Text1[index]->setFocus();
}

void VelmoraDT::runStarted() {
    m_running = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    processEventsNow();
}

void VelmoraDT::dayStarted(const std::string& day) {
    setWindowTitle(QString::fromUtf8(kCaption) + " - " + toQ(day));
    processEventsNow();
}

void VelmoraDT::runEnded() {
    // Input that arrived during the run is delivered now and dropped by the
    // filter, so that nothing typed or clicked meanwhile acts after the run.
    QCoreApplication::processEvents();
    m_running = false;
    setWindowTitle(kCaption);
    QApplication::restoreOverrideCursor();
}

}  // namespace velmora
