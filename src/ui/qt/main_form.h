#pragma once
// MainForm, the main window of the run: caption, tool bar with its image list, and the
// status bar ZqStatusBar whose third panel is the progress display.

#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QString>
#include <QTimer>
#include <QToolBar>
#include <array>
#include <functional>
#include <vector>

namespace kalu {

inline constexpr const char* kMainCaption = "Actualizacion Versión 24.03.20";

// Shows an information message with the information icon and only an OK button, and
// returns when it is acknowledged. A positive `timeoutMs` acknowledges it by itself (as
// OK) after that many milliseconds, for unattended runs.
void ShowInformation(QWidget* parent, const QString& text, int timeoutMs);

class MainForm : public QMainWindow {
 public:
  // `onClose` runs when the operator closes the window; it normally ends the process.
  // `messageTimeoutMs` is passed to every message the window shows (0: wait for OK).
  MainForm(std::function<void()> onClose, int messageTimeoutMs);

  // Replaces the text of the third panel. The panel shows it and paints it at once (without
  // letting input through) unless it did so less than kPaintIntervalMs ago; then the text
  // follows when that time is up, at a message pump. Loops that write a text per row thus
  // paint a few times a second instead of once per row.
  void SetProgress(const QString& text);

  static constexpr qint64 kPaintIntervalMs = 40;

  // Runs a menu or tool-bar command by its identifier (the button's key).
  void Dispatch(const QString& key);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void AddButton(const char* key, const QString& text, size_t image);
  void ShowClock();
  void ShowProgress();

  std::function<void()> onClose_;
  int messageTimeoutMs_;
  QToolBar* toolBar_;  // made and owned by the window
  // The panels sit in the window's status bar; being members, they leave it before the
  // window and its status bar are destroyed.
  std::array<QLabel, 3> panels_;
  QTimer clock_;
  QString pendingProgress_;
  QElapsedTimer lastPaint_;
  QTimer paintLater_;
  std::vector<QIcon> imageList_;
};

}  // namespace kalu
