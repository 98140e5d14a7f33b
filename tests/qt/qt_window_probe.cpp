// The window tests' probe of the Qt window, under QT_QPA_PLATFORM=offscreen; it saves its
// pictures under the build folder.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "support/test_support.h"
#include "ui/qt/main_form.h"
#include "ui/qt/qt_display.h"
#include "window/window_probe.h"

namespace kalu::test {
namespace {

std::string Utf8(const QString& text) {
  return text.toStdString();
}

QString PicturePath(const std::string& name) {
  std::filesystem::path folder = BinaryDir() / "qt-pictures";
  std::filesystem::create_directories(folder);
  return QString::fromStdString((folder / name).string());
}

// Looks for a message box at each turn of the window's event loop (the box runs its own).
class QtMessageWatch : public MessageWatch {
 public:
  QtMessageWatch(bool pressOk, std::string picture) : pressOk_(pressOk), picture_(picture) {
    QObject::connect(&poll_, &QTimer::timeout, [this] { Look(); });
    poll_.start(20);
  }
  std::vector<SeenMessage> Seen() override {
    poll_.stop();
    return seen_;
  }

 private:
  void Look() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || box == lastBox_) return;
    lastBox_ = box;
    SeenMessage message{
        Utf8(box->windowTitle()), Utf8(box->text()), box->icon() == QMessageBox::Information, {}};
    for (QAbstractButton* button : box->buttons()) {
      message.buttons.push_back(
          box->standardButton(button) == QMessageBox::Ok ? "OK" : Utf8(button->text()));
    }
    if (!picture_.empty()) {
      QGuiApplication::primaryScreen()->grabWindow(0).save(PicturePath(picture_ + "-screen.png"));
      const QString path = PicturePath(picture_ + ".png");
      EXPECT_TRUE(box->grab().save(path));
      EXPECT_FALSE(QPixmap(path).isNull());
    }
    seen_.push_back(message);
    if (pressOk_) box->button(QMessageBox::Ok)->click();
  }

  bool pressOk_;
  std::string picture_;
  QTimer poll_;
  QMessageBox* lastBox_ = nullptr;
  std::vector<SeenMessage> seen_;
};

// Counts the paints of a widget.
class PaintTally : public QObject, public Tally {
 public:
  explicit PaintTally(QWidget& widget) { widget.installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count_;
    return false;
  }
  int Count() override { return count_; }

 private:
  int count_ = 0;
};

// A timer of the window's thread that ticks every tenth of a second: a tick a second or
// more after the one before is an answer come late.
class TickTally : public Tally {
 public:
  TickTally() {
    since_.start();
    QObject::connect(&tick_, &QTimer::timeout, [this] {
      if (since_.restart() >= 1000) ++late_;
      ++ticks_;
    });
    tick_.start(100);
  }
  int Count() override { return ticks_; }
  int Late() override { return late_; }

 private:
  QElapsedTimer since_;
  QTimer tick_;
  int ticks_ = 0;
  int late_ = 0;
};

class QtWindowProbe : public WindowProbe {
 public:
  explicit QtWindowProbe(std::function<void()> onClose)
      : display_(CreateQtDisplay(argc_, argv_, std::move(onClose))) {
    if (!display_) throw std::runtime_error("no Qt display");
  }

  Display& Screen() override { return *display_; }
  bool Visible() override { return Form().isVisible(); }
  std::string Caption() override { return Utf8(Form().windowTitle()); }
  std::vector<bool> ToolBarImages() override {
    std::vector<bool> images;
    for (QAction* action : Form().findChild<QToolBar*>()->actions()) {
      if (!action->isSeparator()) images.push_back(!action->icon().isNull());
    }
    return images;
  }
  int PanelCount() override {
    auto* bar = Form().findChild<QStatusBar*>(QStringLiteral("ZqStatusBar"));
    return static_cast<int>(bar->findChildren<QLabel*>(QRegularExpression("^Panel\\d$")).size());
  }
  std::string Panel(int number) override { return Utf8(PanelLabel(number).text()); }
  std::pair<int, int> ShrunkSize() override {
    MainForm& form = Form();
    const QSize before = form.size();
    form.resize(200, 150);
    const QSize shrunk = form.size();
    form.resize(before);
    return {shrunk.width(), shrunk.height()};
  }
  std::unique_ptr<Tally> CountProgressPaints() override {
    return std::make_unique<PaintTally>(PanelLabel(3));
  }
  void PumpFor(int ms) override {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!elapsed.hasExpired(ms)) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  void Picture(const std::string& name) override {
    QPixmap shot = Form().grab();
    EXPECT_EQ(shot.size(), Form().size());
    EXPECT_TRUE(shot.save(PicturePath(name)));
  }

  std::unique_ptr<MessageWatch> WatchMessages(bool pressOk, const std::string& picture) override {
    return std::make_unique<QtMessageWatch>(pressOk, picture);
  }
  bool MessageUp() override { return QApplication::activeModalWidget() != nullptr; }
  void ClickToolButton(std::string_view key) override {
    QAction* button = Form().findChild<QToolBar*>()->findChild<QAction*>(
        QString::fromUtf8(key.data(), key.size()));
    ASSERT_NE(button, nullptr) << key;
    button->trigger();
  }
  void Dispatch(std::string_view key) override {
    Form().Dispatch(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())));
  }
  Pointer PointerShown() override {
    const QCursor* cursor = QApplication::overrideCursor();
    if (!cursor) return Pointer::Ordinary;
    return cursor->shape() == Qt::WaitCursor ? Pointer::Wait : Pointer::Mixed;
  }
  void Close() override { QTimer::singleShot(0, &Form(), &QWidget::close); }
  std::unique_ptr<Tally> ProbeAnswers() override { return std::make_unique<TickTally>(); }

  int StepRows() override { return List().topLevelItemCount(); }
  std::string Cell(int row, int column) override {
    return Utf8(List().topLevelItem(row)->text(column));
  }
  std::optional<std::string> StateTip(int row) override {
    return Utf8(List().topLevelItem(row)->toolTip(1));
  }
  std::string StepCaption() override { return Utf8(Child<QLabel>("StepCaption").text()); }
  int ProgressValue() override { return Bar().value(); }
  std::string ProgressText() override { return Utf8(Bar().text()); }
  bool ProgressVisible() override { return Bar().isVisible(); }
  std::string Elapsed() override { return Utf8(Child<QLabel>("Elapsed").text()); }
  bool ErrorVisible() override { return Child<QLabel>("StepError").isVisible(); }
  std::string ErrorText() override { return Utf8(Child<QLabel>("StepError").text()); }
  bool SummaryVisible() override { return Child<QPlainTextEdit>("RunSummary").isVisible(); }
  std::string SummaryText() override {
    return Utf8(Child<QPlainTextEdit>("RunSummary").toPlainText());
  }
  int ProgressPaintIntervalMs() override { return MainForm::kPaintIntervalMs; }
  int StepsPaintIntervalMs() override { return MainForm::kStepsPaintIntervalMs; }

 private:
  static MainForm& Form() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* form = dynamic_cast<MainForm*>(w)) return *form;
    }
    throw std::runtime_error("MainForm not found");
  }
  template <typename Widget>
  static Widget& Child(const char* name) {
    auto* child = Form().findChild<Widget*>(QString::fromUtf8(name));
    if (!child) throw std::runtime_error(std::string("no ") + name);
    return *child;
  }
  static QLabel& PanelLabel(int number) {
    return Child<QLabel>(("Panel" + std::to_string(number)).c_str());
  }
  static QTreeWidget& List() { return Child<QTreeWidget>("StepsList"); }
  static QProgressBar& Bar() { return Child<QProgressBar>("StepProgress"); }

  static inline int argc_ = 1;
  static inline char program_[] = "window_test";
  static inline char* argv_[] = {program_, nullptr};
  std::unique_ptr<Display> display_;
};

}  // namespace

std::unique_ptr<WindowProbe> MakeWindowProbe(std::function<void()> onClose) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("KALU_MESSAGE_TIMEOUT_MS", "1500", 1);
  return std::make_unique<QtWindowProbe>(std::move(onClose));
}

}  // namespace kalu::test
