#include "settings/code_translation.h"

#include "util/format.h"
#include "util/text_scan.h"

namespace strivex {

std::string CodeTranslationFileName(std::string_view instrumentName) {
  return Format("%s.ini", std::string(instrumentName).c_str());
}

CodeTranslations LoadCodeTranslations(const std::string& fileName) {
  INILoader ini;
  if (!ini.Load(fileName)) {
    CodeTranslations none;
    none.failure = ini.Failure();
    return none;
  }
  return TranslationsFromIni(ini);
}

CodeTranslations TranslationsFromIni(const INILoader& ini) {
  CodeTranslations result;
  result.fileLoaded = true;
  std::string value;
  // Only the exact text "1" switches the translation on ("01", "1 " and "" do not).
  if (ini.GetValue(value, "TRANSLATE") && value == "1") {
    // The first missing number ends the list, even if higher ones follow.
    for (int32_t n = 1; ini.GetValue(value, Format("V%d", n)); ++n) {
      result.translations.push_back(SplitTranslationPair(value));
    }
  }
  if (ini.GetValue(value, "MODIFICATORID")) result.modifierId = ParseDecimal(value);
  return result;
}

TranslationEntry SplitTranslationPair(std::string_view value) {
  TranslationEntry entry;
  // Both scans share the position: a too-long from-text leaves it at 0, so the to-text scan
  // fails on the same text and the pair ends up with two empty texts.
  int32_t pos = 0;
  NextToken(value, pos, entry.from, kTranslationTextLimit, ':');
  NextToken(value, pos, entry.to, kTranslationTextLimit, ':');
  return entry;
}

}  // namespace strivex
