#include "host/status_panel.h"

#include "serial/receive_context.h"
#include "util/format.h"

namespace strivex {

namespace {

constexpr size_t kServerTextLimit = 33;
constexpr size_t kServerTextCut = 31;
constexpr uint32_t kReadingSeconds = 2;

StatusLine TransferLine(const StatusSnapshot& now, Rgb portColour, StatusPanel& panel) {
  switch (now.receiveState) {
    case RX_IDLE: {
      panel.receivingIndicator = 0;
      if (now.queueEmpty) return {"Transmisie : - Astept", kGreen};
      int32_t progress = now.progress;
      if (progress < 0 || progress > 100) {
        progress = 0;
        panel.progress = 0;
      }
      return {Format("Transmisie : - Transmit la server   %d %c", progress, '%'), kYellow};
    }
    case RX_RECEIVING:
      panel.receivingIndicator = 1;
      return {"Transmisie : - Receptionez Date", kYellow};
    case RX_SILENCE:
      return {"Transmisie : - Sfarsit Transmisie", kYellow};
    case RX_COMPLETE:
      return {"Transmisie : - Procesez Date", kRed};
    default:
      return {"Nedefinit !", portColour};
  }
}

}  // namespace

StatusPanelModel::Seen StatusPanelModel::SeenOf(const StatusSnapshot& now) {
  return {now.receiveState,   now.receivingIndicator, now.serverUnavailable, now.serverOverdue,
          now.serverAddress,  now.serverDatabase,     now.portName,          now.portOpen,
          now.portLost,       now.outboxPending,      now.outboxRejected,    now.outboxUnassigned,
          now.outboxOtherMachines, now.outboxFailed};
}

bool StatusPanelModel::NeedsPaint(const StatusSnapshot& now, bool forced) const {
  if (forced || now.receivingIndicator != 0 || now.statusRepaint != 0) return true;
  return !now.queueEmpty || !(SeenOf(now) == last_);
}

StatusLine StatusPanelModel::ServerLine(const StatusSnapshot& now, bool& repaint) {
  if (now.serverUnavailable != 0) return {"Baza Server : - Invalida", kRed};
  // A session that still counts as open but whose statement hangs: the server is frozen or cut off.
  if (now.serverOverdue) return {"Baza Server : - Nu raspunde", kRed};
  // Unsigned, as the times are seconds of the day and may wrap at midnight.
  const bool recent = previousPaint_ - readingStart_ < kReadingSeconds;
  previousPaint_ = now.secondsOfDay;
  if (now.workListReading != 0 || recent) {
    repaint = true;
    if (!readingHeld_) {
      readingStart_ = now.secondsOfDay;
      readingHeld_ = true;
    }
    return {"Baza Server : - Citesc lista pacienti", kYellow};
  }
  const std::string text = Format("Baza Server : - %s//%s", now.serverAddress.c_str(), now.serverDatabase.c_str());
  readingHeld_ = false;
  if (text.size() <= kServerTextLimit) return {text + " -Valida", kGreen};
  StatusLine line(text.substr(0, kServerTextCut) + "... -Valida", kGreen);
  line.whole = text + " -Valida";
  return line;
}

namespace {

// "PREFIX - VALUE - STATE", whose value the window may cut in the middle.
StatusLine ValueLine(const char* prefix, const std::string& value, const char* state, Rgb colour) {
  StatusLine line(std::string(prefix) + value + state, colour);
  line.cutFrom = std::char_traits<char>::length(prefix);
  line.cutLength = value.size();
  return line;
}

}  // namespace

StatusLine BacklogLine(const StatusSnapshot& now) {
  if (now.outboxFailed) return {"Rezultate : - nu pot fi pastrate local !", kRed};
  std::string text = Format("Rezultate : - %lld de trimis", static_cast<long long>(now.outboxPending));
  if (now.outboxRejected > 0) text += Format(", %lld respinse", static_cast<long long>(now.outboxRejected));
  if (now.outboxUnassigned > 0) text += Format(", %lld fara proba", static_cast<long long>(now.outboxUnassigned));
  // Another instrument's results wait for that instrument's module to start on this folder.
  if (now.outboxOtherMachines > 0) {
    text += Format(", %lld ale altui aparat", static_cast<long long>(now.outboxOtherMachines));
  }
  // Refused and unassigned results wait for someone to act.
  if (now.outboxRejected > 0 || now.outboxUnassigned > 0) return {text, kRed};
  return {text, now.outboxPending > 0 || now.outboxOtherMachines > 0 ? kYellow : kGreen};
}

StatusLine WorkListLine(const StatusSnapshot& now) {
  if (now.framesWaiting == 0) return {"", kGreen};
  const auto waiting = static_cast<long long>(now.framesWaiting);
  if (!now.portOpen) return {Format("Lista de lucru : - %lld cadre asteapta portul", waiting), kRed};
  if (now.framesSending) return {Format("Lista de lucru : - trimit, %lld de trimis", waiting), kYellow};
  return {Format("Lista de lucru : - %lld de trimis", waiting), kYellow};
}

StatusPanel StatusPanelModel::Paint(const StatusSnapshot& now) {
  StatusPanel panel;
  last_ = SeenOf(now);
  bool repaint = false;
  if (now.receivingIndicator == 1) {
    panel.mark = true;
    panel.markText = Format("R %d", now.receiveLength);
  }
  panel.lines[0] = ServerLine(now, repaint);
  // Long paths and device names are normal on Linux: the window cuts them to fit, keeping their ends.
  panel.lines[1] = ValueLine("Baza Locala : - ", now.localDatabase, " - Valida", kGreen);
  panel.lines[2] = now.portOpen   ? ValueLine("Port : - ", now.portName, " - Deschis", kGreen)
                   : now.portLost ? ValueLine("Port : - ", now.portName, " - Inaccesibil", kRed)
                                  : ValueLine("Port : - ", now.portName, " - Inchis", kRed);
  panel.lines[3] = TransferLine(now, panel.lines[2].colour, panel);
  panel.statusRepaint = repaint;
  return panel;
}

}  // namespace strivex
