#pragma once

#include <QMainWindow>
#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/chart/chart_channel.h"
#include "core/chart/navigation.h"
#include "core/chart/selection.h"
#include "core/chart/window_painter.h"
#include "core/meterlink/clock_tick.h"
#include "core/meterlink/meter_link.h"
#include "core/meterlink/meter_observer.h"
#include "core/store/measurement_store.h"
#include "core/texts/event_log.h"
#include "core/texts/maintenance_texts.h"
#include "meterport/meter_server.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/line_output.h"
#include "platform/pause.h"
#include "platform/tone_sink.h"

class QAction;
class QCloseEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPainter;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTimer;
class QToolButton;

namespace tev {

class ClientArea;
class ClickableLabel;
class EventLogMemo;

// The seams the main window talks to (the outside world: clock, tones, dialogs, sockets, files);
// tests hand in fakes.
struct WindowSeams {
    WindowSeams() = default;
    WindowSeams(Clock* c, ToneSink* t, Pause* p) : clock(c), tones(t), pause(p) {}

    Clock* clock = nullptr;
    ToneSink* tones = nullptr;
    Pause* pause = nullptr;
    FileChooser* files = nullptr;
    MessageBoxes* messages = nullptr;
    Clipboard* clipboard = nullptr;
    UrlOpener* urls = nullptr;
    // Where the meter sockets listen; tests listen on 127.0.0.1, port 0.
    MeterServerSettings sockets{};
    // Where the day files go; empty means the process's current directory.
    std::string workingDirectory;
    // Every event-log line is also written here (standard output), so that an unattended
    // program can be followed from a terminal or a service journal; optional.
    LineOutput* standardOutput = nullptr;
    // Told of every handled meter message and of forgotten meters (the services beside the
    // window, through a MeterObserverList); optional.
    MeterObserver* meterObserver = nullptr;
    // The meters allowed to register; empty: every meter.
    std::vector<std::string> allowedMeters;
};

// The secondary windows, created hidden after the main window in this order; the commands
// that open them show them, and closing one only hides it.
struct SecondaryWindows {
    QWidget* About = nullptr;
    QWidget* About2 = nullptr;
    QWidget* menu = nullptr;
    QWidget* Record = nullptr;
};

// The controls of the form, named as the form names them (each widget's objectName is the
// same name).
struct SdfControls {
    QLabel* ip_l = nullptr;         // "IP " and the computer's address
    QPushButton* copy_b = nullptr;  // copies the computer's address to the clipboard
    QLabel* Connect_l = nullptr;    // the link state: connected meter's IP, or "no connect"
    QLabel* id_l = nullptr;         // the connected meter's ID
    QPushButton* Syn_CH = nullptr;  // SYNC: couples the two chart channels' spans and cursors
    QLabel* Date_lb = nullptr;      // today's date, refreshed by the one-second tick
    QLabel* Time_lb = nullptr;      // the time of day, refreshed by the one-second tick
    std::array<ClickableLabel*, kScaleCount> ch1Scales{};  // L10 … L16, Min … Month
    std::array<ClickableLabel*, kScaleCount> ch2Scales{};  // L20 … L26
    QLabel* Label1 = nullptr;          // the event log's caption, "TEV System LOG  工作記錄"
    EventLogMemo* m1 = nullptr;        // the event log
    QStatusBar* StatusBar1 = nullptr;  // the status bar under the form

    // Never shown; their click handlers run as commands of other handlers.
    QPushButton* LoadRecords_b = nullptr;  // loads the records file at start-up
    QPushButton* SaveRecord_b = nullptr;   // saves the records file (hourly and at the end)
    QPushButton* saf_b = nullptr;          // exports the meter registry
    QPushButton* Save_b = nullptr;         // "SAVE": no handler, kept with the form
    QPushButton* Load_b = nullptr;         // "LOAD": no handler, kept with the form
    QPushButton* M10_Save = nullptr;       // appends the connected meter's day file line
    QPushButton* ResetAll_b = nullptr;     // clears the store's tables and readings
    QPushButton* b_set = nullptr;          // takes the lifetime total typed into e1
    QPushButton* b_clr = nullptr;          // sets the lifetime total to 0
    QLineEdit* e1 = nullptr;               // the TSet editor of the lifetime total (kWh)
    QLineEdit* e2 = nullptr;               // a date for the weekday tester SpeedButton1
    QToolButton* SpeedButton1 = nullptr;   // tells the weekday of the date in e2
    QPlainTextEdit* m2 = nullptr;          // an unused memo, kept with the form

    ClickableLabel* scaleLabel(int channel, TimeScale scale) const {
        return (channel == 2 ? ch2Scales : ch1Scales)[scaleIndex(scale)];
    }
};

// The items of the main menu MainMenu1 that other handlers change (check marks, captions).
struct SdfMenu {
    QMenu* wifi_b = nullptr;
    QAction* link_b = nullptr;
    QAction* ReadFile1 = nullptr;
    QAction* ReadFile2 = nullptr;
    QMenu* files_b = nullptr;
    QAction* LoadData = nullptr;
    QAction* SaveData = nullptr;
    QAction* OutputData = nullptr;
    QMenu* Setting = nullptr;
    QAction* SaveEnvior = nullptr;
    QAction* LoadEnvior = nullptr;
    QAction* N220V = nullptr;
    QAction* N380V = nullptr;
    QAction* TSet = nullptr;
    QAction* ResetAll = nullptr;
    QMenu* Lang = nullptr;
    QAction* English = nullptr;
    QAction* Taiwan = nullptr;
    QAction* Nippon = nullptr;
    QAction* bilingual = nullptr;
    QMenu* Help = nullptr;
    QAction* Manual_b = nullptr;
    QAction* About_b = nullptr;
};

// The main window `sdf`: owner of the store, the view state, the event log and all live state.
class Tsdf : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 984;
    static constexpr int kClientHeight = 796;
    static constexpr int kInitialLeft = 249;
    static constexpr int kInitialTop = 192;
    static constexpr int kTimerIntervalMs = 1000;

    explicit Tsdf(WindowSeams seams, QWidget* parent = nullptr);
    ~Tsdf() override;

    MeasurementStore& store() { return store_; }
    EventLog& eventLog() { return log_; }
    ViewState& view() { return view_; }
    QWidget* clientArea() const;
    const SdfControls& controls() const { return controls_; }
    const SdfMenu& mainMenu() const { return menu_; }
    QMenu* popupMenu() const { return popup_; }
    QTimer* timer() const { return timer1_; }
    const WindowSeams& seams() const { return seams_; }

    const SecondaryWindows& secondaryWindows() const { return windows_; }
    void setSecondaryWindows(const SecondaryWindows& windows) { windows_ = windows; }

    LanguageMode languageMode() const { return languageMode_; }
    void setLanguageMode(LanguageMode mode) { languageMode_ = mode; }
    // The link flag: 1 = meter link on (link_b checked), 0 = off.
    int linkFlag() const { return linkFlag_; }
    void setLinkFlag(int flag);
    int meterCount() const { return store_.registry.MeterCount; }
    MeterLink& meterLink() { return *meterLink_; }
    MeterServer& meterServer() { return *server_; }
    // The computer's IP text, as shown in ip_l after "IP ".
    const std::string& computerIp() const { return computerIp_; }

    // Asks for a paint of the whole client area; requests made before it runs fold into one.
    void requestRepaint();
    // Paints done and repaints asked for so far (for tests of the repaint discipline).
    int paintCount() const { return paintCount_; }
    int repaintRequestCount() const { return repaintRequestCount_; }
    void resetRepaintCounts() { paintCount_ = repaintRequestCount_ = 0; }
    // Paints that drew only the press position text (for tests).
    int clickPositionPaintCount() const { return clickPositionPaintCount_; }

    // Recolours a channel's seven time-scale labels after its timeScale changed elsewhere.
    void showScaleLabels(int channel);

    // The folder of the records, settings and day files.
    const std::string& workingDirectory() const { return workingDirectory_; }
    std::string recordsPath() const;
    std::string settingsPath() const;

    // The creation handler: clock snapshot, settings and records files, captions, start-up
    // line, window placement. Runs once, from the constructor.
    void FormCreate();
    // The close handler: settings saved, a second's wait, records saved, a second's wait. Runs
    // once, however the program is ended (window closed, a termination signal, logout).
    void FormClose();
    bool hasShutDown() const { return shutDown_; }
    // The desktop session's save request (a logout that may yet be cancelled, or a save of the
    // session's state): both files saved as the hourly save saves them, and recording goes on.
    // Only the real end of the program runs the close handler.
    void commitData();
    // Saves both files without tone or log line (a log line only when a save fails); the
    // one-second tick runs it at every whole hour.
    void autosave();

  public slots:
    // Mouse press on the client area (client coordinates).
    void FormMouseDown(Qt::MouseButton button, bool doubleClick, int x, int y);
    // One wheel notch away from the user, or toward the user.
    void FormMouseWheelUp();
    void FormMouseWheelDown();
    // A key for the chart navigation, by its virtual key code (37, 39, 107, 109; others are
    // ignored).
    void FormKeyDown(int virtualKey);

    // Quantity pop-up: the sixteen items None_b … K3_b.
    void quantityItemClick(const QuantityItem& item);
    // Time-scale labels L10 … L16 (channel 1) and L20 … L26 (channel 2).
    void timeScaleLabelClick(int channel, TimeScale scale);
    void Syn_CHClick();

    void Timer1Timer();

    // Menu commands.
    void link_bClick();
    void LoadDataClick();
    void SaveDataClick();
    void OutputDataClick();
    void SaveEnviorClick();
    void LoadEnviorClick();
    void TSetClick();
    void ResetAllClick();
    void EnglishClick();
    void TaiwanClick();
    void bilingualClick();
    void Manual_bClick();
    void About_bClick();

    // Buttons, visible and hidden.
    void copy_bClick();
    void LoadRecords_bClick();
    void SaveRecord_bClick();
    void saf_bClick();
    void M10_SaveClick();
    void ResetAll_bClick();
    void b_setClick();
    void b_clrClick();
    void SpeedButton1Click();
    // Enter (13) and Esc (27) in the TSet editor e1.
    void e1KeyDown(int virtualKey);
    // The voltage corrections exist only as disabled menu items.
    void N220VClick();
    void N380VClick();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // How a save reports itself: menu commands log, beep and show failures in a message box;
    // the shutdown logs and beeps; the hourly save is silent unless it fails.
    enum class SaveReport { Menu, Shutdown, Silent };
    bool saveSettingsFile(SaveReport report);
    void keepSettingsAside(const std::string& problem, bool unreadable);
    bool saveRecordsFile(SaveReport report);
    void applySettingsCaptions();
    void runLanguageCommand();
    void placeWindow(int left, int top);
    void reportFailure(const std::string& logLine, const std::string& message);
    std::string stamp() const;
    void buildControls();
    void buildMainMenu();
    void buildPopupMenu();
    void connectNavigation();
    void applyLanguage(LanguageMode mode);
    void connectMaintenance();
    bool totalEditorOpen() const;
    void showTotalEditor(bool open);
    void takeTotal(const TotalEntry& entry);
    void setCaption(std::string_view name, std::string_view text);
    void apply(const NavigationOutcome& outcome);
    void FormPaint(QPainter& painter);
    void applyConnectionLabels(const ConnectionLabels& labels);
    void apply(const SelectionOutcome& outcome);
    void beep(const ToneRequest& tone);
    void beep(int frequencyHz, int durationMs);
    void showDisconnected();
    void startUpClock();
    void startMeterSockets();

    WindowSeams seams_;
    MeasurementStore store_;
    EventLog log_;
    ViewState view_;
    LanguageMode languageMode_ = LanguageMode::Bilingual;
    int linkFlag_ = 1;
    std::string computerIp_;
    std::unique_ptr<MeterLink> meterLink_;
    std::unique_ptr<ClockTick> clockTick_;
    MeterServer* server_ = nullptr;
    int paintCount_ = 0;
    int repaintRequestCount_ = 0;
    int clickPositionPaintCount_ = 0;

    ClientArea* client_ = nullptr;
    SdfControls controls_;
    SdfMenu menu_;
    QMenu* popup_ = nullptr;
    QTimer* timer1_ = nullptr;
    SecondaryWindows windows_;
    std::string workingDirectory_;
    bool shutDown_ = false;
    // Set when an unreadable settings file could not be kept aside: saving over it would lose
    // the accounts it holds, so settings saves fail with this reason for the rest of the run.
    std::string settingsKeptBack_;
    std::string recordsKeptBack_;
    // A short settings file is copied aside once a run, however often it is loaded.
    bool shortSettingsKept_ = false;
    std::int64_t lastAutosaveHour_ = -1;
};

}  // namespace tev
