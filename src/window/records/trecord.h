#pragma once

#include <QWidget>
#include <array>
#include <string>

#include "core/store/time_scale.h"

class QAction;
class QMenu;
class QPushButton;
class QTableView;

namespace tev {

class ClickableLabel;
class RecordTableModel;
class Tsdf;
struct DateTime;

// The controls of the records window, named as the form names them (each widget's
// objectName is the same name).
struct TRecordControls {
    QPushButton* input_b = nullptr;
    ClickableLabel* wh_div = nullptr;
    ClickableLabel* kwh_mul = nullptr;
    QPushButton* output_b = nullptr;
    std::array<ClickableLabel*, kScaleCount> scales{};  // min_l … month_l
    QPushButton* update_b = nullptr;
    QTableView* sg = nullptr;
};

// The grid's pop-up menu: row editing entries that change nothing.
struct TRecordPopup {
    QMenu* PopupMenu = nullptr;
    QAction* N11 = nullptr;      // "Insert 插入"
    QAction* Monify1 = nullptr;  // "Monify 修改"
    QAction* N31 = nullptr;      // "Delete 刪除"
};

// The records manager `Record`: one time scale of the main window's store as a grid, newest
// row first, with CSV export, ten-minute CSV import and the energy unit scaling. It keeps no
// data of its own beyond the chosen scale and the grid of its last refresh.
class TRecord : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 1004;
    static constexpr int kClientHeight = 761;
    static constexpr int kInitialLeft = 382;
    static constexpr int kInitialTop = 199;

    explicit TRecord(Tsdf& sdf, QWidget* parent = nullptr);
    ~TRecord() override;

    // 0 until a scale label is clicked, then 1 = Min … 7 = Month.
    int recordScale() const { return recordScale_; }
    const TRecordControls& controls() const { return controls_; }
    const TRecordPopup& popup() const { return popup_; }
    RecordTableModel& model() const { return *model_; }

  public slots:
    void FormCreate();

    void min_lClick();
    void m5_lClick();
    void m10_lClick();
    void hour_lClick();
    void day_lClick();
    void week_lClick();
    void month_lClick();
    void update_bClick();

    void output_bClick();
    void input_bClick();

    void wh_divClick();
    void kwh_mulClick();
    void N11Click();
    void N31Click();

  private:
    void buildControls();
    void buildPopupMenu();
    void scaleLabelClick(TimeScale scale);
    void scaleEnergyBy(double factor, int toneHz);
    void beep(int frequencyHz, int durationMs);
    void refusalTones();
    void log(std::string line);
    std::string workingDirectory() const;

    Tsdf& sdf_;
    int recordScale_ = 0;
    TRecordControls controls_;
    TRecordPopup popup_;
    RecordTableModel* model_ = nullptr;
};

}  // namespace tev
