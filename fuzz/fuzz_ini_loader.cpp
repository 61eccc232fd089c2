// The code-translation file: INILoader::Load from a real file, and the translations and modifier
// id taken from it.
//
// Properties: the file and the same text in memory give the same entries; every entry comes
// from one line (never more entries than lines), its name holds no '=' and neither part a line
// end or more than the line limit; a lookup answers with the first entry of that name, ignoring
// ASCII case; translations exist only when TRANSLATE is exactly "1", each text within its limit,
// never more than the entries; the modifier id is MODIFICATORID read as a number.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "fuzz_check.h"
#include "settings/code_translation.h"
#include "settings/ini_loader.h"
#include "util/text_scan.h"

namespace {

std::string UpperAscii(std::string text) {
  strivex::ToUpperAscii(text);
  return text;
}

const std::string& FileName() {
  static const std::string name = "fuzz.ini";
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  strivex::fuzz::EnterScratchDirectory("ini");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  {
    std::FILE* file = std::fopen(FileName().c_str(), "wb");
    FUZZ_CHECK(file != nullptr, "the scratch file opens");
    FUZZ_CHECK(std::fwrite(data, 1, size, file) == size, "the scratch file is written");
    std::fclose(file);
  }
  strivex::INILoader ini;
  FUZZ_CHECK(ini.Load(FileName()), "an existing file loads");
  const std::vector<strivex::IniEntry>& entries = ini.Entries();
  const std::vector<strivex::IniEntry> parsed = strivex::ParseIniText(text);
  FUZZ_CHECK(parsed.size() == entries.size(), "the file reads as its text does");
  const std::string_view beforeNul = text.substr(0, text.find('\0'));
  const size_t lines = static_cast<size_t>(std::count(beforeNul.begin(), beforeNul.end(), '\r')) + 1;
  FUZZ_CHECK(entries.size() <= lines, "one entry a line at most");

  for (size_t i = 0; i < entries.size(); ++i) {
    const strivex::IniEntry& entry = entries[i];
    FUZZ_CHECK(entry.name == parsed[i].name && entry.value == parsed[i].value,
               "the file reads as its text does");
    FUZZ_CHECK(entry.name.find('=') == std::string::npos, "a name ends at '='");
    FUZZ_CHECK(entry.name.find('\r') == std::string::npos && entry.value.find('\r') == std::string::npos,
               "no line end inside an entry");
    FUZZ_CHECK(entry.name.size() <= strivex::INILoader::kLineLimit &&
                   entry.value.size() <= strivex::INILoader::kLineLimit,
               "entries keep the line limit");
    if (i >= 64) continue;  // lookups are linear; the first entries show the rule
    std::string value;
    FUZZ_CHECK(ini.GetValue(value, entry.name), "every name is found");
    const auto first = std::find_if(entries.begin(), entries.end(), [&](const strivex::IniEntry& e) {
      return UpperAscii(e.name) == UpperAscii(entry.name);
    });
    FUZZ_CHECK(value == first->value, "a lookup answers with the first entry of the name");
    FUZZ_CHECK(ini.GetValue(value, UpperAscii(entry.name)) && value == first->value,
               "lookups ignore ASCII case");
  }

  const strivex::CodeTranslations loaded = strivex::TranslationsFromIni(ini);
  FUZZ_CHECK(loaded.fileLoaded, "a loaded file says so");
  std::string translate;
  const bool on = ini.GetValue(translate, "TRANSLATE") && translate == "1";
  FUZZ_CHECK(on || loaded.translations.empty(), "translations only when TRANSLATE is 1");
  FUZZ_CHECK(loaded.translations.size() <= entries.size(), "one translation an entry at most");
  for (size_t n = 0; n < loaded.translations.size(); ++n) {
    const strivex::TranslationEntry& pair = loaded.translations[n];
    FUZZ_CHECK(pair.from.size() <= strivex::kTranslationTextLimit &&
                   pair.to.size() <= strivex::kTranslationTextLimit,
               "translation texts keep their limit");
    std::string vn;
    FUZZ_CHECK(ini.GetValue(vn, "V" + std::to_string(n + 1)), "pairs come from V1, V2, ...");
    FUZZ_CHECK(strivex::SplitTranslationPair(vn) == pair, "a pair is its Vn value split");
  }
  std::string modifier;
  FUZZ_CHECK(loaded.modifierId ==
                 (ini.GetValue(modifier, "MODIFICATORID") ? strivex::ParseDecimal(modifier) : 0),
             "the modifier id is MODIFICATORID as a number");

  const strivex::CodeTranslations fromFile = strivex::LoadCodeTranslations(FileName());
  FUZZ_CHECK(fromFile.translations == loaded.translations && fromFile.modifierId == loaded.modifierId,
             "loading the file gives what the loader holds");
  return 0;
}
