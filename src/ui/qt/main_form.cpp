#include "ui/qt/main_form.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QDateTime>
#include <QMessageBox>
#include <QStyle>
#include <iterator>

namespace kalu {

void ShowInformation(QWidget* parent, const QString& text, int timeoutMs) {
  QMessageBox box(QMessageBox::Information, QString::fromUtf8(kMainCaption), text, QMessageBox::Ok,
                  parent);
  if (timeoutMs > 0) {
    QTimer::singleShot(timeoutMs, &box, [&box] { box.button(QMessageBox::Ok)->click(); });
  }
  box.exec();
}

MainForm::MainForm(std::function<void()> onClose, int messageTimeoutMs)
    : onClose_(std::move(onClose)),
      messageTimeoutMs_(messageTimeoutMs),
      toolBar_(addToolBar(QStringLiteral("Herramientas"))) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QString::fromUtf8(kMainCaption));
  resize(kWindowWidth, kWindowHeight);
  setMinimumSize(kMinimumWindowWidth, kMinimumWindowHeight);
  setCentralWidget(&stepsView_);

  // The image list of the tool bar: the buttons name their picture by its index.
  for (QStyle::StandardPixmap picture :
       {QStyle::SP_FileDialogDetailedView, QStyle::SP_FileIcon, QStyle::SP_BrowserReload,
        QStyle::SP_MessageBoxInformation}) {
    imageList_.push_back(style()->standardIcon(picture));
  }
  toolBar_->setObjectName(QStringLiteral("ZqToolBar"));
  toolBar_->setMovable(false);
  for (size_t i = 0; i < std::size(kToolBarButtons); ++i) AddButton(kToolBarButtons[i], i);

  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("ZqStatusBar"));
  bar->setSizeGripEnabled(false);
  for (size_t i = 0; i < panels_.size(); ++i) {
    QLabel& panel = panels_[i];
    panel.setObjectName(QStringLiteral("Panel%1").arg(i + 1));
    panel.setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel.setMinimumWidth(kClockPanelWidth);
    bar->addWidget(&panel, i + 1 == panels_.size() ? 1 : 0);
  }
  ShowClock();
  clock_.setInterval(1000);
  connect(&clock_, &QTimer::timeout, this, &MainForm::ShowClock);
  clock_.start();
  paintLater_.setSingleShot(true);
  paintLater_.setInterval(static_cast<int>(kPaintIntervalMs));
  connect(&paintLater_, &QTimer::timeout, this, &MainForm::ShowProgress);
  stepsLater_.setSingleShot(true);
  stepsLater_.setInterval(kStepsPaintIntervalMs);
  connect(&stepsLater_, &QTimer::timeout, this, &MainForm::PaintSteps);
}

// The client area is a member: it leaves the window before the window is destroyed.
MainForm::~MainForm() {
  takeCentralWidget();
}

void MainForm::AddButton(const ToolBarButton& button, size_t image) {
  if (button.separatorBefore) toolBar_->addSeparator();
  QString command = QString::fromUtf8(button.key);
  QString text = QString::fromUtf8(button.text);
  QAction* action = toolBar_->addAction(imageList_.at(image), text);
  action->setObjectName(command);
  action->setToolTip(text);
  connect(action, &QAction::triggered, this, [this, command] { Dispatch(command); });
}

void MainForm::ShowClock() {
  QDateTime now = QDateTime::currentDateTime();
  panels_[0].setText(now.toString(QStringLiteral("dd/MM/yyyy")));
  panels_[1].setText(now.toString(QStringLiteral("HH:mm")));
}

void MainForm::SetProgress(const QString& text) {
  pendingProgress_ = text;
  if (!lastPaint_.isValid() || lastPaint_.hasExpired(kPaintIntervalMs)) {
    ShowProgress();
  } else if (!paintLater_.isActive()) {
    paintLater_.start();
  }
}

void MainForm::ShowProgress() {
  paintLater_.stop();
  QLabel& progress = panels_[2];
  progress.setText(pendingProgress_);
  if (progress.isVisible()) progress.repaint();
  lastPaint_.start();
}

void MainForm::ShowSteps(const std::vector<Step>& steps, int current) {
  pendingSteps_ = steps;
  pendingCurrent_ = current;
  if (stepsPace_.Due(steps, current)) {
    PaintSteps();
  } else if (!stepsLater_.isActive()) {
    stepsLater_.start();
  }
}

void MainForm::PaintSteps() {
  stepsLater_.stop();
  stepsView_.Show(pendingSteps_, pendingCurrent_);
  if (stepsView_.isVisible()) stepsView_.repaint();
}

void MainForm::ShowSummary(const std::vector<std::string>& lines) {
  PaintSteps();
  stepsView_.ShowSummary(lines);
  if (stepsView_.isVisible()) stepsView_.repaint();
}

void MainForm::Dispatch(const QString& key) {
  if (IsFrameworkCommand(key.toStdString())) return;
  ShowInformation(this, QString::fromUtf8(kNotAvailable), messageTimeoutMs_);
}

void MainForm::closeEvent(QCloseEvent* event) {
  if (onClose_) onClose_();
  event->accept();
}

}  // namespace kalu
