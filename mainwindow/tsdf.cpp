#include "mainwindow/tsdf.h"

#include <QLayout>
#include <QPalette>

namespace tev {

Tsdf::Tsdf(Platform platform, QWidget* parent) : QMainWindow(parent), platform_(platform) {
    setObjectName("sdf");
    client_ = new QWidget(this);
    client_->setObjectName("sdfClient");
    client_->setFixedSize(kClientWidth, kClientHeight);
    client_->setAutoFillBackground(true);
    QPalette pal = client_->palette();
    pal.setColor(QPalette::Window, QColor(46, 46, 46));
    client_->setPalette(pal);
    setCentralWidget(client_);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    move(249, 192);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tev
