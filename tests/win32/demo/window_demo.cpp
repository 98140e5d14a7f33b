// Shows the main window with the steps of a run as an operator sees them, for pictures of
// the window: `window_demo during SECONDS` stops in the load of the postal codes,
// `window_demo end SECONDS` shows the finished run with its summary and the closing
// message. The window stays up for SECONDS, letting messages through, and then closes.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/display.h"
#include "run/steps.h"
#include "ui/win32/win32_display.h"

namespace {

using kalu::StepId;

// The steps up to the load of the postal codes, with what a sample store's run counts.
void RunUpToThePostalCodes(kalu::Steps& steps) {
  steps.Begin(StepId::Backup);
  steps.SetDetail("kalu_antes_24_03_20_20261207_221005 (8 MB, 2026-12-07 22:10:05)");
  const std::pair<StepId, int> earlier[] = {
      {StepId::Schema, 28}, {StepId::View, 0}, {StepId::CartaPorte, 11}, {StepId::StoredViews, 18}};
  for (auto [id, rows] : earlier) {
    steps.Begin(id);
    steps.AddRows(rows);
  }
  steps.Begin(StepId::PostalCodes);
  steps.AddRows(23517);
  steps.SetWork(2'350'000, 6'000'000);
}

void FinishTheRun(kalu::Steps& steps) {
  const std::pair<StepId, int> later[] = {{StepId::PostalCodes, 36483}, {StepId::Colonies, 10000},
                                          {StepId::SystemData, 47},     {StepId::Fiscal, 10},
                                          {StepId::InvoiceStamps, 7},   {StepId::TaxBases, 8}};
  for (auto [id, rows] : later) {
    steps.Begin(id);
    steps.AddRows(rows);
  }
  steps.End();
  steps.Summarize({
      "Resumen de la corrida:",
      "  PACTUALIZASAT                0.021 s         11 filas        524 filas/s        14 viajes",
      "  PCARGAVISTASPG               0.012 s          7 filas        583 filas/s         9 viajes",
      "  PCARGACP_SAT                11.863 s      60000 filas       5058 filas/s       183 viajes",
      "  PCARGACATCOLONIAS            1.449 s      10000 filas       6901 filas/s        12 viajes",
      "  PCARGADATOSDELSISTEMA        0.216 s         47 filas        217 filas/s       152 viajes",
      "  PCARDATOSFISCAL              0.006 s         10 filas       1786 filas/s         8 viajes",
      "  POBTFACSTIMBRE               0.017 s          7 filas        417 filas/s        12 viajes",
      "  U1315S1                      0.009 s          8 filas        898 filas/s        10 viajes",
      "  tabla                    filas antes  filas después",
      "  codigopostal                       2          60000",
      "  colonias                           2          10000",
      "  enviocfdi                          7             10",
      "  vehiculos                          2              5",
  });
}

}  // namespace

int main(int argc, char** argv) {
  const std::string moment = argc > 1 ? argv[1] : "during";
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
  std::unique_ptr<kalu::Display> display = kalu::CreateWin32Display([] { std::exit(3); });
  if (!display) return 1;
  auto* view = dynamic_cast<kalu::StepObserver*>(display.get());
  kalu::Steps steps;
  steps.SetObserver(view);
  display->ShowMainWindow();
  display->SetMousePointer(kalu::kPointerHourglass);
  RunUpToThePostalCodes(steps);
  display->SetProgress("Creando Código Postal a Edo 9, Mun 10, Loc 12, C.P. 9011");
  if (moment == "end") {
    FinishTheRun(steps);
    display->SetProgress("");
    display->SetMousePointer(kalu::kPointerDefault);
    display->ShowMessage("Reorganización Versión ZIDEVURO 24.03.20 Terminada");
  }
  for (DWORD start = GetTickCount(); GetTickCount() - start < 1000u * seconds;) {
    display->WaitForInput(100);
  }
  return 0;
}
