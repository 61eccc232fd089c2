#include "settings/declared_fields.h"

#include <strings.h>

#include "db/baza_de_date.h"
#include "db/local_statements.h"

namespace strivex {

namespace {

// Apart from the slots of the start-up and of the dialogs' writes (0, 1, 9), which a worker may
// still be using when a dialog opens.
constexpr int kSlot = 7;

}  // namespace

std::vector<std::string> DeclaredFieldsStatements(const std::vector<DeclaredField>& fields) {
  std::vector<std::string> statements = {DeclaredTableCreate(), DeclaredTableClear()};
  for (const DeclaredField& field : fields) statements.push_back(DeclaredFieldInsert(field.property, field.source));
  return statements;
}

DeclaredFields DeclaredFields::Read(BazaDeDate& local) {
  std::vector<DeclaredField> fields;
  // Asked first, so that a file without the record does not put a failed statement in the log.
  const bool recorded = local.GetRecords(DeclaredTableExistsQuery(), kSlot) && local.RowAvailable(kSlot);
  local.InchidTabel(kSlot);
  if (recorded && local.GetRecords(DeclaredFieldsQuery(), kSlot)) {
    while (local.RowAvailable(kSlot)) {
      fields.push_back({local.ValoareColoana("Proprietate", kSlot).ToText(),
                        local.ValoareColoana("Sursa", kSlot).ToText()});
      if (!local.NextElementTabel(kSlot)) break;
    }
  }
  local.InchidTabel(kSlot);
  return DeclaredFields(std::move(fields));
}

std::string DeclaredFields::Note(std::string_view property) const {
  for (const DeclaredField& field : fields_) {
    // The table compares without case, as Medianex_Init does.
    if (field.property.size() != property.size() ||
        strncasecmp(field.property.data(), property.data(), property.size()) != 0) {
      continue;
    }
    return field.source.empty() ? "Stabilit de administrator in linia de comanda a strivex-host"
                                : "Stabilit de administrator in " + field.source;
  }
  return {};
}

}  // namespace strivex
