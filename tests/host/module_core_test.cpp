// The module without its window, on real parts: a SQLite settings file, pseudo-terminals for the
// analyser (the simulator program, for the road of one result), and the development server.

#include "host/module_core.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <csignal>
#include <sys/stat.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "db/db_session_fixture.h"
#include "host/module_view.h"
#include "host/outside_lines_notice.h"
#include "host/processing_thread.h"
#include "host/upload_thread.h"
#include "host/recording_view.h"
#include "host/upload_rig.h"
#include "host/status_panel.h"
#include "db/silent_server.h"
#include "support/lab_cluster.h"
#include "outbox/outbox_store.h"
#include "platform/message_box.h"
#include "support/background_process.h"
#include "support/module_rig.h"
#include "support/relay_server.h"
#include "support/wait_for.h"
#include "util/format.h"
#include "util/log_files.h"
#include "util/timings.h"
#include "support/link_holder.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;
using testing::Occurrences;
using testing::ReadFile;
using testing::RecordingView;
using testing::WaitFor;

// What the processing thread works with when a test runs it on its own thread.
struct ProcessingRig {
  explicit ProcessingRig(ModuleView& view) {
    context.reception.Attach(&port, &receive);
    context.upload.Attach(&queue, nullptr);
    context.shown.Attach(&view, nullptr);
    context.reception.SetInstrument("Strivex", 0);
  }
  PortSerial port;
  ReceiveContext receive;
  ResultQueue queue;
  ModuleContext context;
};

class ModuleCoreTest : public ::testing::Test {
 protected:
  std::string LocalPath() const { return rig_.LocalPath(); }

  bool UseLabServer() {
    lab_ = testing::LabConnectionString();
    if (lab_.empty()) {
      if (testing::LabDatabaseRequired()) ADD_FAILURE() << "STRIVEX_LAB_CONNSTR is not set";
      return false;
    }
    rig_.UseServer(lab_);
    return true;
  }

  void SetSetting(const std::string& name, const std::string& value) {
    BazaDeDate local;
    local.DeschidBazaLocala(LocalPath(), "quomar", 1);
    local.SQLCommand(Format("INSERT INTO MACHINE_SETTINGS (MachineID, NAME, VALUE) VALUES (5, '%s', '%s')",
                            name.c_str(), value.c_str()),
                     0);
  }

  // The window's confirmation, then the lookup's answer (the view runs it at once).
  static void Confirm(ModuleCore& core) {
    core.ConfirmRequestCode();
    core.requestCodeLookup().Join();
  }

  std::unique_ptr<ModuleCore> Start(uint8_t serverUnavailable, int32_t machineId = 5,
                                    SteadyClock clock = RealSteadyClock()) {
    host_ = std::make_unique<HostRecordBuffer>(machineId, "Strivex", LocalPath(), 1);
    host_->record().SetFlag(HostRecord::kServerUnavailable, serverUnavailable);
    auto core = std::make_unique<ModuleCore>(host_->record(), view_, std::move(clock));
    core->Initialize(0x1234);
    return core;
  }

  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};
  testing::ModuleRig rig_{dir_.path(), 65541};
  platform::MessageBoxRecorder boxes_;
  RecordingView view_;
  std::unique_ptr<HostRecordBuffer> host_;
  std::string lab_;
};

// What the reader leaves when a stop comes: `bytes` received, in `state`.
void StopWith(ReceiveContext& receive, const std::string& bytes, int32_t state) {
  receive.data.reset(new char[bytes.size() + 1]);
  std::copy(bytes.begin(), bytes.end(), receive.data.get());
  receive.length.store(static_cast<int32_t>(bytes.size()));
  receive.capacity.store(static_cast<int32_t>(bytes.size() + 1));
  receive.state.store(state);
  receive.stop.store(1);
}


TEST_F(ModuleCoreTest, FirstStartWritesDefaultsThatTheNextStartUses) {
  {
    auto core = Start(/*serverUnavailable=*/1);
    EXPECT_EQ(core->localMachineId(), 5);  // the low 16 bits of 65541
    const LineSettings& dcb = core->lineSettings();
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(core->port().PortName(), "COM1");
    EXPECT_TRUE(core->port().IsOpen());
    EXPECT_EQ(view_.Caption(), "Strivex");
    // Offset 71 set by the host: the server is never tried.
    EXPECT_EQ(core->serverSession()->connected.load(), 0);
    EXPECT_EQ(core->context().server.Ids().result, 0);
    EXPECT_TRUE(boxes_.Texts().empty());
    EXPECT_EQ(ReadFile(dir_ / "_acterr.log").find("deschidere conectie"), std::string::npos);
    core->ShutdownModule();
  }
  BazaDeDate local;
  local.DeschidBazaLocala(LocalPath(), "", 1);
  ASSERT_TRUE(local.GetRecords("SELECT NAME, VALUE FROM MACHINE_SETTINGS WHERE MachineID=5 ORDER BY rowid", 0));
  std::vector<std::string> rows;
  do rows.push_back(local.ValoareColoana("NAME", 0).strVal + "=" + local.ValoareColoana("VALUE", 0).strVal);
  while (local.NextElementTabel(0));
  EXPECT_EQ(rows, (std::vector<std::string>{"port=com1", "Baud Rate=9600", "Byte Size=7", "Parity=odd",
                                            "Stop Bits=1 stop bit"}));

  auto again = Start(1);
  EXPECT_EQ(again->lineSettings().ByteSize, 7);
  EXPECT_EQ(again->lineSettings().Parity, ODDPARITY);
  EXPECT_EQ(again->port().PortName(), "com1");
  EXPECT_TRUE(again->port().IsOpen());  // COM ports in any case
  again->ShutdownModule();
}

// The record is an interface between two separately built programs: the module must read the
// host's fields and write its own at the agreed offsets, byte for byte.
TEST_F(ModuleCoreTest, HostRecordRoundTripThroughStartAndShutdown) {
  host_ = std::make_unique<HostRecordBuffer>(0x01020305, "Strivex", LocalPath(), 0);
  const uint8_t* bytes = host_->data();
  host_->record().SetFlag(HostRecord::kServerUnavailable, 1);
  EXPECT_EQ((std::vector<uint8_t>(bytes + 16, bytes + 20)), (std::vector<uint8_t>{5, 3, 2, 1}));
  EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 20), "Strivex");
  EXPECT_EQ(bytes[71], 1);
  EXPECT_EQ(bytes[74], 0);
  // Offset 76 holds where the path text starts, inside the same allocation.
  uint32_t pathAt = 0;
  std::memcpy(&pathAt, bytes + 76, 4);
  EXPECT_GE(pathAt, HostRecord::kMinimumSize);
  EXPECT_EQ(reinterpret_cast<const char*>(bytes + pathAt), LocalPath());

  {
    ModuleCore core(host_->record(), view_);
    core.Initialize(0x01020304);
    EXPECT_EQ((std::vector<uint8_t>(bytes, bytes + 4)), (std::vector<uint8_t>{4, 3, 2, 1}));
    EXPECT_EQ(bytes[4], 1);   // module active
    EXPECT_EQ(bytes[12], 1);  // window shown
    EXPECT_EQ(bytes[80], 1);  // initialised
    EXPECT_EQ(core.context().server.Ids().host, 0x01020305);
    EXPECT_EQ(view_.Caption(), "Strivex");
    EXPECT_EQ(core.localMachineId(), 5);  // found through the path at offset 76
    core.ShutdownModule();
    EXPECT_EQ(bytes[4], 0);
    EXPECT_EQ(bytes[73], 1);  // start acknowledged
    EXPECT_EQ(bytes[80], 0);
    EXPECT_EQ(bytes[74], 0);  // the host's own field is left alone
  }

  // A name longer than its 51 bytes keeps 50 and the terminator.
  HostRecordBuffer longName(5, std::string(60, 'N'), LocalPath());
  EXPECT_EQ(longName.data()[70], 0);
  EXPECT_EQ(longName.record().InstrumentName(), std::string(50, 'N'));
}

TEST_F(ModuleCoreTest, PortThatCannotOpenLeavesTheMenuClosed) {
  SetSetting("Port", "ttyUSB97");
  auto core = Start(1);
  EXPECT_FALSE(core->port().IsOpen());
  EXPECT_EQ(view_.MenuStates(), std::vector<MenuState>{MenuState::kPortClosed});
  EXPECT_FALSE(core->OpenPort());
  core->ShutdownModule();
  EXPECT_EQ(host_->record().Flag(HostRecord::kInitialised), 0);
  EXPECT_EQ(host_->record().Flag(HostRecord::kStartAck), 1);
  EXPECT_EQ(host_->record().Flag(HostRecord::kModuleActive), 0);
  EXPECT_EQ(view_.Deletes(), 1);
}

TEST_F(ModuleCoreTest, ServerConnectionLoadsTheCodeLists) {
  if (!UseLabServer()) GTEST_SKIP() << "no development server";
  auto core = Start(0);
  ModuleContext& context = core->context();
  EXPECT_TRUE(context.server.Connected());
  EXPECT_EQ(context.server.Ids().result, 5);
  const CodeLists codes = testing::CodesOf(context.server);
  ASSERT_EQ(codes.investigation.size(), 12u);
  EXPECT_EQ(codes.investigation[0].investigationCode, "S_TRV");
  EXPECT_EQ(codes.replacement.size(), 2u);
  EXPECT_TRUE(boxes_.Texts().empty());

  view_.SetRequestCodeText("1021");
  Confirm(*core);
  EXPECT_EQ(view_.PatientTexts().back(), "1021 - Popescu Ion");
  EXPECT_EQ(view_.RequestCodeText(), "");
  EXPECT_EQ(core->context().reception.requestId(), 1021);

  view_.SetRequestCodeText("81024");  // a bar code
  Confirm(*core);
  EXPECT_EQ(view_.PatientTexts().back(), "1024 - Dumitrescu Gheorghe");

  view_.SetRequestCodeText("999999");
  Confirm(*core);
  EXPECT_EQ(view_.PatientTexts().back(), "0");
  EXPECT_EQ(view_.RequestCodeText(), "999999");
  EXPECT_EQ(core->context().reception.requestId(), 0);

  view_.SetRequestCodeText("");
  Confirm(*core);
  EXPECT_EQ(view_.Hides(), 1);
  EXPECT_EQ(host_->record().Flag(HostRecord::kWindowShown), 0);
  core->ShutdownModule();
}

// A lookup whose statement fails still changed the request the next message goes to: the field
// must name that number, not the patient looked up before.
TEST_F(ModuleCoreTest, AFailedLookupShowsTheTypedNumberNotThePreviousPatient) {
  if (!UseLabServer()) GTEST_SKIP() << "no development server";
  auto core = Start(0);
  view_.SetRequestCodeText("1027");
  Confirm(*core);
  ASSERT_EQ(view_.PatientTexts().back().rfind("1027 - ", 0), 0u) << view_.PatientTexts().back();

  int32_t pid = 0;
  {
    const testing::LinkHolder session(core->context().server);
    ASSERT_TRUE(core->serverSession()->GetRecords("SELECT pg_backend_pid() AS pid", 1));
    pid = core->serverSession()->ValoareColoana("pid", 1).intVal;
    core->serverSession()->InchidTabel(1);
    BazaDeDate admin;
    ASSERT_TRUE(admin.DeschidConectie(lab_, 1));
    ASSERT_TRUE(admin.GetRecords(Format("SELECT pg_terminate_backend(%d) AS done", pid), 0));
    admin.InchidConectie();
  }
  view_.SetRequestCodeText("1022");
  Confirm(*core);
  EXPECT_EQ(view_.PatientTexts().back(), "1022");
  EXPECT_EQ(core->context().reception.requestId(), 1022);
  core->ShutdownModule();
}

TEST_F(ModuleCoreTest, RefusedServerIsReportedAndMarkedUnavailable) {
  if (!UseLabServer()) GTEST_SKIP() << "no development server";
  BazaDeDate local;
  local.DeschidBazaLocala(LocalPath(), "", 1);
  local.SQLCommand("UPDATE Medianex_Init SET Valoare='wrong' where Proprietate='Parola'", 0);
  auto core = Start(0);
  // Told without holding the start, and the status file says so at once.
  EXPECT_TRUE(boxes_.Texts().empty());
  EXPECT_EQ(view_.Notices(), std::vector<std::string>{"Nu pot accesa baza de date de pe server !"});
  std::string error;
  ASSERT_TRUE(WaitFor([&] { return ReadStatusFile((dir_ / kStatusFileName).string(), error).has_value(); }, 5s));
  EXPECT_EQ(ReadStatusFile((dir_ / kStatusFileName).string(), error)->server, ServerState::kUnavailable);
  EXPECT_EQ(host_->record().Flag(HostRecord::kServerUnavailable), 1);
  EXPECT_EQ(core->context().server.Ids().result, 0);
  EXPECT_TRUE(testing::CodesOf(core->context().server).investigation.empty());

  view_.SetRequestCodeText("1021");
  Confirm(*core);  // without the server the typed code is taken as it is
  EXPECT_EQ(view_.PatientTexts().back(), "1021");
  EXPECT_EQ(core->context().reception.requestId(), 1021);
  core->ShutdownModule();
}

// A stop must not throw away what arrived: a complete message still waiting, or the part of a
// report received before the stop, is logged raw and its samples are queued and committed.
TEST_F(ModuleCoreTest, StopKeepsWhatArrivedBeforeIt) {
  const std::string report = ReadFile(std::filesystem::path(STRIVEX_TEST_DATA_DIR) / "reports/one-sample.txt");
  const struct {
    const char* name;
    int32_t state;
    std::string bytes;
    size_t samples;
  } cases[] = {
      {"complete, not yet served", RX_COMPLETE, report, 1},
      {"half a report", RX_RECEIVING, report.substr(0, report.size() / 2), 1},
      {"a few bytes", RX_SILENCE, "ID", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir_ / "_Strivex.log");
    std::filesystem::remove(dir_ / kOutboxFileName);
    std::string error;
    auto outbox = OutboxStore::Open(kOutboxFileName, OutboxStore::OpenMode::kCreate, error);
    ASSERT_TRUE(outbox) << error;
    ProcessingRig rig(view_);
    ModuleContext& context = rig.context;
    ReceiveContext& receive = rig.receive;
    ResultQueue& queue = rig.queue;
    context.upload.SetOutbox(outbox.get());
    StopWith(receive, c.bytes, c.state);
    ProcessingThread(context.ForProcessing());
    EXPECT_EQ(receive.state.load(), RX_CONSUMER_DONE);
    EXPECT_EQ(ReadFile(dir_ / "_Strivex.log"), c.bytes);
    EXPECT_EQ(queue.Size(), c.samples);
    EXPECT_EQ(outbox->Stats().pending > 0, c.samples > 0);
    EXPECT_EQ(receive.capacity.load(), 0);
  }
}

// A processing thread that fails unexpectedly stops the reception instead of leaving the stop
// waiting for it; the operator is told once and the status file will name it.
TEST_F(ModuleCoreTest, AProcessingThreadThatFailsEndsTheReceptionAndIsTold) {
  ProcessingRig rig(view_);
  ModuleContext& context = rig.context;
  context.workers.SetNotify([this](const std::string& notice) { view_.NotifyOperator(notice); });
  context.reception.SetPortWatch([] { throw std::runtime_error("stare imposibila"); });
  ProcessingThread(context.ForProcessing());
  EXPECT_EQ(rig.receive.state.load(), RX_CONSUMER_DONE);
  EXPECT_EQ(context.workers.StoppedWorkers(), std::vector<std::string>{"processing"});
  EXPECT_EQ(view_.Notices(), std::vector<std::string>{Format(kWorkerStoppedNotice, "Prelucrarea mesajelor",
                                                             "stare imposibila")});
}

// The adapter is unplugged while " COL    yellow" is sent; another analyser's report follows on
// the same port and its first line end would complete the torn line as "COL" with no value.
TEST_F(ModuleCoreTest, ALineTheDeviceLossCutIsLeftOutAndTold) {
  const std::string report = ReadFile(std::string(STRIVEX_TEST_DATA_DIR) + "/reports/one-sample.txt");
  auto core = Start(1);
  const size_t cut = report.find(" COL ") + 5;
  rig_.pty().Write(report.substr(0, cut));
  ASSERT_TRUE(WaitFor([&] { return core->context().reception.receive()->length.load() == static_cast<int32_t>(cut); }, 5s));
  rig_.pty().CloseMaster();
  ASSERT_TRUE(WaitFor([&] { return core->PortLost(); }, 5s));
  testing::PtyPair replugged;
  std::filesystem::remove(dir_ / "dev" / "ttyS0");
  std::filesystem::create_symlink(replugged.slavePath(), dir_ / "dev" / "ttyS0");
  ASSERT_TRUE(WaitFor([&] { return core->port().IsOpen(); }, 10s));
  std::string next = report;
  replugged.Write(next.replace(next.find("30512"), 5, "30513"));
  ASSERT_TRUE(WaitFor([&] { return view_.RowCount() == 2; }, 15s));
  std::map<int32_t, std::string> results;
  for (const OutboxRow& row : core->outbox()->List(std::nullopt)) results[row.requestId] += row.parameterCode + " ";
  EXPECT_EQ(results[30512], "LEU NIT URO PRO pH BLD SG KET BIL GLU ASC ");  // no header of the next
  EXPECT_EQ(results[30513], "LEU NIT URO PRO pH BLD SG KET BIL GLU ASC COL ");
  const std::string told = Format(kTornLineOfRequest, " COL ", 30512);
  EXPECT_NE(ReadFile(dir_ / "_acterr.log").find(told), std::string::npos);
  const std::vector<std::string> notices = view_.Notices();
  EXPECT_EQ(std::count(notices.begin(), notices.end(), told), 1);
  core->ShutdownModule();
}

// The processing thread's whole life for one complete message: it is served, then the thread ends.
void ProcessOneMessage(ModuleContext& context, const std::string& message) {
  PortSerial port;
  ReceiveContext receive;
  context.reception.Attach(&port, &receive);
  StopWith(receive, message, RX_COMPLETE);
  ProcessingThread(context.ForProcessing());
}

// An outbox that stops taking writes (a full disk): the operator is told once, the raw log is
// still written, the results still go on their way from memory, and what was committed before
// stays.
TEST_F(ModuleCoreTest, AnOutboxThatCannotBeWrittenIsSaidOnceAndKeepsWhatItHad) {
  const std::string report = ReadFile(std::filesystem::path(STRIVEX_TEST_DATA_DIR) / "reports/one-sample.txt");
  std::string error;
  auto outbox = OutboxStore::Open(kOutboxFileName, OutboxStore::OpenMode::kCreate, error);
  ASSERT_TRUE(outbox) << error;
  ResultQueue queue;
  ModuleContext context;
  context.upload.Attach(&queue, outbox.get());
  context.shown.Attach(&view_, nullptr);
  context.reception.SetInstrument("Strivex", 0);
  const auto deliver = [&] { ProcessOneMessage(context, report); };
  deliver();
  ASSERT_EQ(outbox->Stats().pending, 12);

  // The disk is full: the outbox's files may not grow any more.
  struct stat wal {};
  ASSERT_EQ(::stat((dir_ / (std::string(kOutboxFileName) + "-wal")).c_str(), &wal), 0);
  signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  getrlimit(RLIMIT_FSIZE, &previous);
  const rlimit full{static_cast<rlim_t>(wal.st_size), previous.rlim_max};
  setrlimit(RLIMIT_FSIZE, &full);
  deliver();
  deliver();
  setrlimit(RLIMIT_FSIZE, &previous);

  EXPECT_EQ(view_.Notices().size(), 1u) << "told once, not per message";
  EXPECT_EQ(ReadFile(dir_ / "_Strivex.log"), report + report + report);
  ASSERT_EQ(queue.Size(), 3u);
  EXPECT_EQ(outbox->Stats().pending, 12) << "what was committed stays";
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(queue.Head()->outboxMessageId != 0, i == 0) << "batch " << i;
    queue.RemoveHead();
  }
}

// Escaped fields of the interpret tool's output, as bytes.
std::string Unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() + 1 && field[i + 1] == 'x') {
      out.push_back(static_cast<char>(std::stoi(field.substr(i + 2, 2), nullptr, 16)));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

struct StoredResult {
  int requestId, machineId, investigationId, detailId;
  std::string value;
  friend bool operator==(const StoredResult&, const StoredResult&) = default;
};

std::ostream& operator<<(std::ostream& os, const StoredResult& r) {
  return os << r.requestId << "/" << r.machineId << "/" << r.investigationId << "/" << r.detailId << "/" << r.value;
}

// What the results of a recorded report become in the laboratory database.
std::vector<StoredResult> ExpectedRows(const std::string& expectedFile) {
  const std::map<std::string, int> details = {{"LEU", 1}, {"NIT", 2}, {"URO", 3}, {"PRO", 4},
                                              {"pH", 5},  {"BLD", 6}, {"SG", 7},  {"KET", 8},
                                              {"BIL", 9}, {"GLU", 10}, {"ASC", 11}, {"COL", 12}};
  std::vector<StoredResult> rows;
  std::istringstream lines(ReadFile(expectedFile));
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
    if (fields.size() < 4 || fields[0] == "-") continue;  // unassigned results are never stored
    const auto detail = details.find(fields[2]);
    rows.push_back({std::stoi(fields[0]), 5, 1, detail == details.end() ? 0 : detail->second, Unescape(fields[3])});
  }
  return rows;
}

std::vector<StoredResult> StoredRows(BazaDeDate& lab, const std::string& requestIds) {
  std::vector<StoredResult> rows;
  if (!lab.GetRecords("SELECT request_id, machine_id, investigation_id, detail_id, value FROM lab_results "
                      "WHERE machine_id = 5 AND request_id IN (" + requestIds + ") ORDER BY id",
                      1)) {
    return rows;
  }
  while (lab.RowAvailable(1)) {
    rows.push_back({lab.ValoareColoana("request_id", 1).intVal, lab.ValoareColoana("machine_id", 1).intVal,
                    lab.ValoareColoana("investigation_id", 1).intVal, lab.ValoareColoana("detail_id", 1).intVal,
                    lab.ValoareColoana("value", 1).strVal});
    lab.NextElementTabel(1);
  }
  return rows;
}

TEST_F(ModuleCoreTest, UploadStoresLongAndQuotedValuesWholeAndMapsCodes) {
  if (!UseLabServer()) GTEST_SKIP() << "no development server";
  BazaDeDate lab;
  ASSERT_TRUE(lab.DeschidConectie(lab_, 1));
  const int requestId = 1600000000 + static_cast<int>(getpid() % 100000000);
  ResultQueue queue;
  ModuleContext context;
  context.upload.Attach(&queue, nullptr);
  context.shown.Attach(&view_, nullptr);
  context.server.Attach(&lab);
  context.server.SetMachineIds({5, 5});
  // An analysis code under two investigations maps to the first; parameter codes are matched
  // against every detail code of the list.
  context.server.SetCodes({{}, {{1, "S_TRV", 1, "LEU"}, {2, "S_TRV", 13, "GLU"}, {3, "OTHER", 7, "SG"}}});
  SampleList samples;
  SampleRecord& sample = samples.emplace_back(requestId);
  GroupRecord& group = sample.groups.emplace_back("S_TRV");
  const std::string longValue(1000, 'x');
  const std::string values[] = {longValue, "O'Brien", "3.2 \xB5mol/l", "neg"};
  const char* codes[] = {"LEU", "SG", "GLU", "NOPE"};
  for (int i = 0; i < 4; ++i) {
    ResultRecord& result = group.results.emplace_back();
    result.parameterCode = codes[i];
    result.value = values[i];
  }
  queue.Append(std::move(samples));

  ASSERT_TRUE(UploadHeadBatch(context.ForUpload()));
  EXPECT_TRUE(queue.Empty());
  EXPECT_EQ(context.upload.progress(), 100);  // no total given: 0 while storing, then 100
  EXPECT_EQ(context.shown.repaint(), 1);
  const std::vector<StoredResult> stored = StoredRows(lab, std::to_string(requestId));
  EXPECT_EQ(stored, (std::vector<StoredResult>{{requestId, 5, 1, 1, longValue},
                                               {requestId, 5, 1, 7, "O'Brien"},
                                               {requestId, 5, 1, 13, "3.2 \xB5mol/l"}}));
  // An unmapped code goes out as detail 0, which the laboratory's database refuses.
  EXPECT_NE(ReadFile(dir_ / "_acterr.log").find(Format("(' exec L_RESULT_INSERT %d,5,1,0,'neg',' ',1 ')", requestId)),
            std::string::npos)
      << ReadFile(dir_ / "_acterr.log");
  EXPECT_NE(ReadFile(dir_ / "_Strivex_data.log").find("\r\nSG = O'Brien"), std::string::npos);
  EXPECT_NE(ReadFile(dir_ / "_Strivex_data.log").find("\r\nNOPE = neg"), std::string::npos);
  EXPECT_EQ(view_.RowCount(), 1u);
  lab.SQLCommand(Format("DELETE FROM lab_results WHERE request_id = %d", requestId), 0);

  // Without a connected server the batch is still logged, listed and dropped.
  BazaDeDate closed;
  context.server.Attach(&closed);
  SampleList more;
  more.emplace_back(requestId).groups.emplace_back("S_TRV").results.emplace_back().value = "neg";
  queue.Append(std::move(more));
  ASSERT_TRUE(UploadHeadBatch(context.ForUpload()));
  EXPECT_TRUE(StoredRows(lab, std::to_string(requestId)).empty());
  EXPECT_EQ(view_.RowCount(), 2u);
}

// A failure nobody expected while one row is handled: told once in "_acterr.log", the row ends
// rejected with the failure's text, and the upload goes on with the others.
TEST_F(ModuleCoreTest, ARowWhoseHandlingThrowsEndsRejectedAndTheUploadGoesOn) {
  if (!UseLabServer()) GTEST_SKIP() << "no development server";
  BazaDeDate lab;
  ASSERT_TRUE(lab.DeschidConectie(lab_, 1));
  const int requestId = 1700000000 + static_cast<int>(getpid() % 100000000);
  std::string error;
  auto outbox = OutboxStore::Open(kOutboxFileName, OutboxStore::OpenMode::kCreate, error);
  ASSERT_TRUE(outbox) << error;
  testing::UploadRig rig(outbox.get());
  ModuleContext& context = rig.context;
  context.server.Attach(&lab);
  context.server.SetMachineIds({5, 5});
  context.server.SetCodes({{}, {{1, "S_TRV", 1, "LEU"}, {1, "S_TRV", 13, "GLU"}, {1, "S_TRV", 7, "SG"}}});
  context.upload.SetRetryPolicy({1, 0});  // one more try, at once: the failure comes back, then it is rejected
  context.upload.SetSendFault([](const OutboxRow& row) {
    if (row.parameterCode == "GLU") throw std::length_error("basic_string::_M_create");
  });
  SampleList samples;
  GroupRecord& group = samples.emplace_back(requestId).groups.emplace_back("S_TRV");
  for (const char* code : {"LEU", "GLU", "SG"}) {
    ResultRecord& result = group.results.emplace_back();
    result.parameterCode = code;
    result.value = "neg";
  }
  ASSERT_TRUE(outbox->AddMessage(samples, GetLocalTime(), error)) << error;

  std::thread upload(UploadThread, context.ForUpload());
  const bool settled = WaitFor([&] { return outbox->Stats().pending == 0; }, 20s);
  context.upload.RequestStop();
  context.upload.wake().Notify();
  upload.join();
  ASSERT_TRUE(settled);
  EXPECT_EQ(StoredRows(lab, std::to_string(requestId)).size(), 2u);
  const std::vector<OutboxRow> rejected = outbox->List(OutboxState::kRejected);
  ASSERT_EQ(rejected.size(), 1u);
  EXPECT_EQ(rejected[0].parameterCode, "GLU");
  EXPECT_EQ(rejected[0].lastError, "basic_string::_M_create");
  EXPECT_EQ(Occurrences(ReadFile(dir_ / "_acterr.log"), "Firul upload: eroare neasteptata"), 1u);
  EXPECT_TRUE(context.workers.StoppedWorkers().empty());
  lab.SQLCommand(Format("DELETE FROM lab_results WHERE request_id = %d", requestId), 0);
}

// Machine 7's module once worked in this folder: its waiting result is neither sent by machine
// 5's module nor stored under machine 5, but counted, and goes when machine 7's module starts.
TEST_F(ModuleCoreTest, AnotherInstrumentsResultsWaitForTheirOwnModule) {
  if (!UseLabServer()) GTEST_SKIP() << "no development server";
  const int requestId = 1700000000 + static_cast<int>(getpid() % 100000000);
  {
    std::string error;
    auto outbox = OutboxStore::Open(kOutboxFileName, OutboxStore::OpenMode::kCreate, error);
    ASSERT_TRUE(outbox) << error;
    ASSERT_TRUE(outbox->SetOwner(7));
    SampleList samples;
    ResultRecord& result = samples.emplace_back(requestId).groups.emplace_back("U_STRIP").results.emplace_back();
    result.parameterCode = "GLU";
    result.value = "5.5";
    ASSERT_TRUE(outbox->AddMessage(samples, GetLocalTime(), error)) << error;
  }
  BazaDeDate lab;
  ASSERT_TRUE(lab.DeschidConectie(lab_, 1));
  const auto machinesOf = [&] {
    std::vector<int> machines;
    lab.GetRecords(Format("SELECT machine_id FROM lab_results WHERE request_id = %d", requestId), 2);
    for (; lab.RowAvailable(2); lab.NextElementTabel(2)) machines.push_back(lab.ValoareColoana("machine_id", 2).intVal);
    return machines;
  };

  auto five = Start(0, 5);
  ASSERT_TRUE(WaitFor([&] { return five->context().upload.backlog().otherMachines == 1; }, 10s));
  EXPECT_NE(BacklogLine(five->StatusNow(0)).text.find("1 ale altui aparat"), std::string::npos);
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(machinesOf().empty());
  five->ShutdownModule();
  std::string error;
  const auto status = ReadStatusFile((dir_ / kStatusFileName).string(), error);
  ASSERT_TRUE(status) << error;
  EXPECT_EQ(status->otherMachines, 1);  // counted where monitoring looks, too

  auto seven = Start(0, 7);
  ASSERT_TRUE(WaitFor([&] { return seven->outbox()->Stats().stored == 1; }, 10s));
  EXPECT_EQ(machinesOf(), std::vector<int>{7});
  EXPECT_EQ(seven->context().upload.backlog().otherMachines, 0);
  seven->ShutdownModule();
  lab.SQLCommand(Format("DELETE FROM lab_results WHERE request_id = %d", requestId), 0);
}

TEST_F(ModuleCoreTest, RelayedStartReadsCodeListsAndStoresResultsThroughTheRelay) {
  if (!UseLabServer()) GTEST_SKIP() << "no development server";
  const testing::RelayServer relay(STRIVEX_MEDIANEX_RELAY_PATH);
  ASSERT_EQ(relay.failure(), "");
  {
    BazaDeDate local;
    local.DeschidBazaLocala(LocalPath(), "", 1);
    local.SQLCommand("UPDATE Medianex_Init SET Valoare='0' where Proprietate='DirectConect'", 0);
    // The relay's own port in its address; the relay reaches the server as "127.0.0.1".
    local.SQLCommand("UPDATE Medianex_Init SET Valoare='" + relay.address() + "' where Proprietate='Adresa Server'", 0);
  }
  auto core = Start(0);
  EXPECT_EQ(core->serverSession()->direct.load(), 0);
  EXPECT_TRUE(core->context().server.Connected());
  EXPECT_EQ(testing::CodesOf(core->context().server).investigation.size(), 12u);

  const int requestId = 1700000000 + static_cast<int>(getpid() % 100000000);
  SampleList samples;
  ResultRecord& result = samples.emplace_back(requestId).groups.emplace_back("S_TRV").results.emplace_back();
  result.parameterCode = "GLU";
  result.value = "5 mmol/l";
  core->context().upload.queue()->Append(std::move(samples));
  BazaDeDate lab;
  ASSERT_TRUE(lab.DeschidConectie(lab_, 1));
  ASSERT_TRUE(WaitFor([&] { return !StoredRows(lab, std::to_string(requestId)).empty(); }, 10s));
  EXPECT_EQ(StoredRows(lab, std::to_string(requestId)),
            (std::vector<StoredResult>{{requestId, 5, 1, 10, "5 mmol/l"}}));
  core->ShutdownModule();
  lab.SQLCommand(Format("DELETE FROM lab_results WHERE request_id = %d", requestId), 0);
}

// The relay goes away under a relayed module and comes back: what arrived meanwhile waits in the
// outbox and is stored through the new relay, without the operator.
TEST_F(ModuleCoreTest, RelayedSessionsReconnectWhenTheRelayComesBack) {
  if (!UseLabServer()) GTEST_SKIP() << "no development server";
  testing::RelayServer relay(STRIVEX_MEDIANEX_RELAY_PATH);
  ASSERT_EQ(relay.failure(), "");
  {
    BazaDeDate local;
    local.DeschidBazaLocala(LocalPath(), "", 1);
    local.SQLCommand("UPDATE Medianex_Init SET Valoare='0' where Proprietate='DirectConect'", 0);
    local.SQLCommand("UPDATE Medianex_Init SET Valoare='" + relay.address() + "' where Proprietate='Adresa Server'", 0);
  }
  const int requestId = 1750000000 + static_cast<int>(getpid() % 10000000);
  std::string report = ReadFile(std::string(STRIVEX_TEST_DATA_DIR) + "/reports/one-sample.txt");
  report.replace(report.find("ID proba:30512"), 14, "ID proba:" + std::to_string(requestId));
  auto core = Start(0);
  ASSERT_EQ(core->serverSession()->connected.load(), 1);
  relay.Stop();
  rig_.pty().Write(report);
  ASSERT_TRUE(WaitFor([&] { return core->outbox()->Stats().pending == 12; }, 15s));
  ASSERT_TRUE(WaitFor([&] { return core->serverSession()->connected.load() == 0; }, 10s))
      << "the lost relay was not noticed";

  // It comes back where the module knows it.
  testing::RelayServer back(STRIVEX_MEDIANEX_RELAY_PATH, relay.port());
  ASSERT_EQ(back.failure(), "");
  ASSERT_TRUE(WaitFor([&] { return core->outbox()->Stats().stored == 12; }, 60s)) << ReadFile(dir_ / "_acterr.log");
  BazaDeDate lab;
  ASSERT_TRUE(lab.DeschidConectie(lab_, 1));
  EXPECT_EQ(StoredRows(lab, std::to_string(requestId)).size(), 12u);
  core->ShutdownModule();
  lab.SQLCommand(Format("DELETE FROM lab_results WHERE request_id = %d", requestId), 0);
}

TEST_F(ModuleCoreTest, RoadOfOneResultFromThePortToTheLaboratoryDatabase) {
  if (!UseLabServer()) GTEST_SKIP() << "no development server";
  const std::string reports = std::string(STRIVEX_TEST_DATA_DIR) + "/reports/";
  const std::string requestIds = "30512, 30520, 30521, 30522";
  BazaDeDate lab;
  ASSERT_TRUE(lab.DeschidConectie(lab_, 1));
  lab.SQLCommand("DELETE FROM lab_results WHERE machine_id = 5 AND request_id IN (" + requestIds + ")", 0);

  testing::BackgroundProcess sim(STRIVEX_ANALYSER_SIM_PATH,
                                 {"--pty", "--no-pace", "--start-delay", "0.3", "--gap", "6", "--report",
                                  reports + "one-sample.txt", "--report", reports + "three-samples.txt"});
  const auto device = sim.ReadLine(5s);
  ASSERT_TRUE(device) << sim.err();
  SetSetting("port", *device);
  auto core = Start(0);
  ASSERT_TRUE(core->port().IsOpen());

  ASSERT_TRUE(WaitFor([&] { return view_.RowCount() == 4; }, 40s)) << view_.RowCount() << " rows";
  EXPECT_EQ(ReadFile(dir_ / "_Strivex.log"),
            ReadFile(reports + "one-sample.txt") + ReadFile(reports + "three-samples.txt"));
  std::vector<StoredResult> expected = ExpectedRows(reports + "one-sample.expected");
  for (const StoredResult& row : ExpectedRows(reports + "three-samples.expected")) expected.push_back(row);
  // Rows are listed as soon as their results are safe in the outbox; storing follows.
  ASSERT_TRUE(WaitFor([&] { return core->outbox()->Stats().stored == static_cast<int64_t>(expected.size()); }, 20s))
      << core->outbox()->Stats().stored;
  EXPECT_EQ(StoredRows(lab, requestIds), expected);
  EXPECT_EQ(core->outbox()->Stats().pending, 0);
  ASSERT_TRUE(WaitFor([&] { return view_.Backlogs() == std::vector<std::pair<int64_t, int64_t>>(4); }, 5s))
      << "a row still shows results waiting";

  // One row per sample, in arrival order, each named by the server's lookup (Windows-1250 text).
  // The upload may store a message's rows before it lists them, so the last names may follow.
  const std::vector<std::vector<std::string>> named = {{"30512", "0/0", "\xAAtef\xE3nescu Ana", "30512"},
                                                       {"30520", "0/0", "Constantinescu Elena", "30520"},
                                                       {"30521", "0/0", "B\xE3lan Ioana", "30521"},
                                                       {"30522", "0/0", "Georgescu Mihai", "30522"}};
  EXPECT_TRUE(WaitFor([&] { return view_.Rows() == named; }, 10s)) << ::testing::PrintToString(view_.Rows());
  const std::string dataLog = ReadFile(dir_ / "_Strivex_data.log");
  EXPECT_TRUE(dataLog.starts_with("\r\n\r\n****Sesiune Noua ->")) << dataLog.substr(0, 60);
  EXPECT_NE(dataLog.find("\r\n Id Analiza = 30512\r\n "), std::string::npos);
  EXPECT_NE(dataLog.find(" 0:0\r\nLEU = neg\r\n"), std::string::npos);
  EXPECT_NE(dataLog.find("\r\n Id Analiza = 30522"), std::string::npos);

  core->ShutdownModule();
  EXPECT_EQ(host_->record().Flag(HostRecord::kStartAck), 1);
  lab.SQLCommand("DELETE FROM lab_results WHERE machine_id = 5 AND request_id IN (" + requestIds + ")", 0);
}

// A server that lets the connection in and never answers holds the start-up only for the login
// time-out the local database sets, and the port is open and reading before the box waits.
TEST_F(ModuleCoreTest, AServerThatNeverAnswersHoldsTheStartUpOnlyForTheLoginTimeOut) {
  if (!UseLabServer()) GTEST_SKIP() << "no development server";
  const testing::SilentServer silent(testing::SilentServer::kMute);
  ASSERT_NE(silent.port(), 0);
  const testing::ScopedEnvironment port({{"PGPORT", std::to_string(silent.port())}});
  {
    BazaDeDate local;
    local.DeschidBazaLocala(LocalPath(), "", 1);
    local.SQLCommand("INSERT INTO Medianex_Init (Proprietate, Valoare) VALUES ('Timeout Conectare', '2')", 0);
    local.SQLCommand("INSERT INTO Medianex_Init (Proprietate, Valoare) VALUES ('Timeout Comanda', '7')", 0);
  }
  std::vector<bool> portOpenAtBox;
  std::unique_ptr<ModuleCore> core;
  const platform::MessageBoxHandler previous = platform::SetMessageBoxHandler([&](const std::string&) {
    portOpenAtBox.push_back(core != nullptr && core->port().IsOpen());
  });
  const auto started = std::chrono::steady_clock::now();
  host_ = std::make_unique<HostRecordBuffer>(5, "Strivex", LocalPath(), 1);
  core = std::make_unique<ModuleCore>(host_->record(), view_);
  core->Initialize(0x1234);
  const auto took = std::chrono::steady_clock::now() - started;
  platform::SetMessageBoxHandler(previous);
  EXPECT_LT(took, 15s) << "the login was not bounded";
  EXPECT_TRUE(portOpenAtBox.empty()) << "a box held the start";
  EXPECT_EQ(view_.Notices(), std::vector<std::string>{"Nu pot accesa baza de date de pe server !"});
  EXPECT_TRUE(core->port().IsOpen());
  EXPECT_EQ(core->serverSession()->Timeouts().login, 2s);
  EXPECT_EQ(core->serverSession()->Timeouts().query, 7s);
  EXPECT_EQ(host_->record().Flag(HostRecord::kServerUnavailable), 1);
  core->ShutdownModule();
}

// An outbox that cannot be opened is said once, at the start, and the results still take the old
// road: raw log, data log, the received list and one try at the server.
TEST_F(ModuleCoreTest, AnOutboxThatCannotBeOpenedIsSaidOnceAndResultsStillArrive) {
  std::filesystem::create_directory(dir_ / kOutboxFileName);
  auto core = Start(1);
  EXPECT_EQ(core->outbox(), nullptr);
  ASSERT_EQ(boxes_.Texts().size(), 1u);
  EXPECT_TRUE(boxes_.Texts()[0].starts_with("Nu pot deschide _Strivex_outbox.db")) << boxes_.Texts()[0];
  EXPECT_TRUE(core->port().IsOpen()) << "the port opens before any box waits";
  EXPECT_EQ(BacklogLine(core->StatusNow(0)).text, "Rezultate : - nu pot fi pastrate local !");

  const std::string report = ReadFile(std::string(STRIVEX_TEST_DATA_DIR) + "/reports/one-sample.txt");
  rig_.pty().Write(report);
  ASSERT_TRUE(WaitFor([&] { return view_.RowCount() == 1; }, 15s));
  EXPECT_EQ(ReadFile(dir_ / "_Strivex.log"), report);
  EXPECT_NE(ReadFile(dir_ / "_Strivex_data.log").find("Id Analiza = 30512"), std::string::npos);
  EXPECT_EQ(boxes_.Texts().size(), 1u);
  EXPECT_TRUE(view_.Notices().empty());
  core->ShutdownModule();
}

// Logs whose names are taken by folders cannot be written, for root too: the module goes on and
// the window hears it once, however many entries fail.
TEST_F(ModuleCoreTest, LogsThatCannotBeWrittenAreSaidOnceAndResultsStillArrive) {
  for (const char* name : {kRawLogName, kDataLogName}) std::filesystem::create_directory(dir_ / name);
  auto core = Start(1);
  const std::string report = ReadFile(std::string(STRIVEX_TEST_DATA_DIR) + "/reports/one-sample.txt");
  rig_.pty().Write(report);
  ASSERT_TRUE(WaitFor([&] { return view_.RowCount() == 1; }, 15s));
  rig_.pty().Write(report);
  ASSERT_TRUE(WaitFor([&] { return view_.RowCount() == 2; }, 15s));
  ASSERT_EQ(view_.Notices().size(), 1u);
  EXPECT_TRUE(view_.Notices()[0].starts_with("Nu pot scrie in fisierul jurnal _Strivex")) << view_.Notices()[0];
  core->ShutdownModule();
}

// Two patients' reports with a control printout between them, in one message: each patient's
// results under their own request, exactly, and the control's left unassigned, waiting for
// someone to give them a request.
TEST_F(ModuleCoreTest, AControlPrintoutBetweenTwoPatientsStaysUnassigned) {
  if (!UseLabServer()) GTEST_SKIP() << "no development server";
  const std::string reports = std::string(STRIVEX_TEST_DATA_DIR) + "/reports/";
  BazaDeDate lab;
  ASSERT_TRUE(lab.DeschidConectie(lab_, 1));
  lab.SQLCommand("DELETE FROM lab_results WHERE machine_id = 5 AND request_id IN (30601, 30602)", 0);
  auto core = Start(0);
  rig_.pty().Write(ReadFile(reports + "patient-control-patient.txt"));
  const std::vector<StoredResult> expected = ExpectedRows(reports + "patient-control-patient.expected");
  ASSERT_TRUE(WaitFor([&] { return core->outbox()->Stats().stored == static_cast<int64_t>(expected.size()); }, 20s));
  EXPECT_EQ(StoredRows(lab, "30601, 30602"), expected);
  const std::vector<OutboxRow> control = core->outbox()->List(OutboxState::kUnassigned);
  ASSERT_EQ(control.size(), 2u);
  EXPECT_EQ(control[0].parameterCode, "LEU");
  EXPECT_EQ(control[1].parameterCode, "GLU");
  EXPECT_EQ(view_.Rows().size(), 3u);
  EXPECT_EQ(view_.Rows()[2][0], "-");
  EXPECT_NE(ReadFile(dir_ / "_Strivex_data.log").find("Fara ID proba"), std::string::npos);

  // The operator gives the control printout a request: it is stored like the others.
  EXPECT_FALSE(core->AssignPrintout(control[0].messageId, control[0].sampleIndex, 0));
  ASSERT_TRUE(core->AssignPrintout(control[0].messageId, control[0].sampleIndex, 30602));
  ASSERT_TRUE(WaitFor([&] { return core->outbox()->Stats().stored == static_cast<int64_t>(expected.size()) + 2; }, 20s));
  EXPECT_EQ(StoredRows(lab, "30602").size(), 5u);
  core->ShutdownModule();
  // Once stored, the printout's results have the lines of a stored sample in the data log, once.
  const std::string dataLog = ReadFile(dir_ / "_Strivex_data.log");
  const std::string line = "\r\n Id Analiza = 30602\r\n";
  const size_t assigned = dataLog.rfind(line);
  ASSERT_NE(assigned, std::string::npos) << dataLog;
  EXPECT_NE(dataLog.find(line), assigned) << "the patient's sample had its line before";
  const std::string tail = dataLog.substr(assigned);
  EXPECT_TRUE(tail.ends_with(" 0:0\r\nLEU = 75 Leu/ul\r\nGLU = 5.5 mmol/l")) << tail;
  EXPECT_EQ(std::count(tail.begin(), tail.end(), '\n'), 4) << tail;
  lab.SQLCommand("DELETE FROM lab_results WHERE machine_id = 5 AND request_id IN (30601, 30602)", 0);
}

TEST_F(ModuleCoreTest, APortWhoseDeviceWentAwayIsReopenedAndKeepsTheMessageItHad) {
  const std::string report = ReadFile(std::string(STRIVEX_TEST_DATA_DIR) + "/reports/one-sample.txt");
  auto core = Start(1);
  ASSERT_TRUE(core->port().IsOpen());
  rig_.pty().Write(report.substr(0, report.size() / 2));
  ASSERT_TRUE(WaitFor([&] { return core->context().reception.receive()->length.load() > 0; }, 5s));
  rig_.pty().CloseMaster();  // the adapter is unplugged
  ASSERT_TRUE(WaitFor([&] { return core->PortLost(); }, 5s));
  EXPECT_NE(core->StatusNow(0).portName, "");
  StatusPanelModel panel;
  EXPECT_EQ(panel.Paint(core->StatusNow(0)).lines[2].text, "Port : - COM1 - Inaccesibil");
  // The settings dialog may change the block while the processing thread re-opens with it.
  for (const auto until = std::chrono::steady_clock::now() + 2500ms; std::chrono::steady_clock::now() < until;) {
    core->SetLineSettings(core->lineSettings());
    std::this_thread::sleep_for(10ms);
  }

  // It comes back as another pseudo-terminal under the same name.
  testing::PtyPair replugged;
  const std::filesystem::path link = dir_ / "dev" / "ttyS0";
  std::filesystem::remove(link);
  std::filesystem::create_symlink(replugged.slavePath(), link);
  ASSERT_TRUE(WaitFor([&] { return core->port().IsOpen(); }, 10s)) << "not reopened";
  EXPECT_FALSE(core->PortLost());
  replugged.Write(report.substr(report.size() / 2));
  ASSERT_TRUE(WaitFor([&] { return view_.RowCount() == 1; }, 15s));
  EXPECT_EQ(ReadFile(dir_ / "_Strivex.log"), report);
  EXPECT_EQ(view_.Rows().front().front(), "30512");

  // "Inchid Port" ends the re-opening for good.
  replugged.CloseMaster();
  ASSERT_TRUE(WaitFor([&] { return core->PortLost(); }, 5s));
  core->ClosePort();
  testing::PtyPair again;
  std::filesystem::remove(link);
  std::filesystem::create_symlink(again.slavePath(), link);
  std::this_thread::sleep_for(2500ms);  // longer than the re-open period: nothing may happen
  EXPECT_FALSE(core->port().IsOpen());
  EXPECT_FALSE(core->PortLost());
  core->ShutdownModule();
}

// On a machine that has just booted (the steady clock, standing still here, near its epoch), the
// first re-open of a lost port is not held back until the machine has been up for a period.
TEST_F(ModuleCoreTest, ALostPortIsTriedAgainAtOnceOnAMachineThatHasJustBooted) {
  const std::string report = ReadFile(std::string(STRIVEX_TEST_DATA_DIR) + "/reports/one-sample.txt");
  auto core = Start(1, 5, [] { return std::chrono::steady_clock::time_point{} + 1s; });
  ASSERT_TRUE(core->port().IsOpen());
  testing::PtyPair replugged;  // already there when the loss is seen: the first try opens it
  std::filesystem::remove(dir_ / "dev" / "ttyS0");
  std::filesystem::create_symlink(replugged.slavePath(), dir_ / "dev" / "ttyS0");
  rig_.pty().CloseMaster();
  replugged.Write(report);
  EXPECT_TRUE(WaitFor([&] { return view_.RowCount() == 1; }, 15s)) << "not reopened";
  core->ShutdownModule();
}

// A translation file whose lookup fails (here a link to itself) is told to the operator through
// the window's queue, never in a box of the processing thread; results arrive untranslated.
TEST_F(ModuleCoreTest, ATranslationFileThatCannotBeLookedUpIsToldOnceWithoutABox) {
  const std::string report = ReadFile(std::string(STRIVEX_TEST_DATA_DIR) + "/reports/one-sample.txt");
  std::filesystem::create_symlink("Strivex.ini", dir_ / "Strivex.ini");
  auto core = Start(1);
  rig_.pty().Write(report);
  ASSERT_TRUE(WaitFor([&] { return view_.RowCount() == 1; }, 15s));
  rig_.pty().Write(report);
  ASSERT_TRUE(WaitFor([&] { return view_.RowCount() == 2; }, 15s));
  EXPECT_EQ(view_.Notices(), std::vector<std::string>{"Eroare: 40 la fuctia FindFirstFile"});
  EXPECT_TRUE(boxes_.Texts().empty());
  core->ShutdownModule();
}

// The re-opening runs on the processing thread: a device that comes back refusing the settings is
// told to the operator through the window's queue, once for the outage, never in a box of that
// thread's own (which debug builds abort on).
TEST_F(ModuleCoreTest, AReturningDeviceThatRefusesTheSettingsIsToldOncePerOutage) {
  auto core = Start(1);
  ASSERT_TRUE(core->port().IsOpen());
  LineSettings refusedBlock = core->lineSettings();
  refusedBlock.ByteSize = 4;  // read again only by the re-opening
  core->SetLineSettings(refusedBlock);
  rig_.pty().CloseMaster();
  ASSERT_TRUE(WaitFor([&] { return core->PortLost(); }, 5s));
  const std::filesystem::path link = dir_ / "dev" / "ttyS0";
  std::filesystem::remove(link);
  std::this_thread::sleep_for(2500ms);  // missing for a re-open period first: the outage is already logged
  testing::PtyPair replugged;
  std::filesystem::create_symlink(replugged.slavePath(), link);
  const std::string refused = "Eroare 22 la la setare parametrii specificati in DCB";
  ASSERT_TRUE(WaitFor([&] { return !view_.Notices().empty(); }, 10s));
  std::this_thread::sleep_for(4500ms);  // two more re-open periods, failing the same way
  EXPECT_FALSE(core->port().IsOpen());
  EXPECT_EQ(view_.Notices(), std::vector<std::string>{refused});
  EXPECT_TRUE(boxes_.Texts().empty());
  core->ShutdownModule();
}

// An analyser whose printout header has a result-shaped line: each message's such lines go to
// "_acterr.log", the operator hears of them at once, then once a period with the count since.
TEST_F(ModuleCoreTest, LinesOutsideABlockAreLoggedPerMessageAndToldNowAndThen) {
  auto now = std::chrono::steady_clock::time_point{};  // a machine started seconds ago
  ResultQueue queue;
  ModuleContext context([&now] { return now; });
  context.upload.Attach(&queue, nullptr);
  context.shown.Attach(&view_, nullptr);
  for (const auto at : {3s, 63s, 3s + timings::kOutsideLinesNotice}) {
    now = std::chrono::steady_clock::time_point{} + at;
    ProcessOneMessage(context, " Laborator 2\r\nID proba:7\r\n");
  }
  EXPECT_EQ(view_.Notices(),
            (std::vector<std::string>{Format(kOutsideLinesFirst, 1LL), Format(kOutsideLinesSince, 2LL)}));
  const std::string log = ReadFile(dir_ / "_acterr.log");
  EXPECT_EQ(Occurrences(log, std::string(kOutsideLinesEntry) + "\r\n\" Laborator 2\""), 3u) << log;
}

// A stored device path keeps its capitals and opens at the start. Once its device is gone, the
// re-opening (every 2 s) and "Deschid Port" fail with one logged line and its reason; the return
// is logged once.
TEST_F(ModuleCoreTest, PathWithCapitalsOpensAndItsOutageIsLoggedOnce) {
  const std::filesystem::path link = dir_ / "dev" / "serial" / "by-id" / "usb-Ab_Cd-if00-port0";
  std::filesystem::create_directories(link.parent_path());
  std::filesystem::create_symlink(rig_.pty().slavePath(), link);
  SetSetting("port", link.string());
  auto core = Start(1);
  ASSERT_TRUE(core->port().IsOpen());
  std::filesystem::remove(link);
  rig_.pty().CloseMaster();  // unplugged
  ASSERT_TRUE(WaitFor([&] { return core->PortLost(); }, 5s));
  std::this_thread::sleep_for(2500ms);  // longer than the re-open period: it fails twice
  EXPECT_FALSE(core->OpenPort());
  testing::PtyPair replugged;
  std::filesystem::create_symlink(replugged.slavePath(), link);
  ASSERT_TRUE(WaitFor([&] { return core->port().IsOpen(); }, 10s)) << "not reopened";
  core->ShutdownModule();
  const std::string log = ReadFile(dir_ / "_acterr.log");
  EXPECT_EQ(Occurrences(log, "nu poate fi deschis"), 1u) << log;
  EXPECT_EQ(Occurrences(log, link.string() + " nu poate fi deschis: No such file or directory"), 1u) << log;
  EXPECT_EQ(Occurrences(log, link.string() + " este din nou deschis"), 1u) << log;
}

}  // namespace
}  // namespace strivex
