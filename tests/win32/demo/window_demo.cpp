// Shows the main window with the steps of a run as an operator sees them, for pictures of
// the window: `window_demo during SECONDS` stops in the load of the postal codes,
// `window_demo end SECONDS` shows the finished run with its summary and the closing
// message. The window stays up for SECONDS, letting messages through, and then closes.

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/display.h"
#include "run/steps.h"
#include "ui/win32/win32_display.h"

namespace {

using kalu::StepId;

// One step of the shown run: how long it takes here, the rows it handles, and the
// progress text it writes (empty: none).
struct ShownStep {
  StepId id;
  int ms;
  int rows;
  const char* progress;
};
constexpr ShownStep kRun[] = {
    {StepId::Backup, 900, 0, "Copiando la base de datos kalu ..."},
    {StepId::Schema, 400, 28, "Cambios de esquema ..."},
    {StepId::View, 100, 0, "Borrando Consulta EdoCtaFolios_View ..."},
    {StepId::CartaPorte, 300, 11, "Actualizando Vehículos"},
    {StepId::StoredViews, 200, 18, "Creando vistas ..."},
    {StepId::PostalCodes, 3000, 60000, "Creando Código Postal a Edo 9, Mun 10, Loc 12, C.P. 9011"},
    {StepId::Colonies, 1000, 10000, "Creando Colonia 06600"},
    {StepId::SystemData, 300, 47, "Datos del sistema ..."},
    {StepId::Fiscal, 100, 10, "Actualizando datos fiscales"},
    {StepId::InvoiceStamps, 100, 7, "Actualizando Documento Serie: A, Folio : 7"},
    {StepId::TaxBases, 100, 8, ""},
};
constexpr int kSliceMs = 50;

// Runs `step` for `share` (0 to 1) of its time, its rows coming in as it goes.
void Run(kalu::Display& display, kalu::Steps& steps, const ShownStep& step, double share) {
  steps.Begin(step.id);
  if (step.id == StepId::Backup) {
    steps.SetDetail("kalu_antes_24_03_20_20261207_221005 (8 MB, 2026-12-07 22:10:05)");
  }
  const int slices = step.ms / kSliceMs;
  for (int slice = 1; slice <= slices * share; ++slice) {
    const int64_t rows = static_cast<int64_t>(step.rows) * slice / slices -
                         static_cast<int64_t>(step.rows) * (slice - 1) / slices;
    steps.AddRows(rows);
    if (step.rows > 0) steps.SetWork(static_cast<int64_t>(step.rows) * slice / slices, step.rows);
    if (*step.progress) display.SetProgress(step.progress);
    display.WaitForInput(kSliceMs);
  }
}

const std::vector<std::string> kSummary = {
    "Resumen de la corrida:",
    "  PACTUALIZASAT                0.301 s         11 filas         37 filas/s        14 viajes",
    "  PCARGAVISTASPG               0.203 s         18 filas         89 filas/s         9 viajes",
    "  PCARGACP_SAT                 3.012 s      60000 filas      19920 filas/s       183 viajes",
    "  PCARGACATCOLONIAS            1.004 s      10000 filas       9960 filas/s        12 viajes",
    "  PCARGADATOSDELSISTEMA        0.301 s         47 filas        156 filas/s       152 viajes",
    "  PCARDATOSFISCAL              0.102 s         10 filas         98 filas/s         8 viajes",
    "  POBTFACSTIMBRE               0.101 s          7 filas         69 filas/s        12 viajes",
    "  U1315S1                      0.100 s          8 filas         80 filas/s        10 viajes",
    "  tabla                    filas antes  filas después",
    "  codigopostal                       2          60000",
    "  colonias                           2          10000",
    "  enviocfdi                          7             10",
    "  vehiculos                          2              5",
    "  operadorveh                        1              6",
};

}  // namespace

int main(int argc, char** argv) {
  const std::string moment = argc > 1 ? argv[1] : "during";
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
  std::unique_ptr<kalu::Display> display = kalu::CreateWin32Display([] { std::exit(3); });
  if (!display) return 1;
  kalu::Steps steps;
  steps.SetObserver(dynamic_cast<kalu::StepObserver*>(display.get()));
  display->ShowMainWindow();
  display->SetMousePointer(kalu::kPointerHourglass);
  for (const ShownStep& step : kRun) {
    // "during" stands in the load of the postal codes, two fifths of the way.
    bool stop = moment == "during" && step.id == StepId::PostalCodes;
    Run(*display, steps, step, stop ? 0.4 : 1.0);
    if (stop) break;
  }
  if (moment == "end") {
    steps.End();
    steps.Summarize(kSummary);
    display->SetProgress("");
    display->SetMousePointer(kalu::kPointerDefault);
    display->ShowMessage("Reorganización Versión ZIDEVURO 24.03.20 Terminada");
  }
  for (DWORD start = GetTickCount(); GetTickCount() - start < 1000u * seconds;) {
    display->WaitForInput(100);
  }
  return 0;
}
