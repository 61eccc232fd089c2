#pragma once
// A sample, its analyses and their measured parameters, as they come from the analyser's report or
// from the laboratory's work list. Texts are std::string: the column widths of the laboratory
// database are storage details, and a longer text is kept whole rather than cut or overrun.

#include <cstdint>
#include <memory>
#include <string>

#include "protocol/record_list.h"
#include "util/local_time.h"

namespace strivex {

// One measured parameter of an analysis.
struct ResultRecord {
  // Results are stamped with the time their message was interpreted; by default, now.
  ResultRecord() : ResultRecord(GetLocalTime()) {}
  explicit ResultRecord(const LocalTime& when) : time(when) {}
  ~ResultRecord() { FreeChain(next); }
  ResultRecord(const ResultRecord&) = delete;
  ResultRecord& operator=(const ResultRecord&) = delete;

  std::string parameterCode;        // the analyser's code ("LEU", "pH", ...)
  std::string value;                // as printed, after value translation
  std::string firstMarker = " ";
  std::string secondMarker = " ";  // sixth argument of L_RESULT_INSERT
  int32_t detailId = 0;             // the laboratory's detail id; 0 until the codes are mapped
  LocalTime time;
  std::unique_ptr<ResultRecord> next;
};

// One analysis of a sample with its results.
struct GroupRecord {
  GroupRecord() = default;
  explicit GroupRecord(std::string code) : analysisCode(std::move(code)) {}
  ~GroupRecord() { FreeChain(next); }
  GroupRecord(const GroupRecord&) = delete;
  GroupRecord& operator=(const GroupRecord&) = delete;

  std::string analysisCode;     // "S_TRV" for the strip analysis
  std::string sampleType;
  int32_t investigationId = 0;  // the laboratory's investigation id; 0 until the codes are mapped
  RecordList<ResultRecord> results;
  std::unique_ptr<GroupRecord> next;
};

// Cup types of the work list; 0 when not set.
enum CupType : int32_t {
  kCupNone = 0,
  kCupStandard = 1,
  kCupMicro = 2,
  kCupTube = 3,
  kCupStandardInTube = 4,
  kCupMicroInTube = 5,
};

// One sample: its request, its analyses and (for the work list) its place on the analyser.
struct SampleRecord {
  SampleRecord() = default;
  explicit SampleRecord(int32_t id) : requestId(id) {}
  ~SampleRecord() { FreeChain(next); }
  SampleRecord(const SampleRecord&) = delete;
  SampleRecord& operator=(const SampleRecord&) = delete;

  int32_t requestId = 0;    // the laboratory's request number, the analyser's sample id
  int32_t resultCount = 0;  // results in the sample's message, for the upload's progress
  std::string patientName;
  std::string sampleType;
  std::string cupTypeText;
  int32_t cupType = kCupNone;
  int32_t disk = 0;      // work list: rack
  int32_t position = 0;  // work list: place in the rack
  LocalTime requestDate;
  RecordList<GroupRecord> groups;
  std::unique_ptr<SampleRecord> next;
};

// The samples of one message, in the order they were printed.
using SampleList = RecordList<SampleRecord>;

}  // namespace strivex
