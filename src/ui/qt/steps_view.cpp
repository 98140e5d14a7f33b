#include "ui/qt/steps_view.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPixmap>
#include <QStyle>
#include <QVBoxLayout>
#include <iterator>

#include "run/window_content.h"

namespace kalu {

namespace {
constexpr int kColumns = static_cast<int>(std::size(kStepColumns));

// A transparent icon: waiting steps keep the row height of the others.
QIcon BlankIcon() {
  QPixmap blank(16, 16);
  blank.fill(Qt::transparent);
  return QIcon(blank);
}

QString Text(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

StepsView::StepsView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("StepsView"));
  heading_.setText(QString::fromUtf8(kStepsHeading));
  QFont bold = heading_.font();
  bold.setBold(true);
  heading_.setFont(bold);
  elapsed_.setObjectName(QStringLiteral("Elapsed"));
  elapsed_.setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  list_.setObjectName(QStringLiteral("StepsList"));
  list_.setColumnCount(kColumns);
  QStringList headers;
  for (const StepColumn& column : kStepColumns) headers << QString::fromUtf8(column.title);
  list_.setHeaderLabels(headers);
  list_.setRootIsDecorated(false);
  list_.setSelectionMode(QAbstractItemView::NoSelection);
  list_.setFocusPolicy(Qt::NoFocus);
  list_.header()->setStretchLastSection(false);
  for (int c = 0; c < kColumns; ++c) {
    int width = kStepColumns[c].width;
    list_.header()->setSectionResizeMode(c, width == 0 ? QHeaderView::Stretch : QHeaderView::Fixed);
    if (width > 0) list_.header()->resizeSection(c, width);
  }
  const Steps waiting;  // the steps of a run, none begun yet
  for (const Step& step : waiting.All()) {
    auto* item = new QTreeWidgetItem(&list_);  // the list owns its items
    item->setText(kTitleColumn, Text(RowTitle(step)));
    item->setText(kStateColumn, QString::fromUtf8(StateText(StepState::Waiting)));
    item->setIcon(kStateColumn, BlankIcon());
    for (int c = 0; c < kColumns; ++c) {
      if (kStepColumns[c].alignRight) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
  }
  // Every step stays in sight: the list is as tall as its rows, which are all of one height
  // (a waiting step has a blank icon where the others have theirs).
  list_.setUniformRowHeights(true);
  list_.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_.setFixedHeight(list_.header()->sizeHint().height() + kStepCount * list_.sizeHintForRow(0) +
                       2 * list_.frameWidth());

  caption_.setObjectName(QStringLiteral("StepCaption"));
  bar_.setObjectName(QStringLiteral("StepProgress"));
  bar_.setRange(0, 100);
  bar_.setValue(0);
  bar_.setFormat(QStringLiteral("%p %"));
  bar_.setTextVisible(false);
  error_.setObjectName(QStringLiteral("StepError"));
  error_.setWordWrap(true);
  error_.setStyleSheet(QStringLiteral("color: #b00020;"));
  error_.hide();
  summary_.setObjectName(QStringLiteral("RunSummary"));
  summary_.setReadOnly(true);
  summary_.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  summary_.setLineWrapMode(QPlainTextEdit::NoWrap);
  summary_.hide();

  auto* top = new QHBoxLayout;  // owned by the view's layout
  top->addWidget(&heading_);
  top->addWidget(&elapsed_, 1);
  auto* layout = new QVBoxLayout(this);  // owned by the view
  layout->addLayout(top);
  layout->addWidget(&list_);
  layout->addWidget(&caption_);
  layout->addWidget(&bar_);
  layout->addWidget(&error_);
  layout->addWidget(&summary_, 1);
  layout->addStretch(0);

  clock_.setInterval(1000);
  connect(&clock_, &QTimer::timeout, this, &StepsView::ShowElapsed);
  ShowElapsed();
}

void StepsView::ShowElapsed() {
  qint64 seconds = run_.isValid() ? run_.elapsed() / 1000 : 0;
  elapsed_.setText(Text(ElapsedText(seconds)));
  if (runningRow_ >= 0) {
    double now = runningSeconds_ + static_cast<double>(runningSince_.elapsed()) / 1000;
    list_.topLevelItem(runningRow_)->setText(kTimeColumn, Text(SecondsText(now)));
  }
}

void StepsView::Show(const std::vector<Step>& steps, int current) {
  if (!run_.isValid() && current >= 0) run_.start();
  bool running = false;
  runningRow_ = -1;
  for (size_t i = 0; i < steps.size() && i < static_cast<size_t>(list_.topLevelItemCount()); ++i) {
    const Step& step = steps[i];
    QTreeWidgetItem* item = list_.topLevelItem(static_cast<int>(i));
    item->setText(kStateColumn, QString::fromUtf8(StateText(step.state)));
    item->setText(kTimeColumn, Text(RowTime(step)));
    item->setText(kRowsColumn, Text(RowRows(step)));
    item->setToolTip(kStateColumn, Text(step.error));
    item->setText(kTitleColumn, Text(RowTitle(step)));
    QStyle::StandardPixmap icon = QStyle::SP_CustomBase;
    if (step.state == StepState::Running) icon = QStyle::SP_MediaPlay;
    if (step.state == StepState::Done) icon = QStyle::SP_DialogApplyButton;
    if (step.state == StepState::Failed) icon = QStyle::SP_MessageBoxCritical;
    item->setIcon(kStateColumn,
                  icon == QStyle::SP_CustomBase ? BlankIcon() : style()->standardIcon(icon));
    QFont font = item->font(kTitleColumn);
    font.setBold(step.state == StepState::Running);
    for (int c = 0; c < kColumns; ++c) item->setFont(c, font);
    if (step.state == StepState::Running) {
      running = true;
      runningRow_ = static_cast<int>(i);
      runningSeconds_ = step.seconds;
      runningSince_.start();
    }
  }

  if (current >= 0 && current < static_cast<int>(steps.size())) {
    const Step& step = steps[current];
    caption_.setText(Text(StepCaption(steps, current)));
    StepBar state = StepBarOf(step);
    if (state.busy) {
      bar_.setRange(0, 0);  // amount of work unknown: the bar only shows that it goes on
      bar_.setTextVisible(false);
    } else {
      bar_.setRange(0, 100);
      bar_.setValue(state.percent);
      bar_.setTextVisible(state.showPercent);
    }
    error_.setText(Text(FailureText(step)));
    error_.setVisible(step.state == StepState::Failed);
  }
  // The elapsed time goes on while a step runs and stands still between and after them.
  if (running && !clock_.isActive()) clock_.start();
  if (!running) clock_.stop();
  ShowElapsed();
}

void StepsView::ShowSummary(const std::vector<std::string>& lines) {
  QStringList text;
  for (const std::string& line : lines) text << Text(line);
  summary_.setPlainText(text.join(QLatin1Char('\n')));
  summary_.show();
  caption_.setText(QString::fromUtf8(kRunFinishedCaption));
  bar_.hide();
}

}  // namespace kalu
