#include "settings/analysis_info_model.h"

#include "protocol/records.h"
#include "util/format.h"

namespace strivex {

AnalysisInfo BuildAnalysisInfo(const SampleRecord* sample) {
  AnalysisInfo info;
  if (sample == nullptr) {
    info.error = "Nu pot Afisa";
    return info;
  }
  info.code = Format("%d", sample->requestId);
  info.patientName = sample->patientName;
  for (const GroupRecord& group : sample->groups) {
    if (group.results.empty()) {
      // An analysis that was asked for but has no result yet.
      info.rows.push_back({group.analysisCode, "cerere"});
      continue;
    }
    for (const ResultRecord& result : group.results) {
      info.rows.push_back({Format("Grup(%s)Ref(%s)", group.analysisCode.c_str(), result.parameterCode.c_str()),
                           result.value});
    }
  }
  return info;
}

}  // namespace strivex
