#include "host/status_panel.h"

#include <gtest/gtest.h>

#include "serial/receive_context.h"

namespace strivex {
namespace {

StatusSnapshot Base() {
  StatusSnapshot s;
  s.serverAddress = "127.0.0.1";
  s.serverDatabase = "lab";
  s.localDatabase = "/var/lib/strivex/local.db";
  s.portName = "COM1";
  s.portOpen = true;
  s.secondsOfDay = 1000;
  return s;
}

// A model past its start-up "Citesc" display.
StatusPanelModel Settled() {
  StatusPanelModel model;
  StatusSnapshot s = Base();
  for (uint32_t t = 1000; t <= 1003; ++t) {
    s.secondsOfDay = t;
    model.Paint(s);
  }
  return model;
}

TEST(StatusPanel, TransferLineByReceiveState) {
  const struct {
    int32_t state;
    bool queueEmpty;
    int32_t progress;
    const char* text;
    Rgb colour;
    std::optional<uint8_t> indicator;
  } cases[] = {
      {RX_IDLE, true, 0, "Transmisie : - Astept", kGreen, 0},
      {RX_IDLE, false, 42, "Transmisie : - Transmit la server   42 %", kYellow, 0},
      {RX_RECEIVING, true, 0, "Transmisie : - Receptionez Date", kYellow, 1},
      {RX_SILENCE, true, 0, "Transmisie : - Sfarsit Transmisie", kYellow, std::nullopt},
      {RX_COMPLETE, true, 0, "Transmisie : - Procesez Date", kRed, std::nullopt},
      {RX_CONSUMER_DONE, true, 0, "Nedefinit !", kGreen, std::nullopt},
  };
  for (const auto& c : cases) {
    StatusPanelModel model = Settled();
    StatusSnapshot s = Base();
    s.secondsOfDay = 2000;
    s.receiveState = c.state;
    s.queueEmpty = c.queueEmpty;
    s.progress = c.progress;
    const StatusPanel panel = model.Paint(s);
    EXPECT_EQ(panel.lines[3].text, c.text);
    EXPECT_EQ(panel.lines[3].colour, c.colour) << c.text;
    EXPECT_EQ(panel.receivingIndicator, c.indicator) << c.text;
  }
}

TEST(StatusPanel, UndefinedStateTakesThePortLineColour) {
  StatusPanelModel model = Settled();
  StatusSnapshot s = Base();
  s.portOpen = false;
  s.receiveState = 7;
  const StatusPanel panel = model.Paint(s);
  EXPECT_EQ(panel.lines[2].text, "Port : - COM1 - Inchis");
  EXPECT_EQ(panel.lines[2].colour, kRed);
  EXPECT_EQ(panel.lines[3].colour, kRed);
}

TEST(StatusPanel, ProgressOutsideTheRangeShowsAndWritesBackZero) {
  for (int32_t progress : {-5, 101, 5000}) {
    StatusPanelModel model = Settled();
    StatusSnapshot s = Base();
    s.queueEmpty = false;
    s.progress = progress;
    const StatusPanel panel = model.Paint(s);
    EXPECT_EQ(panel.lines[3].text, "Transmisie : - Transmit la server   0 %");
    EXPECT_EQ(panel.progress, 0);
  }
  StatusPanelModel model = Settled();
  StatusSnapshot s = Base();
  s.queueEmpty = false;
  s.progress = 100;
  EXPECT_EQ(model.Paint(s).progress, std::nullopt);
}

TEST(StatusPanel, ServerLineIsCutAfter33Characters) {
  const struct {
    const char* address;
    const char* database;
    const char* line;
  } cases[] = {
      {"10.0.0.1", "lab", "Baza Server : - 10.0.0.1//lab -Valida"},
      // 33 characters fit whole.
      {"srv", "abcdefghijkl", "Baza Server : - srv//abcdefghijkl -Valida"},
      // 34 and more: 31 characters and "...".
      {"srv", "abcdefghijklm", "Baza Server : - srv//abcdefghij... -Valida"},
      {"laboratory-server.example", "lis", "Baza Server : - laboratory-serv... -Valida"},
  };
  for (const auto& c : cases) {
    StatusPanelModel model = Settled();
    StatusSnapshot s = Base();
    s.serverAddress = c.address;
    s.serverDatabase = c.database;
    s.secondsOfDay = 5000;
    const StatusPanel panel = model.Paint(s);
    EXPECT_EQ(panel.lines[0].text, c.line);
    EXPECT_EQ(panel.lines[0].colour, kGreen);
  }
}

TEST(StatusPanel, ReadingIsShownForTwoSecondsAfterStartAndWhileTheWorkListIsRead) {
  StatusPanelModel model;
  StatusSnapshot s = Base();
  std::vector<std::string> firstLines;
  for (uint32_t t : {1000u, 1000u, 1001u, 1002u, 1003u}) {
    s.secondsOfDay = t;
    const StatusPanel panel = model.Paint(s);
    firstLines.push_back(panel.lines[0].text);
    EXPECT_EQ(panel.statusRepaint, panel.lines[0].colour == kYellow);
  }
  EXPECT_EQ(firstLines, (std::vector<std::string>{
                            "Baza Server : - Citesc lista pacienti", "Baza Server : - Citesc lista pacienti",
                            "Baza Server : - Citesc lista pacienti", "Baza Server : - Citesc lista pacienti",
                            "Baza Server : - 127.0.0.1//lab -Valida"}));
  s.workListReading = 1;
  s.secondsOfDay = 1100;
  EXPECT_EQ(model.Paint(s).lines[0].colour, kYellow);
  s.workListReading = 0;
  // Held while the previous paint is less than two seconds after its start.
  for (uint32_t t : {1101u, 1102u}) {
    s.secondsOfDay = t;
    EXPECT_EQ(model.Paint(s).lines[0].colour, kYellow) << t;
  }
  s.secondsOfDay = 1103;
  EXPECT_EQ(model.Paint(s).lines[0].colour, kGreen);
}

TEST(StatusPanel, UnavailableServerIsRedAndLeavesTheReadingTimeAlone) {
  StatusPanelModel model;
  StatusSnapshot s = Base();
  s.serverUnavailable = 1;
  const StatusPanel panel = model.Paint(s);
  EXPECT_EQ(panel.lines[0].text, "Baza Server : - Invalida");
  EXPECT_EQ(panel.lines[0].colour, kRed);
  EXPECT_FALSE(panel.statusRepaint);
  EXPECT_EQ(panel.lines[1].text, "Baza Locala : - /var/lib/strivex/local.db - Valida");
  EXPECT_EQ(panel.lines[2].text, "Port : - COM1 - Deschis");
  EXPECT_EQ(panel.lines[2].colour, kGreen);
}

// The model keeps paths whole and marks them as what the window may cut; the window fits them.
TEST(StatusPanel, PathsStayWholeForTheWindowToFitAndTheBacklogIsShown) {
  const struct {
    const char* local;
    int64_t pending, rejected;
    bool failed;
    const char* localLine;
    const char* backlog;
    Rgb colour;
  } cases[] = {
      {"C:\\lab.mdb", 0, 0, false, "Baza Locala : - C:\\lab.mdb - Valida", "Rezultate : - 0 de trimis", kGreen},
      {"/home/laborator/instrumente/strivex/setari/local.db", 12, 0, false,
       "Baza Locala : - /home/laborator/instrumente/strivex/setari/local.db - Valida", "Rezultate : - 12 de trimis",
       kYellow},
      {"/x", 3, 2, false, "Baza Locala : - /x - Valida", "Rezultate : - 3 de trimis, 2 respinse", kRed},
      {"/x", 3, 0, true, "Baza Locala : - /x - Valida", "Rezultate : - nu pot fi pastrate local !", kRed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.local);
    StatusPanelModel model;
    StatusSnapshot s = Base();
    s.localDatabase = c.local;
    s.outboxPending = c.pending;
    s.outboxRejected = c.rejected;
    s.outboxFailed = c.failed;
    const StatusPanel panel = model.Paint(s);
    EXPECT_EQ(panel.lines[1].text, c.localLine);
    EXPECT_EQ(panel.lines[1].text.substr(panel.lines[1].cutFrom, panel.lines[1].cutLength), c.local);
    EXPECT_EQ(BacklogLine(s).text, c.backlog);
    EXPECT_EQ(BacklogLine(s).colour, c.colour);
    // A change of the backlog alone repaints the panel.
    s.outboxPending += 1;
    EXPECT_TRUE(model.NeedsPaint(s, false));
  }
}

TEST(StatusPanel, MarkCountsReceivedBytes) {
  StatusPanelModel model = Settled();
  StatusSnapshot s = Base();
  s.receivingIndicator = 1;
  s.receiveState = RX_RECEIVING;
  s.receiveLength = 357;
  const StatusPanel panel = model.Paint(s);
  EXPECT_TRUE(panel.mark);
  EXPECT_EQ(panel.markText, "R 357");
  s.receivingIndicator = 0;
  EXPECT_FALSE(model.Paint(s).mark);
}

TEST(StatusPanel, PaintIsSkippedWhileNothingShownChanges) {
  StatusPanelModel model = Settled();
  StatusSnapshot s = Base();
  model.Paint(s);
  EXPECT_FALSE(model.NeedsPaint(s, false));
  EXPECT_TRUE(model.NeedsPaint(s, true));
  const auto changed = [&](auto change) {
    StatusSnapshot other = s;
    change(other);
    return model.NeedsPaint(other, false);
  };
  EXPECT_TRUE(changed([](StatusSnapshot& o) { o.queueEmpty = false; }));
  EXPECT_TRUE(changed([](StatusSnapshot& o) { o.receiveState = RX_SILENCE; }));
  EXPECT_TRUE(changed([](StatusSnapshot& o) { o.receivingIndicator = 1; }));
  EXPECT_TRUE(changed([](StatusSnapshot& o) { o.statusRepaint = 1; }));
  EXPECT_TRUE(changed([](StatusSnapshot& o) { o.serverUnavailable = 1; }));
  EXPECT_TRUE(changed([](StatusSnapshot& o) { o.serverOverdue = true; }));
  EXPECT_TRUE(changed([](StatusSnapshot& o) { o.serverAddress = "x"; }));
  EXPECT_TRUE(changed([](StatusSnapshot& o) { o.serverDatabase = "x"; }));
  EXPECT_TRUE(changed([](StatusSnapshot& o) { o.portName = "COM2"; }));
  EXPECT_TRUE(changed([](StatusSnapshot& o) { o.portOpen = false; }));
  EXPECT_FALSE(changed([](StatusSnapshot& o) { o.progress = 50; }));       // not watched
  EXPECT_FALSE(changed([](StatusSnapshot& o) { o.receiveLength = 9; }));   // shown with the mark only
}

}  // namespace
}  // namespace strivex

namespace strivex {
namespace {

TEST(StatusPanel, WorkListLineSaysWhatWaitsAndWhy) {
  const struct {
    int64_t waiting;
    bool portOpen;
    bool sending;
    const char* text;
    Rgb colour;
  } cases[] = {
      {0, true, false, "", kGreen},
      {0, false, false, "", kGreen},
      {3, true, false, "Lista de lucru : - 3 de trimis", kYellow},
      {3, true, true, "Lista de lucru : - trimit, 3 de trimis", kYellow},
      {5, false, false, "Lista de lucru : - 5 cadre asteapta portul", kRed},
  };
  for (const auto& c : cases) {
    StatusSnapshot s;
    s.framesWaiting = c.waiting;
    s.portOpen = c.portOpen;
    s.framesSending = c.sending;
    EXPECT_EQ(WorkListLine(s).text, c.text);
    EXPECT_EQ(WorkListLine(s).colour, c.colour) << c.text;
  }
}

}  // namespace
}  // namespace strivex
