#pragma once
// The work-list dialog without its widgets: the requests on the left, the run being composed on
// the right, the cup, disk and position given to the next entry, and the frames a confirmation
// turns the run into. Each row of the run stays bound to its own entry, so "<<" and "Modific" act
// on the row the operator chose even when a request was typed in twice.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "protocol/records.h"
#include "util/local_time.h"
#include "worklist/frame_queue.h"

namespace strivex {

// The texts of one list row, column by column.
using RowTexts = std::vector<std::string>;

// The window's thread only.
class ListaLucruModel {
 public:
  // Copies what it needs from `requests` (never changed); the dialog starts with `nextPosition`
  // in the position edit and `currentDisk` chosen.
  ListaLucruModel(const SampleList& requests, int32_t nextPosition, int32_t currentDisk);
  ~ListaLucruModel();
  ListaLucruModel(const ListaLucruModel&) = delete;
  ListaLucruModel& operator=(const ListaLucruModel&) = delete;

  // "Cereri Analize": "%6d" id and name, top row first.
  std::vector<RowTexts> requestRows() const;
  // "Lista Curenta": marker, "Nr", id, "Disc/Pos", "Recip", "Nume", "Tip Proba".
  std::vector<RowTexts> currentRows() const;
  size_t entryCount() const { return entries_.size(); }
  // The entry of a current row; null outside the list.
  const SampleRecord* entry(int row) const;

  const std::string& positionText() const { return positionText_; }
  void SetPositionText(std::string text) { positionText_ = std::move(text); }
  // Selected indices of the cup and disk lists; -1 none (also for an index outside the list).
  int cupIndex() const { return cupIndex_; }
  void SelectCup(int index);
  int diskIndex() const { return diskIndex_; }
  void SelectDisk(int index);
  const std::string& requestIdText() const { return requestIdText_; }
  void SetRequestIdText(std::string text) { requestIdText_ = std::move(text); }
  bool modifyEnabled() const { return modifyEnabled_; }
  int markerRow() const { return markerRow_; }

  // ">>" or a double click on the requests: appends the request of `requestRow` (-1: none) with
  // the chosen cup, disk and the edit's position, which then goes up by one.
  void Add(int requestRow);
  // "---->": puts the request of `requestRow` in front of current row `currentRow`, without a
  // place on the analyser until "Modific". Nothing without both rows.
  void InsertBefore(int currentRow, int requestRow);
  // "<<" or a double click on the run: gives the entry of `currentRow` back to the requests.
  void MoveBack(int currentRow);
  // "ReIncarc": lists again the requests that are not in the run.
  void Reload();
  // A new read of the work list ("Doar netrimise" changed): its requests replace the old ones and
  // are listed as by "ReIncarc"; the run keeps its entries.
  void ReplaceRequests(const SampleList& requests);
  // "Modific": runs `editor` on the entry of `currentRow`, then shows its place, cup and sample
  // type. False (and "Eroare: Item negasit") without such an entry.
  bool Modify(int currentRow, const std::function<void(SampleRecord&)>& editor);

  // A click on the run: the marker goes to `selectedRow` (-1 clears it).
  void ClickCurrent(int selectedRow);
  // The Up and Down keys on the run move the marker from the selected row, within the list.
  void KeyUp(int selectedRow);
  void KeyDown(int selectedRow);
  // "Modific" is available while the run has the focus, or when the focus went to a control that
  // shows the button's own text (the button itself).
  void CurrentListFocusGained() { modifyEnabled_ = true; }
  void CurrentListFocusLost(const std::string& newFocusText);

  // "OK": with a typed request id, adds that request and stays open (false); otherwise confirms
  // at `now` and says whether the dialog ends.
  bool Ok(const LocalTime& now);
  // "OK" with the request-id edit non-empty ("Nu gasesc datele cererii %d !" when unknown); the
  // edit is emptied.
  void AddById();
  // Turns every entry into its frame, in run order. When an entry would not fit its frame the
  // operator is told, nothing is queued and the run stays as it was (false).
  bool Confirm(const LocalTime& now);
  // "Anulez" and every other cancel: the run is dropped; the requests are untouched.
  void Cancel();

  // After a confirmation: the frames, the next dialog's position and disk.
  bool confirmed() const { return confirmed_; }
  std::vector<QueuedFrame> TakeFrames() { return std::move(frames_); }
  int32_t nextPosition() const { return nextPosition_; }
  int32_t currentDisk() const { return currentDisk_; }

 private:
  struct Request;
  struct Entry;

  void CopyRequests(const SampleList& requests);
  const Request* FindRequest(int32_t id) const;
  void ListRequestsNotInRun();
  void RemoveRequestRow(int32_t id);
  std::unique_ptr<Entry> NewEntry(const Request& request) const;
  bool Fits(const Entry& entry, const LocalTime& at) const;
  // Appends a copy of `request` with the chosen cup and disk and the edit's position, which then
  // goes up by one; false (the operator told why) when its frame would not fit.
  bool AppendPlaced(const Request& request);

  std::vector<Request> requests_;
  struct RequestRow {
    int32_t id;
    std::string idText;
    std::string name;
  };
  std::vector<RequestRow> requestRows_;  // top row first
  std::vector<std::unique_ptr<Entry>> entries_;
  std::string positionText_;
  std::string requestIdText_;
  int cupIndex_ = -1;
  int diskIndex_ = -1;
  int markerRow_ = -1;
  bool modifyEnabled_ = false;

  bool confirmed_ = false;
  std::vector<QueuedFrame> frames_;
  int32_t nextPosition_;
  int32_t currentDisk_;
};

}  // namespace strivex
