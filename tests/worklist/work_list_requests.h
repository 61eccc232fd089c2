#pragma once
// Requests as the work-list query reads them, for the work-list dialogs' tests.

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "protocol/records.h"
#include "util/local_time.h"

namespace strivex::testing {

struct RequestData {
  int32_t id;
  std::string name;
  std::string sampleType;
  std::vector<std::string> codes;
};

inline std::unique_ptr<SampleRecord> MakeRequest(const RequestData& data) {
  auto request = std::make_unique<SampleRecord>(data.id);
  request->patientName = data.name;
  request->sampleType = data.sampleType;
  for (const std::string& code : data.codes) request->groups.emplace_back(code).sampleType = data.sampleType;
  return request;
}

inline SampleList MakeRequests(std::initializer_list<RequestData> requests) {
  SampleList list;
  for (const RequestData& data : requests) list.append(MakeRequest(data));
  return list;
}

inline LocalTime At(int year, int month, int day, int hour, int minute) {
  LocalTime time;
  time.wYear = static_cast<uint16_t>(year);
  time.wMonth = static_cast<uint16_t>(month);
  time.wDay = static_cast<uint16_t>(day);
  time.wHour = static_cast<uint16_t>(hour);
  time.wMinute = static_cast<uint16_t>(minute);
  return time;
}

}  // namespace strivex::testing
