// The window VelmoraDT: two date fields, "E&sporta", "&Esci" and "&Verifica",
// the "Chiudi giornate" check box, a status line and the two monitor boxes.
// Its handlers keep the names of the system's events. An export run or a
// check goes on a thread of its own; what it appends, asks and tells comes to
// the window's thread as queued calls, so the window keeps painting and
// "Esci", which reads "Interrompi" meanwhile, can stop it.
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QWidget>
#include <array>
#include <atomic>
#include <memory>
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
#include "platform/StopRequest.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QThread;
class QTimer;

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
    // A click that gives the field the focus selects its whole text too (the
    // press would otherwise put the caret where it landed, and in a full
    // field typing would go nowhere).
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_focusedByClick = false;
};

class VelmoraDT : public QWidget, public Monitor, private RunView {
    Q_OBJECT

public:
    static constexpr const char* kCaption = "Invio dati Istat (Regione Sicilia)";
    // "Esci" reads so while a run or a check goes.
    static constexpr const char* kStopButton = "&Interrompi";
    static constexpr const char* kStopQuestion =
        "Interrompere l'invio? Lo scambio in corso con il servizio viene abbandonato, nessun "
        "altro documento viene inviato, la giornata in corso non viene chiusa e la sessione "
        "viene chiusa.";

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
    // The status line: a date field's refusal, the wait for the service.
    QLabel* Status = nullptr;

    // Fills the month table and puts today's date into both date fields.
    void Form_Load();
    // Reads the settings; on refusal tells the operator and closes the window.
    void Form_Activate();
    // 0: starts the export run; 1: closes the window, or during a run asks
    // whether to stop it; 2: starts the check before sending; anything else:
    // nothing. The run and the check go on a thread of their own and end with
    // runFinished.
    void T_Click(int Index);

    // The engine the check before sending reads the databases with (the
    // export's, so that both share its table cache). Without it "&Verifica"
    // tells the operator that the check is not available.
    void setCheckEngine(std::function<DBEngine&()> engine) { m_checkEngine = std::move(engine); }
    // The stop request that "Interrompi" sets: the one the HTTP transport
    // watches, so that the exchange under way is abandoned. Without it the
    // window uses its own, which the run sees between its steps only.
    void setStopRequest(StopRequest* stop) { m_stop = stop ? stop : &m_ownStop; }
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
    // Whether a run or a check is under way (from the click to its thread's end).
    bool running() const { return m_worker != nullptr; }
    std::optional<RunOutcome> lastOutcome() const { return m_lastOutcome; }

signals:
    // The run or the check ended and the window takes input again.
    void runFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class Bridge;

    void buildControls();
    // Starts work on a thread of its own, with the window's controls locked
    // but "Interrompi" and the monitor boxes.
    // work returns whether the answers box shows its end afterwards.
    void startWorker(bool isExport, std::function<bool(Bridge&)> work);
    void workerFinished();
    // "Interrompi", or the window closed, during a run: asks first (an export
    // only), then asks the run to stop. False when the operator said No.
    bool askToStop();
    // The check over the two date fields: the export's checks before the
    // login, the findings into Text2(1), the report into Velmora/, a message.
    // Runs on the worker's thread, talking to the window through the bridge.
    // False when the check did not start.
    bool runCheck(const RunRequest& request, Bridge& bridge);
    // The title: the caption, the hotel folder's name and, during a run, the day.
    void showTitle(const std::string& day = {});
    // Makes the monitor views show what was appended (at most every 80 ms
    // during a run).
    void refreshMonitors();
    void invalidDateField(int index) override;
    void runStarted() override;
    void dayStarted(const std::string& day) override;
    void exchangeStarted(const std::string& day, const std::string& what) override;
    void exchangeEnded() override;
    void runEnded() override;

    RunState& m_state;
    FileStore& m_files;
    Clock& m_clock;
    Dialogs& m_dialogs;
    ExportStepsFactory m_factory;
    std::function<DBEngine&()> m_checkEngine;
    StopRequest m_ownStop;
    StopRequest* m_stop = &m_ownStop;
    std::optional<JournalLocation> m_journal;

    std::string m_monitor[2];
    bool m_monitorPending[2] = {false, false};
    QTimer* m_monitorTimer = nullptr;
    // Shows the wait for the service once it lasts a second.
    QTimer* m_waitTimer = nullptr;
    QString m_waitText;
    QString m_folderName;
    bool m_activated = false;
    bool m_refused = false;

    std::unique_ptr<Bridge> m_bridge;
    std::unique_ptr<QThread> m_worker;
    bool m_workerIsExport = false;
    // Written by the worker, read once it has ended.
    std::optional<RunOutcome> m_workerOutcome;
    bool m_showEndAfterRun = false;
    bool m_stopAsked = false;
    // The run has told its end (its last message box may still be open).
    bool m_runOver = false;
    bool m_closeAfterRun = false;
    // Set while the window goes away: the worker's dialogs are not shown.
    std::atomic<bool> m_closing{false};
    QPointer<QWidget> m_focusBeforeRun;
    std::optional<RunOutcome> m_lastOutcome;
};

}  // namespace velmora
