#pragma once
// The value translations and the modifier id of the instrument's "%s.ini" file, loaded once when
// result processing starts.

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/translation.h"
#include "settings/ini_loader.h"

namespace strivex {

// Longest from-text or to-text of a pair; a longer one is taken as the empty text.
inline constexpr int32_t kTranslationTextLimit = 50;

// What the processing thread takes from the file.
struct CodeTranslations {
  bool fileLoaded = false;       // whether the file was found and read
  TranslationList translations;  // empty unless TRANSLATE is exactly "1"
  int32_t modifierId = 0;        // MODIFICATORID; handed to the interpreter
  std::string failure;           // what the operator is to be told of a file that did not load
};

// "%s.ini" with the instrument name, looked for in the current directory.
std::string CodeTranslationFileName(std::string_view instrumentName);

// Loads `fileName`; a file that does not load gives no translations and modifier id 0, and the
// loader's failure, if any.
CodeTranslations LoadCodeTranslations(const std::string& fileName);

// The translations of an already loaded file (V1, V2, ... up to the first gap).
// fileLoaded is set: the loader is taken to hold a file that loaded.
CodeTranslations TranslationsFromIni(const INILoader& ini);

// Splits one "Vn" value "from:to" into a pair by the NextToken rules; a from-text longer than
// kTranslationTextLimit gives two empty texts.
TranslationEntry SplitTranslationPair(std::string_view value);

}  // namespace strivex
