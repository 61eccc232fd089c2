#pragma once
// The settings an administrator declared for the instrument (its instance file, or the host's
// command line): strivex-host writes them to the local database at every start, so a dialog that
// changed them would be undone at the next one. The host records which they are in the local
// database; the dialogs read that record and show those fields read-only, naming where they are set.

#include <string>
#include <string_view>
#include <vector>

namespace strivex {

class BazaDeDate;

// The record's rows (kDeclaredTable) name Medianex_Init properties, and "Port" for the instrument's
// serial port (MACHINE_SETTINGS).
inline constexpr char kDeclaredPort[] = "Port";

struct DeclaredField {
  std::string property;
  std::string source;  // the instance file's path; empty: the host's command line

  friend bool operator==(const DeclaredField&, const DeclaredField&) = default;
};

// The statements that make `fields` the record, replacing the previous one (a key no longer
// declared is editable again); the table is made when the file has none yet.
std::vector<std::string> DeclaredFieldsStatements(const std::vector<DeclaredField>& fields);

class DeclaredFields {
 public:
  DeclaredFields() = default;
  explicit DeclaredFields(std::vector<DeclaredField> fields) : fields_(std::move(fields)) {}

  // The record of the local session's file; nothing declared when it has none (a file no
  // strivex-host prepared). The caller's thread; one slot of its own.
  static DeclaredFields Read(BazaDeDate& local);

  // What a declared field's tooltip says ("Stabilit de administrator in FILE"); empty when the
  // property is the operator's to set.
  std::string Note(std::string_view property) const;

 private:
  std::vector<DeclaredField> fields_;
};

}  // namespace strivex
