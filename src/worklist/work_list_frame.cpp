#include "worklist/work_list_frame.h"

#include "util/format.h"
#include "util/text_scan.h"

namespace strivex {

namespace {

constexpr int kMaxPosition = 99;
constexpr int kMaxAnalyses = 999;
constexpr size_t kMaxCodeLength = 229;
constexpr char kStx = 2;
constexpr char kEtx = 3;

std::string Padded(std::string text, char fill, int width, int side) {
  PadText(text, fill, width, side);
  return text;
}

int AnalysisCount(const SampleRecord& entry) { return static_cast<int>(entry.groups.size()); }

}  // namespace

char WorkListSampleTypeDigit(const std::string& sampleType) {
  std::string upper = sampleType;
  ToUpperAscii(upper);
  return upper == "URINA" || upper == "URINE" || upper == "UREE" ? '2' : '1';
}

std::string JoinedAnalysisCodes(const SampleRecord& entry) {
  std::string codes;
  for (const GroupRecord& group : entry.groups) codes += group.analysisCode;
  return codes;
}

std::optional<std::string> WorkListFrameProblem(const SampleRecord& entry, const LocalTime& at) {
  const int id = entry.requestId;
  if (id < 0) return Format("Cererea %d: numarul cererii nu poate fi negativ", id);
  if (entry.position < 0 || entry.position > kMaxPosition)
    return Format("Cererea %d: pozitia %d nu incape in lista (0-99)", id, entry.position);
  if (entry.disk < 0 || entry.disk > 9)
    return Format("Cererea %d: discul %d nu incape in lista (1-3)", id, entry.disk);
  if (entry.cupType < 0 || entry.cupType > 9)
    return Format("Cererea %d: tipul cupei %d nu incape in lista (1-5)", id, entry.cupType);
  const int count = AnalysisCount(entry);
  if (count > kMaxAnalyses)
    return Format("Cererea %d: %d analize, cel mult 999 incap in lista", id, count);
  const size_t codes = JoinedAnalysisCodes(entry).size();
  if (codes > kMaxCodeLength)
    return Format("Cererea %d: codurile analizelor au %d caractere, cel mult 229 incap in lista", id,
                  static_cast<int>(codes));
  if (at.wYear < 2000 || at.wYear > 2099)
    return Format("Anul %d nu incape in lista (2000-2099)", static_cast<int>(at.wYear));
  return std::nullopt;
}

std::string BuildWorkListFrame(const SampleRecord& entry, const LocalTime& at) {
  const std::string when = Format("%02d%02d%02d%02d%02d", at.wYear - 2000, at.wMonth, at.wDay,
                                  at.wHour, at.wMinute);
  std::string frame;
  frame += kStx;
  frame += "W10000";
  frame += Padded(Format("%d", entry.requestId), ' ', 14, 0);
  frame += "0                  ";
  frame += when;
  frame += Format("%d", entry.disk);
  frame += Padded(Format("%d", entry.position), '0', 2, kPadLeft);
  frame += WorkListSampleTypeDigit(entry.sampleType);
  frame += '3';
  frame += Format("%d", entry.cupType);
  frame += "00100001";
  frame += Padded(Format("%d", AnalysisCount(entry)), '0', 3, kPadLeft);
  frame += JoinedAnalysisCodes(entry);
  frame += kEtx;
  frame += "\r\n";
  return frame;
}

std::string VisibleFrameText(const std::string& frame) {
  std::string out;
  for (const char c : frame) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte <= 0x7E) {
      out += c;
    } else {
      out += Format("\\x%02X", byte);
    }
  }
  return out;
}

}  // namespace strivex
