#pragma once
// The module's main window: status panel, received list, request-code entry and the menu. It
// shows what the core decides and forwards the operator's events to it.

#include <QDialog>
#include <QImage>
#include <QString>
#include <QTransform>
#include <QTreeWidgetItem>
#include <memory>
#include <string>

#include "host/host_record.h"
#include "host/module_core.h"
#include "host/module_view.h"
#include "host/status_panel.h"
#include "platform/window_messages.h"
#include "ui/dialog_units.h"
#include "ui/window_fit.h"

class QAction;
class QCloseEvent;
class QKeyEvent;
class QLabel;
class QPoint;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;

namespace strivex::ui {

// A row of the received list; it owns its sample until the shutdown frees it.
class ReceivedItem : public QTreeWidgetItem {
 public:
  // Appends the row to `list` with the columns' `texts`, taking the sample.
  ReceivedItem(QTreeWidget* list, const QStringList& texts, std::unique_ptr<SampleRecord> sample);
  // The row's sample; null once freed.
  SampleRecord* sample() const { return sample_.get(); }
  // Frees the sample; the row stays.
  void FreeSample() { sample_.reset(); }
  // Greys the row and counts what is not stored while any of its results waits or was refused.
  void ShowBacklog(int64_t pending, int64_t rejected);
  int64_t outboxMessageId = 0;
  int32_t outboxSampleIndex = 0;
  bool unassigned = false;  // a printout without a sample: its menu assigns it a request

 private:
  std::unique_ptr<SampleRecord> sample_;
};

class ClientArea;

// Lives on the UI thread; only the two queued ModuleView calls may come from elsewhere.
class CStrivexDlg : public QDialog, public ModuleView {
  Q_OBJECT
 public:
  // Builds the window without showing it; the menu starts in the open-port state. The module
  // holds `folder` (its working directory's lock) until it shuts down.
  explicit CStrivexDlg(HostRecord host, std::shared_ptr<WorkingDirectoryLock> folder = nullptr,
                       QWidget* parent = nullptr);
  // Unregisters the window; the core then stops any worker the shutdown did not.
  ~CStrivexDlg() override;

  // On the UI thread: registers the window, initialises the module and shows the window.
  void StartModule();
  // The module's end is then told to the host by the window's owner, once the window is gone,
  // instead of by the shutdown: the host may end its process the moment it learns of it.
  void LeaveEndAnnouncementToOwner() { ownerAnnouncesEnd_ = true; }
  // The instance this window serves (the host's --instance), shown in its title and banner before
  // the instrument's name; empty when the host gave none.
  void SetInstanceName(const std::string& name);
  // The handle the host record carries; 0 before StartModule.
  platform::WindowHandle windowHandle() const { return handle_; }
  // The whole text of the status panel's line at `where` in the client area, or empty.
  QString PanelToolTip(const QPoint& where) const;
  // The panel's area in the client area.
  QRect PanelArea() const;

  // ModuleView. The first two may come from worker threads and are queued to this window.
  void SetPatientText(const std::string& text) override;
  void AddReceivedRow(ReceivedRow row) override;
  void SetRowBacklog(int64_t outboxMessageId, int32_t outboxSampleIndex, int64_t pending, int64_t rejected) override;
  void SetRowPatient(int64_t outboxMessageId, int32_t outboxSampleIndex, const std::string& name) override;
  void NotifyOperator(const std::string& text) override;
  void Post(std::function<void()> call) override;
  std::string RequestCodeText() override;
  void SetRequestCodeText(const std::string& text) override;
  void SetMenuState(MenuState state) override;
  void SetCaption(const std::string& caption) override;
  void HideWindow() override;
  void DeleteListItems() override;

  // OK, Enter and Escape: the request-code confirmation; the window stays open.
  void accept() override;
  void reject() override;

 signals:
  // The module has shut down; the owner deletes the window.
  void moduleEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class ClientArea;

  void BuildControls();
  // The title and the bottom banner: which instance this window is.
  void ShowName();
  void BuildBottomBar();
  // From the panel's own pixels to the client area's.
  QTransform PanelTransform() const;
  void BuildMenu();
  void OnWindowMessage(uint32_t message, uintptr_t wParam);
  void OnClose();
  void OnOpenPort();
  void OnClosePort();
  // "Creez Lista" (create_list.cpp): reads the work list on a worker, then runs ListaLucru.
  void OnCreateList();
  void OnWorkListRead();
  void OnReceivedDoubleClick();
  void OnReceivedMenu(const QPoint& where);
  void OnAbout();
  void OnTimer();
  void ShutdownModule();
  void PaintClient(QPainter& painter);

  ModuleCore core_;
  DialogUnits units_;  // of the window's font
  AxisFit across_;     // the units across and down, narrowed to the screen
  AxisFit down_;
  std::string instance_;
  std::string instrument_;  // the caption the core set, in the local code page
  StatusPanel shownPanel_;  // the panel's lines as last painted, for their tooltips
  StatusPanelModel panelModel_;
  platform::WindowHandle handle_ = 0;
  bool ownerAnnouncesEnd_ = false;
  bool started_ = false;
  bool ended_ = false;
  bool serialSettingsAllowed_ = false;  // the menu state: only while the port is closed
  std::unique_ptr<StatusPanel> timerPanel_;  // painted by the timer, not yet drawn

  ClientArea* client_ = nullptr;
  QPushButton* okButton_ = nullptr;
  QPushButton* createListButton_ = nullptr;
  QLineEdit* requestCode_ = nullptr;
  QLineEdit* patient_ = nullptr;
  QTreeWidget* receivedList_ = nullptr;
  QWidget* bottomBar_ = nullptr;
  QLabel* backlogLabel_ = nullptr;
  QLabel* framesLabel_ = nullptr;
  MenuState portMenu_ = MenuState::kPortOpen;  // what the port menu offers now
  QAction* openPort_ = nullptr;
  QAction* closePort_ = nullptr;
  QAction* serialSettings_ = nullptr;
  QAction* databaseSettings_ = nullptr;
  QTimer* timer_ = nullptr;
  QImage topBanner_;
  QImage bottomBanner_;
};

}  // namespace strivex::ui
