#include "window/info/operation_manual.h"

#include <QTextBrowser>
#include <QUrl>

#include "window/mainwindow/widget_style.h"

namespace tev {

namespace {

const QRect kRichEditGeometry{8, 120, 769, 625};
constexpr int kRichEditFontHeight = 11;

// The product description: a heading and a paragraph each.
constexpr const char* kDescription[][2] = {
    {"產品簡介",
     "HOQ-260 / TEV-3P 工業三相電力監測器，是一套適用於 AC 220–380 V 三相電源的電力監測與記錄系統。"
     "電錶以三只比流器（CT）夾具量測各相電流，並透過內建的 WiFi 模組，把量測資料即時傳送到電腦。"},
    {"WiFi 遠端監控",
     "電錶連上區域網路後，會主動連線到執行 TEV-3P 軟體的電腦（TCP 埠 9317）。"
     "使用者不必到配電盤前抄表，在辦公室就能隨時掌握廠區與設備的用電狀況。"},
    {"TEV-3P 電腦軟體",
     "TEV-3P 電腦版接收電錶送來的資料，計算各項電力數值，"
     "並以圖表、即時讀值面板與工作記錄三種方式呈現，所有操作都會以提示音回應。"},
    {"雙通道圖表",
     "主畫面上下各有一個圖表通道（CH1 與 CH2），可分別選擇不同的量測項目與時間刻度，"
     "例如上方觀察總功率、下方觀察單相電流，方便對照比較；按下「CH同步」可讓兩個通道一起移動。"},
    {"十五項量測數值",
     "三相電壓 V1、V2、V3；總電流與各相電流 A1、A2、A3；總功率與各相功率 W1、W2、W3；"
     "總電量與各相電量 K1、K2、K3。每一項都可以在圖表中單獨顯示。"},
    {"功率與電量",
     "功率由各相電壓與電流計算而得；電量則由功率逐秒累積，"
     "並分別統計今日、本週、本月以及累計的總用電量，顯示在讀值面板上。"},
    {"七種時間刻度",
     "一分鐘、五分鐘、十分鐘、小時、日、週、月。"
     "細的刻度適合觀察設備啟動與負載的瞬間變化，粗的刻度適合分析每日、每月的用電趨勢。"},
    {"長期記錄",
     "每一種時間刻度都有自己的資料表，月記錄最長可保存約十年。"
     "資料存放在記錄檔中，關閉程式時自動儲存，下次開啟時自動載入，也可以隨時另存備份。"},
    {"游標與讀值",
     "在圖表上點選即可放置讀值游標，顯示該時間點的日期、時間與數值；"
     "使用滑鼠滾輪與鍵盤方向鍵可以縮放顯示範圍、移動游標。"},
    {"記錄管理與匯出入",
     "記錄管理視窗以表格列出任一時間刻度的全部資料，可匯出為 CSV 檔，"
     "供 Excel 等試算表軟體分析；也可匯入 HOQ 電錶的十分鐘 CSV 檔，重建歷史用電資料。"},
    {"多台電錶",
     "系統最多可登錄 200 台電錶，並為每一台電錶每天寫入一份十分鐘電量檔；"
     "圖表與讀值面板顯示第一台回報的電錶資料。"},
    {"連線警示",
     "超過 100 秒沒有收到電錶的訊號時，程式會發出警告音；到 105 秒仍未恢復，"
     "即判定離線並發出警報，待電錶重新回報後自動恢復記錄。"},
    {"使用須知",
     "本軟體必須搭配 HOQ-260 電力監測器才能顯示即時資料；"
     "未連接電錶時，只能瀏覽與管理已儲存的歷史記錄。"},
};

}  // namespace

QString Tmenu::productDescription() {
    QString html = QStringLiteral("<html><body>");
    for (const auto& [heading, paragraph] : kDescription) {
        html += QStringLiteral("<p><b>") + QString::fromUtf8(heading) + QStringLiteral("</b><br>") +
                QString::fromUtf8(paragraph) + QStringLiteral("</p>");
    }
    return html + QStringLiteral("</body></html>");
}

Tmenu::Tmenu() : QWidget(nullptr) {
    setObjectName("menu");
    setWindowTitle(QStringLiteral("Operation Manual"));
    // Closing the main window ends the program even while this window is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    move(kInitialLeft, kInitialTop);
    resize(kWidth, kHeight);

    RichEdit1_ = new QTextBrowser(this);
    RichEdit1_->setObjectName("RichEdit1");
    RichEdit1_->setGeometry(kRichEditGeometry);
    RichEdit1_->setFont(pixelFont("MS Sans Serif", kRichEditFontHeight));
    RichEdit1_->setHtml(productDescription());
}

void Tmenu::showManual(const std::string& path) {
    if (path.empty()) {
        RichEdit1_->setHtml(productDescription());
    } else {
        // As a source, the manual's pictures are found beside it.
        RichEdit1_->setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
    }
    if (isVisible() && isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

}  // namespace tev
