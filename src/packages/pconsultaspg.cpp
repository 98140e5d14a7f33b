#include "packages/pconsultaspg.h"

#include "database/session.h"
#include "packages/view_package.h"
#include "run/shown_failure.h"
#include "runtime/convert.h"
#include "runtime/text.h"

namespace kalu {

namespace {

// A name as it can stand in a log line: control characters shown as "?".
std::string Printable(std::string_view text) {
  std::string out(text.substr(0, 120));
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

}  // namespace

void PCONSULTASPG::Run(const std::string& document, const std::string& option) {
  reader_.Open(document);
  if (!reader_.status().ok()) {
    ShowReaderError();
    ProcedureEpilogue(ctx_, /*commit=*/false);
    return;
  }

  const bool create = RTrim(option) == "C";
  if (reader_.ReadType(XmlReader::kElement, "SQL_PG") >= 1) {
    for (;;) {
      name_.clear();
      text_.clear();
      bool complete = false;
      while (!complete && ReadViewNode(reader_, name_, text_) >= 1) {
        complete = !name_.empty() && !text_.empty();
      }
      if (!complete) break;

      // The name goes into the statement's text: anything but a plain name is left out.
      if (!IsPlainViewName(name_)) {
        ctx_.log.Line("PCONSULTASPG: se omite la consulta de nombre no válido \"" +
                      Printable(name_) + "\"");
        continue;
      }
      if (!create) {
        Progress(ctx_, "Borrando Consulta " + name_ + " ...");
        for (StoreView& view : ViewsDroppedWith(ctx_.session, name_)) {
          taken_.push_back(std::move(view));
        }
        ctx_.session.Execute(kApp, "DROP VIEW " + name_ + " CASCADE");
      } else {
        Progress(ctx_, "Creando Consulta " + name_ + " ...");
        // A view the server refuses is shown to the operator before the run ends (U11FY1).
        ShowingDatabaseError(ctx_.display, [&] {
          ctx_.session.Execute(kApp, "CREATE OR REPLACE VIEW " + name_ + " AS " + text_);
        });
      }
      ctx_.steps.AddRows(1);
    }
  }
  // A document that breaks off after it was opened tells it the same way.
  if (!reader_.status().ok()) ShowReaderError();

  Progress(ctx_, "");
  ProcedureEpilogue(ctx_, /*commit=*/false);
}

// The views were not all dropped or created again: the message, and the step fails.
void PCONSULTASPG::ShowReaderError() {
  const Status status = reader_.status();
  const std::string text = "Error:" + NumberToText(status.code(), 10, 0) + " " + status.text();
  ctx_.display.ShowMessage(text);
  ctx_.steps.Fault(text);
}

}  // namespace kalu
