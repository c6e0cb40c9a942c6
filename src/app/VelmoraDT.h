// The window VelmoraDT: two date fields, "E&sporta", "&Esci" and "&Verifica",
// the "Chiudi giornate" check box and the two monitor boxes. Its handlers keep
// the names of the system's events; it is also the monitor the export run and
// its steps append to, and it discards all input while a run or a check goes.
#pragma once

#include <QLineEdit>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "app/ExportRun.h"
#include "app/ExportSteps.h"
#include "app/MonitorView.h"
#include "core/RunState.h"
#include "platform/Clock.h"
#include "jet/DBEngine.h"
#include "platform/Dialogs.h"
#include "platform/FileStore.h"
#include "platform/Monitor.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

namespace velmora {

// A date field: a line edit that hands its focus-in and key presses to the
// window's handlers (the key press before the field acts on the key).
class DateField : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    std::function<void()> onFocusIn;
    std::function<void(int keyAscii)> onKeyPress;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// What the HTTP transport calls while an exchange waits: lets the window
// repaint, at most every 80 ms (libcurl calls it many times a second).
std::function<void()> RepaintWhileWaiting();

class VelmoraDT : public QWidget, public Monitor, private RunView {
    Q_OBJECT

public:
    static constexpr const char* kCaption = "Invio dati Istat (Regione Sicilia)";

    VelmoraDT(RunState& state, FileStore& files, Clock& clock, Dialogs& dialogs,
              ExportStepsFactory factory, QWidget* parent = nullptr);
    ~VelmoraDT() override;

    // The controls, by array name and index.
    std::array<DateField*, 2> Text1{};
    std::array<QPushButton*, 3> T{};
    std::array<MonitorView*, 2> Text2{};
    std::array<QLabel*, 3> Label1{};
    std::array<QCheckBox*, 1> Chk{};
    std::array<QFrame*, 2> Shape1{};

    // Fills the month table and puts today's date into both date fields.
    void Form_Load();
    // Reads the settings; on refusal tells the operator and closes the window.
    void Form_Activate();
    // 0: the export run; 1: closes the window; 2: the check before sending;
    // anything else: nothing.
    void T_Click(int Index);

    // The engine the check before sending reads the databases with (the
    // export's, so that both share its table cache). Without it "&Verifica"
    // tells the operator that the check is not available.
    void setCheckEngine(std::function<DBEngine&()> engine) { m_checkEngine = std::move(engine); }
    // The send journal the export records in and the check compares with;
    // without one neither happens.
    void setJournal(JournalLocation journal) { m_journal = std::move(journal); }
    // Selects the whole text of the field.
    void Text1_GotFocus(int Index);
    // On Enter (13) tidies, expands and checks the field and moves the focus.
    void Text1_KeyPress(int Index, int KeyAscii);

    // Monitor: appends CR LF and the text to box 0 or 1, in place.
    void append(int box, const std::string& text) override;
    // The exact text of a monitor box.
    const std::string& monitorText(int box) const;

    // Whether the settings were refused at the first show.
    bool refused() const { return m_refused; }
    bool running() const { return m_running; }
    std::optional<RunOutcome> lastOutcome() const { return m_lastOutcome; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    // The check over the two date fields: the export's checks before the
    // login, the findings into Text2(1), the report into Velmora/, a message.
    void runCheck();
    void invalidDateField(int index) override;
    void runStarted() override;
    void dayStarted(const std::string& day) override;
    void runEnded() override;

    RunState& m_state;
    FileStore& m_files;
    Clock& m_clock;
    Dialogs& m_dialogs;
    ExportStepsFactory m_factory;
    std::function<DBEngine&()> m_checkEngine;
    std::optional<JournalLocation> m_journal;

    std::string m_monitor[2];
    bool m_activated = false;
    bool m_refused = false;
    bool m_running = false;
    std::optional<RunOutcome> m_lastOutcome;
};

}  // namespace velmora
