#include "worklist/lista_lucru_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/message_box.h"
#include "worklist/work_list_requests.h"

namespace strivex {
namespace {

using testing::At;
using testing::MakeRequest;
using testing::MakeRequests;

const LocalTime kConfirmed = At(2019, 3, 6, 14, 7);

SampleList FourRequests() {
  return MakeRequests({{11, "Ana", "URINA", {"BIL"}},
                       {12, "Bogdan", "SERUM", {"GLU", "PRO"}},
                       {13, "Cristi", "urine", {"UBG"}},
                       {14, "Dana", "", {"LEU"}}});
}

std::vector<std::string> Column(const std::vector<RowTexts>& rows, size_t column) {
  std::vector<std::string> texts;
  for (const RowTexts& row : rows) texts.push_back(row.at(column));
  return texts;
}

// The request row showing `id`; -1 when it is not listed.
int RequestRow(const ListaLucruModel& model, int32_t id) {
  const std::vector<RowTexts> rows = model.requestRows();
  for (size_t i = 0; i < rows.size(); ++i)
    if (std::stoi(rows[i][0]) == id) return static_cast<int>(i);
  return -1;
}

void AddId(ListaLucruModel& model, int32_t id) { model.Add(RequestRow(model, id)); }

size_t JoinedSize(const std::vector<std::string>& codes) {
  size_t size = 0;
  for (const std::string& code : codes) size += code.size();
  return size;
}

TEST(ListaLucruModelTest, OpensWithRequestsReversedTubeAndTheKeptPlace) {
  const SampleList requests = FourRequests();
  const ListaLucruModel model(requests, 7, 2);
  EXPECT_EQ(model.requestRows(), (std::vector<RowTexts>{{"    14", "Dana"},
                                                       {"    13", "Cristi"},
                                                       {"    12", "Bogdan"},
                                                       {"    11", "Ana"}}));
  EXPECT_TRUE(model.currentRows().empty());
  EXPECT_EQ(model.positionText(), "7");
  EXPECT_EQ(model.cupIndex(), 2);
  EXPECT_EQ(model.diskIndex(), 1);
  EXPECT_FALSE(model.modifyEnabled());
  EXPECT_EQ(model.markerRow(), -1);
}

TEST(ListaLucruModelTest, KeptDiskIsSelectedByItsText) {
  const SampleList requests;
  const std::pair<int32_t, int> cases[] = {{1, 0}, {2, 1}, {3, 2}, {0, -1}, {10, -1}};
  for (const auto& [disk, index] : cases) {
    EXPECT_EQ(ListaLucruModel(requests, 1, disk).diskIndex(), index) << disk;
  }
}

TEST(ListaLucruModelTest, ThreeAddsTakeConsecutivePositionsAndTheNextDialogContinues) {
  const SampleList requests = FourRequests();
  ListaLucruModel model(requests, 7, 1);
  model.SelectDisk(2);
  model.SelectCup(0);
  for (int i = 0; i < 3; ++i) model.Add(0);
  EXPECT_EQ(model.positionText(), "10");
  EXPECT_EQ(model.currentRows(),
            (std::vector<RowTexts>{{" ", "1", "    14", "3/7", "Standard Cup", "Dana", ""},
                                   {" ", "2", "    13", "3/8", "Standard Cup", "Cristi", "urine"},
                                   {" ", "3", "    12", "3/9", "Standard Cup", "Bogdan", "SERUM"}}));
  EXPECT_EQ(Column(model.requestRows(), 0), std::vector<std::string>{"    11"});

  ASSERT_TRUE(model.Ok(kConfirmed));
  EXPECT_EQ(model.TakeFrames().size(), 3u);
  EXPECT_EQ(model.nextPosition(), 10);
  EXPECT_EQ(model.currentDisk(), 3);

  const ListaLucruModel next(requests, model.nextPosition(), model.currentDisk());
  EXPECT_EQ(next.positionText(), "10");
  EXPECT_EQ(next.diskIndex(), 2);
  // The run was the dialog's own: the next one lists every request again.
  EXPECT_EQ(next.requestRows().size(), 4u);
}

TEST(ListaLucruModelTest, TheExampleRequestGivesTheAnalysersFrameByteForByte) {
  const SampleList requests = MakeRequests({{1021, "Pop Ion", "URINA", {"BIL", "UBG"}}});
  ListaLucruModel model(requests, 5, 2);
  model.Add(0);
  ASSERT_TRUE(model.Confirm(kConfirmed));
  const std::vector<QueuedFrame> frames = model.TakeFrames();
  ASSERT_EQ(frames.size(), 1u);
  const std::string expected = std::string("\x02W10000") + "1021          " + "0" + std::string(18, ' ') +
                               "1903061407" + "2" + "05" + "2" + "3" + "3" + "00100001" + "002" + "BILUBG" +
                               "\x03\r\n";
  EXPECT_EQ(frames[0].frame, expected);
  EXPECT_EQ(frames[0].requestId, 1021);
  EXPECT_EQ(frames[0].analysisCodes, (std::vector<std::string>{"BIL", "UBG"}));
}

TEST(ListaLucruModelTest, InsertBeforeNumbersTheRowsAgainAndTheMarkerStaysOnItsRow) {
  const SampleList requests = FourRequests();
  ListaLucruModel model(requests, 1, 1);
  AddId(model, 11);
  AddId(model, 12);
  model.ClickCurrent(1);
  model.InsertBefore(1, RequestRow(model, 14));
  EXPECT_EQ(model.currentRows(), (std::vector<RowTexts>{{" ", "1", "    11", "1/1", "Tube", "Ana", "URINA"},
                                                       {" ", "2", "    14", "", "", "Dana", ""},
                                                       {">", "3", "    12", "1/2", "Tube", "Bogdan", "SERUM"}}));
  EXPECT_EQ(model.markerRow(), 2);
  // A marker above the insertion does not move.
  model.ClickCurrent(0);
  model.InsertBefore(2, RequestRow(model, 13));
  EXPECT_EQ(model.markerRow(), 0);
  EXPECT_EQ(Column(model.currentRows(), 2), (std::vector<std::string>{"    11", "    14", "    13", "    12"}));
  EXPECT_TRUE(model.requestRows().empty());
  EXPECT_EQ(model.positionText(), "3");
}

TEST(ListaLucruModelTest, InsertBeforeNeedsBothRows) {
  const SampleList requests = FourRequests();
  const std::pair<int, int> cases[] = {{-1, 0}, {0, -1}, {1, 0}, {0, 3}};
  for (const auto& [currentRow, requestRow] : cases) {
    ListaLucruModel model(requests, 1, 1);
    AddId(model, 11);
    model.InsertBefore(currentRow, requestRow);
    EXPECT_EQ(model.entryCount(), 1u) << currentRow << "," << requestRow;
    EXPECT_EQ(model.requestRows().size(), 3u);
  }
}

TEST(ListaLucruModelTest, AnInsertedEntryNeverEditedIsSentWithoutAPlace) {
  const SampleList requests = FourRequests();
  ListaLucruModel model(requests, 1, 1);
  AddId(model, 11);
  model.InsertBefore(0, RequestRow(model, 13));
  ASSERT_TRUE(model.Confirm(kConfirmed));
  const std::vector<QueuedFrame> frames = model.TakeFrames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].requestId, 13);
  // Disk, position, sample type, "3", cup.
  EXPECT_EQ(frames[0].frame.substr(50, 6), "000230");
  EXPECT_EQ(frames[1].frame.substr(50, 6), "101233");
}

TEST(ListaLucruModelTest, MoveBackNumbersAgainAndReturnsTheRequest) {
  const SampleList requests = FourRequests();
  struct Case {
    int marker;
    int movedRow;
    int markerAfter;
  };
  const Case cases[] = {{2, 0, 1}, {0, 0, -1}, {0, 2, 0}, {-1, 1, -1}};
  for (const Case& c : cases) {
    ListaLucruModel model(requests, 4, 1);
    for (int32_t id : {11, 12, 13}) AddId(model, id);
    model.ClickCurrent(c.marker);
    const std::string movedId = model.currentRows()[static_cast<size_t>(c.movedRow)][2];
    const std::string movedName = model.currentRows()[static_cast<size_t>(c.movedRow)][5];
    model.MoveBack(c.movedRow);
    EXPECT_EQ(Column(model.currentRows(), 1), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(model.markerRow(), c.markerAfter) << c.marker << " " << c.movedRow;
    EXPECT_EQ(model.requestRows().back(), (RowTexts{movedId, movedName}));
    // The position edit goes on from where it was.
    EXPECT_EQ(model.positionText(), "7");
  }
}

TEST(ListaLucruModelTest, TypedRequestIdAddsOrSaysItIsUnknown) {
  const SampleList requests = FourRequests();
  platform::MessageBoxRecorder boxes;
  ListaLucruModel model(requests, 3, 1);
  model.SetRequestIdText("77");
  EXPECT_FALSE(model.Ok(kConfirmed));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Nu gasesc datele cererii 77 !"});
  EXPECT_EQ(model.requestIdText(), "");
  EXPECT_EQ(model.entryCount(), 0u);

  model.SetRequestIdText("12");
  EXPECT_FALSE(model.Ok(kConfirmed));
  EXPECT_EQ(model.requestIdText(), "");
  EXPECT_EQ(model.currentRows(), (std::vector<RowTexts>{{" ", "1", "    12", "1/3", "Tube", "Bogdan", "SERUM"}}));
  EXPECT_EQ(RequestRow(model, 12), -1);
  EXPECT_EQ(model.positionText(), "4");
  EXPECT_FALSE(model.confirmed());
}

TEST(ListaLucruModelTest, ARequestTypedTwiceIsMovedBackByItsOwnRow) {
  const SampleList requests = FourRequests();
  ListaLucruModel model(requests, 1, 1);
  AddId(model, 12);
  model.SetRequestIdText("12");
  model.AddById();
  ASSERT_EQ(Column(model.currentRows(), 3), (std::vector<std::string>{"1/1", "1/2"}));
  model.MoveBack(1);
  EXPECT_EQ(Column(model.currentRows(), 3), std::vector<std::string>{"1/1"});
  model.MoveBack(0);
  EXPECT_EQ(Column(model.requestRows(), 0),
            (std::vector<std::string>{"    14", "    13", "    11", "    12"}));
}

TEST(ListaLucruModelTest, ReloadListsOnlyTheRequestsNotInTheRun) {
  const SampleList requests = FourRequests();
  ListaLucruModel model(requests, 1, 1);
  AddId(model, 12);
  AddId(model, 14);
  AddId(model, 11);
  model.MoveBack(2);
  model.Reload();
  EXPECT_EQ(model.requestRows(), (std::vector<RowTexts>{{"    13", "Cristi"}, {"    11", "Ana"}}));
}

TEST(ListaLucruModelTest, CancelDropsTheRunAndLeavesTheRequests) {
  const SampleList requests = FourRequests();
  ListaLucruModel model(requests, 5, 3);
  AddId(model, 12);
  AddId(model, 13);
  model.Cancel();
  EXPECT_EQ(model.entryCount(), 0u);
  EXPECT_FALSE(model.confirmed());
  EXPECT_TRUE(model.TakeFrames().empty());
  EXPECT_EQ(model.nextPosition(), 5);
  EXPECT_EQ(model.currentDisk(), 3);
  std::vector<int32_t> ids;
  size_t groups = 0;
  for (const SampleRecord& request : requests) {
    ids.push_back(request.requestId);
    groups += request.groups.size();
    EXPECT_EQ(request.disk, 0);
    EXPECT_EQ(request.position, 0);
  }
  EXPECT_EQ(ids, (std::vector<int32_t>{11, 12, 13, 14}));
  EXPECT_EQ(groups, 5u);
}

TEST(ListaLucruModelTest, WithoutACupOrDiskChosenTheEntryGoesWithNone) {
  const SampleList requests = FourRequests();
  ListaLucruModel model(requests, 1, 1);
  model.SelectCup(-1);
  model.SelectDisk(3);
  EXPECT_EQ(model.diskIndex(), -1);
  AddId(model, 11);
  EXPECT_EQ(model.currentRows()[0], (RowTexts{" ", "1", "    11", "0/1", "", "Ana", "URINA"}));
  ASSERT_TRUE(model.Confirm(kConfirmed));
  EXPECT_EQ(model.TakeFrames()[0].frame.substr(50, 6), "001230");
  EXPECT_EQ(model.currentDisk(), 0);
}

TEST(ListaLucruModelTest, ConfirmingAnEmptyRunQueuesNothingAndKeepsThePlace) {
  const SampleList requests = FourRequests();
  ListaLucruModel model(requests, 1, 1);
  model.SetPositionText("42");
  model.SelectDisk(1);
  EXPECT_TRUE(model.Ok(kConfirmed));
  EXPECT_TRUE(model.TakeFrames().empty());
  EXPECT_EQ(model.nextPosition(), 42);
  EXPECT_EQ(model.currentDisk(), 2);
}

// An entry whose frame would not fit is refused where it is put in, with nothing changed.
enum class Way { kAdd, kTyped, kInsert };

struct FitCase {
  const char* name;
  Way way;
  std::string position;
  size_t analyses;
  size_t codeLength;
  std::string message;  // empty: taken
};

class ListaLucruFitTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(ListaLucruFitTest, RefusesWhatWouldNotFitTheFrame) {
  const FitCase& c = GetParam();
  SampleList requests = MakeRequests({{1, "Ana", "URINA", {"BIL"}}});
  std::vector<std::string> codes(c.analyses, std::string(c.codeLength / c.analyses, 'X'));
  codes.back() += std::string(c.codeLength % c.analyses, 'X');
  requests.append(MakeRequest({5, "Pop", "URINA", codes}));

  platform::MessageBoxRecorder boxes;
  ListaLucruModel model(requests, 1, 1);
  AddId(model, 1);
  model.SetPositionText(c.position);
  switch (c.way) {
    case Way::kAdd:
      AddId(model, 5);
      break;
    case Way::kTyped:
      model.SetRequestIdText("5");
      model.AddById();
      break;
    case Way::kInsert:
      model.InsertBefore(0, RequestRow(model, 5));
      break;
  }
  if (c.message.empty()) {
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(model.entryCount(), 2u);
    ASSERT_TRUE(model.Confirm(kConfirmed));
    const std::vector<QueuedFrame> frames = model.TakeFrames();
    EXPECT_EQ(frames.size(), 2u);
    for (const QueuedFrame& frame : frames) EXPECT_EQ(frame.frame.size(), 70 + JoinedSize(frame.analysisCodes));
    return;
  }
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{c.message});
  EXPECT_EQ(model.entryCount(), 1u);
  EXPECT_NE(RequestRow(model, 5), -1);
  EXPECT_EQ(model.positionText(), c.position);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListaLucruFitTest,
    ::testing::Values(
        FitCase{"position_99_fits", Way::kAdd, "99", 2, 20, ""},
        FitCase{"position_100", Way::kAdd, "100", 2, 20, "Cererea 5: pozitia 100 nu incape in lista (0-99)"},
        FitCase{"typed_position_100", Way::kTyped, "100", 2, 20,
                "Cererea 5: pozitia 100 nu incape in lista (0-99)"},
        FitCase{"negative_position", Way::kAdd, "-1", 2, 20, "Cererea 5: pozitia -1 nu incape in lista (0-99)"},
        FitCase{"codes_of_229_fit", Way::kAdd, "4", 3, 229, ""},
        FitCase{"codes_of_230", Way::kAdd, "4", 23, 230,
                "Cererea 5: codurile analizelor au 230 caractere, cel mult 229 incap in lista"},
        FitCase{"inserted_codes_of_230", Way::kInsert, "4", 23, 230,
                "Cererea 5: codurile analizelor au 230 caractere, cel mult 229 incap in lista"},
        FitCase{"typed_codes_of_230", Way::kTyped, "4", 23, 230,
                "Cererea 5: codurile analizelor au 230 caractere, cel mult 229 incap in lista"},
        FitCase{"analyses_1000", Way::kAdd, "4", 1000, 1000,
                "Cererea 5: 1000 analize, cel mult 999 incap in lista"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ListaLucruModelTest, AConfirmationThatCannotDateItsFramesQueuesNothing) {
  const SampleList requests = FourRequests();
  platform::MessageBoxRecorder boxes;
  ListaLucruModel model(requests, 1, 1);
  AddId(model, 11);
  AddId(model, 12);
  EXPECT_FALSE(model.Ok(At(2100, 1, 1, 0, 0)));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Anul 2100 nu incape in lista (2000-2099)"});
  EXPECT_FALSE(model.confirmed());
  EXPECT_TRUE(model.TakeFrames().empty());
  EXPECT_EQ(model.entryCount(), 2u);
  EXPECT_EQ(model.nextPosition(), 1);
}

TEST(ListaLucruModelTest, ModifyEditsTheRowsEntryAndShowsItsPlace) {
  const SampleList requests = FourRequests();
  platform::MessageBoxRecorder boxes;
  ListaLucruModel model(requests, 1, 1);
  AddId(model, 11);
  model.InsertBefore(0, RequestRow(model, 12));

  EXPECT_FALSE(model.Modify(-1, [](SampleRecord&) { FAIL(); }));
  EXPECT_FALSE(model.Modify(2, [](SampleRecord&) { FAIL(); }));
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Eroare: Item negasit", "Eroare: Item negasit"}));

  // Even an editor that changes nothing shows the inserted entry's place.
  EXPECT_TRUE(model.Modify(0, [](SampleRecord& entry) { EXPECT_EQ(entry.requestId, 12); }));
  EXPECT_EQ(model.currentRows()[0], (RowTexts{" ", "1", "    12", "0/0", "", "Bogdan", "SERUM"}));
  EXPECT_TRUE(model.Modify(1, [](SampleRecord& entry) {
    entry.disk = 3;
    entry.position = 12;
    entry.cupTypeText = "Micro Cup";
  }));
  EXPECT_EQ(model.currentRows()[1], (RowTexts{" ", "2", "    11", "3/12", "Micro Cup", "Ana", "URINA"}));
}

TEST(ListaLucruModelTest, MarkerFollowsClicksAndArrowKeysWithinTheList) {
  const SampleList requests = FourRequests();
  ListaLucruModel model(requests, 1, 1);
  for (int32_t id : {11, 12, 13}) AddId(model, id);
  struct Step {
    char action;  // 'c' click, 'u' up, 'd' down
    int selected;
    int marker;
  };
  const Step steps[] = {{'c', 1, 1}, {'u', 1, 0}, {'u', 0, 0}, {'d', 1, 2}, {'d', 2, 2},
                        {'u', -1, 2}, {'c', -1, -1}, {'c', 5, -1}};
  for (const Step& step : steps) {
    if (step.action == 'c') model.ClickCurrent(step.selected);
    if (step.action == 'u') model.KeyUp(step.selected);
    if (step.action == 'd') model.KeyDown(step.selected);
    EXPECT_EQ(model.markerRow(), step.marker) << step.action << step.selected;
    std::vector<std::string> markers(3, " ");
    if (step.marker >= 0) markers[static_cast<size_t>(step.marker)] = ">";
    EXPECT_EQ(Column(model.currentRows(), 0), markers);
  }
}

TEST(ListaLucruModelTest, ModifyIsAvailableWhileTheRunOrTheButtonHasTheFocus) {
  const SampleList requests;
  ListaLucruModel model(requests, 1, 1);
  model.CurrentListFocusGained();
  EXPECT_TRUE(model.modifyEnabled());
  model.CurrentListFocusLost("Modific");
  EXPECT_TRUE(model.modifyEnabled());
  model.CurrentListFocusLost("OK");
  EXPECT_FALSE(model.modifyEnabled());
  model.CurrentListFocusGained();
  model.CurrentListFocusLost("");
  EXPECT_FALSE(model.modifyEnabled());
}

}  // namespace
}  // namespace strivex
