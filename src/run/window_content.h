#pragma once
// What the main window of the run shows and how it answers, whichever toolkit draws it: its
// caption, its tool bar's commands, the headings of the steps list, the running step's
// caption and progress bar, the error of a failed step, the elapsed time, and how long an
// unanswered message stays up.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "run/steps.h"

namespace kalu {

inline constexpr const char* kMainCaption = "Actualizacion Versión 24.03.20";
inline constexpr const char* kStepsHeading = "Pasos de la actualización";
inline constexpr const char* kRunFinishedCaption = "Actualización terminada";
// The window's sizes in pixels at 96 DPI: as it opens; the least it can be made, which keeps
// the steps and a few lines of the summary in sight; each of the clock's two panels.
inline constexpr int kWindowWidth = 860;
inline constexpr int kWindowHeight = 700;
inline constexpr int kMinimumWindowWidth = 640;
inline constexpr int kMinimumWindowHeight = 520;
inline constexpr int kClockPanelWidth = 90;
// What a command of the tool bar or the menu says when this program has no handler for it.
inline constexpr const char* kNotAvailable = "Opcion no disponible";

// Unattended runs set KALU_MESSAGE_TIMEOUT_MS: every message the window shows acknowledges
// itself (as OK) after that many milliseconds. 0 (unset, empty or not a number): each
// message waits for OK.
int MessageTimeoutFromEnvironment();

// The columns of the steps list, in order, with their width in pixels (0: the rest).
struct StepColumn {
  const char* title;
  int width;
  bool alignRight;
};
enum StepColumnIndex { kTitleColumn, kStateColumn, kTimeColumn, kRowsColumn };
inline constexpr StepColumn kStepColumns[] = {
    {"Paso", 0, false},
    {"Estado", 110, false},
    {"Tiempo", 90, true},
    {"Filas", 100, true},
};

// The tool bar's buttons: the key names the command; the text is the button's tip.
struct ToolBarButton {
  const char* key;
  const char* text;
  bool separatorBefore;
};
inline constexpr ToolBarButton kToolBarButtons[] = {
    {"Consultas", "Consultas", false},
    {"Reportes", "Reportes", false},
    {"ZQRefrescar", "Refrescar", true},
    {"ZQAcercaDe", "Acerca de", false},
};

// True for a command of the framework ("ZQ…", in any case): they have no handler in this
// program. Any other command belongs to the active child window, and this program opens
// none: it answers kNotAvailable.
bool IsFrameworkCommand(std::string_view key);

// "1. Respaldo: kalu_antes_… (8 MB, …)": the step's number and title, and what it made.
std::string RowTitle(const Step& step);
// The texts of a step's row in each column but the title's.
std::string RowTime(const Step& step);  // "12.3 s", empty while waiting
std::string RowRows(const Step& step);  // "1.200", empty while waiting or without rows
// "Tiempo transcurrido: 0:01:05".
std::string ElapsedText(int64_t seconds);
// "Paso 6 de 11: Códigos postales": the caption above the progress bar.
std::string StepCaption(const std::vector<Step>& steps, int current);
// "Códigos postales falló: Error 1060: …".
std::string FailureText(const Step& step);

// The progress bar of the current step: busy (it only shows that the step goes on) while a
// step of unknown amount runs; otherwise `percent`, written beside it when `showPercent`.
struct StepBar {
  bool busy = false;
  int percent = 0;
  bool showPercent = false;
};
StepBar StepBarOf(const Step& step);
// "40 %".
std::string PercentText(int percent);

}  // namespace kalu
