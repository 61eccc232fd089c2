#include "worklist/lista_lucru_model.h"

#include <algorithm>

#include "platform/message_box.h"
#include "util/combo_search.h"
#include "util/format.h"
#include "util/text_scan.h"
#include "worklist/work_list_choices.h"
#include "worklist/work_list_frame.h"

namespace strivex {

namespace {

constexpr const char* kUnexpected = "Atentzie: Eroare neprevazuta";
constexpr size_t kRequestIdChars = 500;

int IndexWithin(int index, const std::vector<std::string>& items) {
  return index >= 0 && index < static_cast<int>(items.size()) ? index : -1;
}

}  // namespace

// What the dialog needs of one request of the query.
struct ListaLucruModel::Request {
  int32_t id;
  std::string name;
  std::string sampleType;
  std::vector<std::string> codes;
};

// One entry of the run. Entries put in with "---->" show no place until "Modific".
struct ListaLucruModel::Entry {
  std::unique_ptr<SampleRecord> record;
  bool placeShown = false;
};

ListaLucruModel::ListaLucruModel(const SampleList& requests, int32_t nextPosition, int32_t currentDisk)
    : positionText_(Format("%d", nextPosition)),
      cupIndex_(SelectByPrefix(CupTypeNames(), "Tube", 0)),
      diskIndex_(SelectByPrefix(DiskNames(), Format("%d", currentDisk), 0)),
      nextPosition_(nextPosition),
      currentDisk_(currentDisk) {
  CopyRequests(requests);
  ListRequestsNotInRun();
}

ListaLucruModel::~ListaLucruModel() = default;

void ListaLucruModel::CopyRequests(const SampleList& requests) {
  requests_.clear();
  for (const SampleRecord& sample : requests) {
    Request request{sample.requestId, sample.patientName, sample.sampleType, {}};
    for (const GroupRecord& group : sample.groups) request.codes.push_back(group.analysisCode);
    requests_.push_back(std::move(request));
  }
}

void ListaLucruModel::ReplaceRequests(const SampleList& requests) {
  CopyRequests(requests);
  Reload();
}

void ListaLucruModel::SelectCup(int index) { cupIndex_ = IndexWithin(index, CupTypeNames()); }

void ListaLucruModel::SelectDisk(int index) { diskIndex_ = IndexWithin(index, DiskNames()); }

std::vector<RowTexts> ListaLucruModel::requestRows() const {
  std::vector<RowTexts> rows;
  for (const RequestRow& row : requestRows_) rows.push_back({row.idText, row.name});
  return rows;
}

std::vector<RowTexts> ListaLucruModel::currentRows() const {
  std::vector<RowTexts> rows;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& entry = *entries_[i];
    const SampleRecord& record = *entry.record;
    const bool shown = entry.placeShown;
    rows.push_back({static_cast<int>(i) == markerRow_ ? ">" : " ", Format("%d", static_cast<int>(i) + 1),
                    Format("%6d", record.requestId), shown ? Format("%d/%d", record.disk, record.position) : "",
                    shown ? record.cupTypeText : "", record.patientName, shown ? record.sampleType : ""});
  }
  return rows;
}

const SampleRecord* ListaLucruModel::entry(int row) const {
  if (row < 0 || row >= static_cast<int>(entries_.size())) return nullptr;
  return entries_[static_cast<size_t>(row)]->record.get();
}

const ListaLucruModel::Request* ListaLucruModel::FindRequest(int32_t id) const {
  for (const Request& request : requests_)
    if (request.id == id) return &request;
  return nullptr;
}

void ListaLucruModel::ListRequestsNotInRun() {
  // Each request goes on top of the list, so the last one read shows first.
  for (auto it = requests_.rbegin(); it != requests_.rend(); ++it) {
    const bool inRun = std::any_of(entries_.begin(), entries_.end(),
                                   [&](const auto& entry) { return entry->record->requestId == it->id; });
    if (!inRun) requestRows_.push_back({it->id, Format("%6d", it->id), it->name});
  }
}

void ListaLucruModel::RemoveRequestRow(int32_t id) {
  std::erase_if(requestRows_, [id](const RequestRow& row) { return row.id == id; });
}

std::unique_ptr<ListaLucruModel::Entry> ListaLucruModel::NewEntry(const Request& request) const {
  auto entry = std::make_unique<Entry>();
  entry->record = std::make_unique<SampleRecord>(request.id);
  entry->record->patientName = request.name;
  entry->record->sampleType = request.sampleType;
  for (const std::string& code : request.codes) entry->record->groups.emplace_back(code);
  return entry;
}

bool ListaLucruModel::Fits(const Entry& entry, const LocalTime& at) const {
  const std::optional<std::string> problem = WorkListFrameProblem(*entry.record, at);
  if (problem) platform::MessageBox(*problem);
  return !problem;
}

bool ListaLucruModel::AppendPlaced(const Request& request) {
  std::unique_ptr<Entry> entry = NewEntry(request);
  SampleRecord& record = *entry->record;
  if (cupIndex_ >= 0) record.cupTypeText = CupTypeNames()[static_cast<size_t>(cupIndex_)];
  record.cupType = cupIndex_ + 1;
  record.disk = diskIndex_ + 1;
  record.position = ParseDecimal(positionText_);
  entry->placeShown = true;
  if (!Fits(*entry, GetLocalTime())) return false;
  positionText_ = Format("%d", record.position + 1);
  entries_.push_back(std::move(entry));
  return true;
}

void ListaLucruModel::Add(int requestRow) {
  if (requestRow < 0 || requestRow >= static_cast<int>(requestRows_.size())) return;
  const Request* request = FindRequest(requestRows_[static_cast<size_t>(requestRow)].id);
  if (request == nullptr) {
    platform::MessageBox(kUnexpected);
    return;
  }
  if (AppendPlaced(*request)) requestRows_.erase(requestRows_.begin() + requestRow);
}

void ListaLucruModel::AddById() {
  const int32_t id = ParseDecimal(std::string_view(requestIdText_).substr(0, kRequestIdChars));
  requestIdText_.clear();
  const Request* request = FindRequest(id);
  if (request == nullptr) {
    platform::MessageBox(Format("Nu gasesc datele cererii %d !", id));
    return;
  }
  if (AppendPlaced(*request)) RemoveRequestRow(id);
}

void ListaLucruModel::InsertBefore(int currentRow, int requestRow) {
  if (currentRow < 0 || currentRow >= static_cast<int>(entries_.size())) return;
  if (requestRow < 0 || requestRow >= static_cast<int>(requestRows_.size())) return;
  const Request* request = FindRequest(requestRows_[static_cast<size_t>(requestRow)].id);
  if (request == nullptr) {
    platform::MessageBox(kUnexpected);
    return;
  }
  std::unique_ptr<Entry> entry = NewEntry(*request);
  if (!Fits(*entry, GetLocalTime())) return;
  requestRows_.erase(requestRows_.begin() + requestRow);
  entries_.insert(entries_.begin() + currentRow, std::move(entry));
  // The marker stays on the row it was on.
  if (markerRow_ >= currentRow) ++markerRow_;
}

void ListaLucruModel::MoveBack(int currentRow) {
  if (currentRow < 0 || currentRow >= static_cast<int>(entries_.size())) return;
  const SampleRecord& record = *entries_[static_cast<size_t>(currentRow)]->record;
  const int32_t id = record.requestId;
  // A request typed in twice comes back once.
  const bool listed =
      std::any_of(requestRows_.begin(), requestRows_.end(), [id](const RequestRow& row) { return row.id == id; });
  if (!listed) requestRows_.push_back({id, Format("%6d", id), record.patientName});
  entries_.erase(entries_.begin() + currentRow);
  if (markerRow_ == currentRow) {
    markerRow_ = -1;
  } else if (markerRow_ > currentRow) {
    --markerRow_;
  }
}

void ListaLucruModel::Reload() {
  requestRows_.clear();
  ListRequestsNotInRun();
}

bool ListaLucruModel::Modify(int currentRow, const std::function<void(SampleRecord&)>& editor) {
  if (currentRow < 0 || currentRow >= static_cast<int>(entries_.size())) {
    platform::MessageBox("Eroare: Item negasit");
    return false;
  }
  Entry& entry = *entries_[static_cast<size_t>(currentRow)];
  editor(*entry.record);
  entry.placeShown = true;
  return true;
}

void ListaLucruModel::ClickCurrent(int selectedRow) {
  markerRow_ = selectedRow >= 0 && selectedRow < static_cast<int>(entries_.size()) ? selectedRow : -1;
}

void ListaLucruModel::KeyUp(int selectedRow) {
  if (selectedRow < 0 || selectedRow >= static_cast<int>(entries_.size())) return;
  markerRow_ = std::max(0, selectedRow - 1);
}

void ListaLucruModel::KeyDown(int selectedRow) {
  if (selectedRow < 0 || selectedRow >= static_cast<int>(entries_.size())) return;
  markerRow_ = std::min(static_cast<int>(entries_.size()) - 1, selectedRow + 1);
}

void ListaLucruModel::CurrentListFocusLost(const std::string& newFocusText) {
  modifyEnabled_ = newFocusText == "Modific";
}

bool ListaLucruModel::Ok(const LocalTime& now) {
  if (!requestIdText_.empty()) {
    AddById();
    return false;
  }
  return Confirm(now);
}

bool ListaLucruModel::Confirm(const LocalTime& now) {
  for (const auto& entry : entries_)
    if (!Fits(*entry, now)) return false;
  frames_.clear();
  for (const auto& entry : entries_) {
    const SampleRecord& record = *entry->record;
    QueuedFrame frame{BuildWorkListFrame(record, now), record.requestId, {}};
    for (const GroupRecord& group : record.groups) frame.analysisCodes.push_back(group.analysisCode);
    frames_.push_back(std::move(frame));
  }
  nextPosition_ = ParseDecimal(positionText_);
  currentDisk_ = diskIndex_ + 1;
  entries_.clear();
  markerRow_ = -1;
  confirmed_ = true;
  return true;
}

void ListaLucruModel::Cancel() {
  entries_.clear();
  markerRow_ = -1;
}

}  // namespace strivex
