// Connection strings as the session, the log and the relay read them.
//
// Properties: a key's value has no blanks around it unless it was braced, and reads the same
// from the string and from its trimmed form (TrimConnectionString keeps every pair, only blanks go; trimming
// twice changes nothing more); the Jet test is the Provider key's; and MaskPasswords lets no
// password through: the value of a password key, when it stands nowhere else in the string,
// is not in the masked string, and the masked string's password keys read "***". A string the
// relay would open holds no key outside its list, however it is split or trimmed.

#include <string>
#include <vector>

#include "db/connection_string.h"
#include "fuzz_check.h"

namespace {

constexpr std::string_view kKeys[] = {"Driver", "Server", "Database", "Uid", "Pwd", "Password",
                                      "Provider", "Data Source", "Jet OLEDB:Database Password",
                                      "DSN", "FILEDSN"};
constexpr std::string_view kSecretKeys[] = {"Pwd", "Password", "Database Password",
                                            "Jet OLEDB:Database Password"};

bool Blank(char c) { return c == ' ' || c == '\t'; }

// How the value stands in braces, a '}' doubled.
std::string Braced(std::string_view value) {
  std::string out = "{";
  for (const char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

const std::vector<std::string> kDrivers = {"SQL Server"};
const std::vector<std::string> kExtraKeys = {"Extra"};

std::vector<std::string_view> AllowedKeys() {
  std::vector<std::string_view> keys(strivex::kAllowedConnectionKeys.begin(), strivex::kAllowedConnectionKeys.end());
  keys.insert(keys.end(), kExtraKeys.begin(), kExtraKeys.end());
  return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string trimmed = strivex::TrimConnectionString(text);
  FUZZ_CHECK(strivex::TrimConnectionString(trimmed) == trimmed, "trimming twice changes nothing");
  for (std::string_view key : kKeys) {
    const std::optional<std::string> value = strivex::ConnectionValue(text, key);
    if (value && !value->empty() && (Blank(value->front()) || Blank(value->back()))) {
      FUZZ_CHECK(text.find(Braced(*value)) != std::string_view::npos, "values come without blanks around, unless braced");
    }
    FUZZ_CHECK(strivex::ConnectionValue(trimmed, key) == value, "trimming keeps every value");
  }
  const std::optional<std::string> provider = strivex::ConnectionValue(text, "Provider");
  FUZZ_CHECK(strivex::IsJetConnectionString(text) ==
                 (provider && provider->starts_with("Microsoft.Jet.OLEDB")),
             "Jet strings are told by their provider");

  const std::string masked = strivex::MaskPasswords(text);
  for (std::string_view key : kSecretKeys) {
    const std::optional<std::string> secret = strivex::ConnectionValue(text, key);
    if (!secret || secret->empty() || secret->find('*') != std::string::npos) continue;
    if (text.find(*secret) != text.rfind(*secret)) continue;  // the same text also stands elsewhere
    // A '}' stands doubled in a braced value: the text found is then another key's, not this one.
    if (secret->find('}') != std::string::npos) continue;
    FUZZ_CHECK(masked.find(*secret) == std::string::npos, "no password survives masking");
  }
  for (std::string_view key : {std::string_view("Pwd"), std::string_view("Password")}) {
    const std::optional<std::string> shown = strivex::ConnectionValue(masked, key);
    if (shown && strivex::ConnectionValue(text, key)) {
      FUZZ_CHECK(shown->starts_with("***"), "a masked password reads ***");
    }
  }
  if (strivex::RefusedConnectionReason(text, kDrivers, kExtraKeys).empty()) {
    static const std::vector<std::string_view> allowed = AllowedKeys();
    FUZZ_CHECK(!strivex::KeyOutside(text, allowed), "an opened string holds listed keys only");
    FUZZ_CHECK(!strivex::KeyOutside(trimmed, allowed), "what the driver gets holds listed keys only");
  }
  return 0;
}
