#include "ui/strivex_dlg.h"

#include <QAction>
#include <QCoreApplication>
#include <QPointer>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "platform/message_box.h"
#include "ui/about_dlg.h"
#include "ui/assign_request_dlg.h"
#include "ui/banner_art.h"
#include "ui/dialog_placement.h"
#include "ui/info_analiza.h"
#include "ui/message_box_qt.h"
#include "ui/setari_comunicare_dlg.h"
#include "ui/setari_db_dlg.h"
#include "ui/status_panel_painter.h"
#include "ui/text_codec.h"
#include "ui/window_title.h"
#include "util/local_time.h"
#include "util/timings.h"

namespace strivex::ui {

namespace {

// The panel is drawn in its own pixels at (kPanelX, kPanelY), which grow with the window's font.
constexpr int kPanelX = 360;
constexpr int kPanelY = 3;
// Where the bottom banner starts, and the bar on it with the buttons and the backlog line.
constexpr int kBottomBarTop = 192;
constexpr int kWindowWidth = 385;
constexpr int kWindowHeight = 233;
// Rows that wait or were refused, and printouts without a sample: each readable on the list's
// white (at least 4.5:1), and apart from the black of stored rows.
const QColor kWaitingRow(0x5a, 0x5a, 0x5a);
const QColor kRefusedRow(0xc0, 0x00, 0x00);
const QColor kUnassignedRow(0xb0, 0x50, 0x00);
constexpr int kTimerMs = static_cast<int>(timings::kStatusRepaint.count());
// On a screen smaller than the window, the margins give up their pixels first, then the
// received list, whose rows scroll; what they keep stays readable. Down, only the list's part
// below the request fields and the line under them gives way.
constexpr AxisFit::Span kNarrowing[] = {{0, 7, 2}, {375, 385, 2}, {198, 375, 100}};
constexpr AxisFit::Span kShortening[] = {{134, 190, 10}};
// The window manager's borders, not known before the window first shows.
constexpr int kFrameAllowance = 16;
// The bottom banner's name starts after the OK button.
constexpr int kBannerNameLeft = 268;

// The client area's room on the window's screen, along `axis`.
int Room(const QWidget& window, AxisFit::Axis axis) {
  const QScreen* screen = window.screen();
  if (screen == nullptr) return INT_MAX;
  const QRect available = screen->availableGeometry();
  if (axis == AxisFit::Axis::kAcross) return available.width() - kFrameAllowance;
  // Above the client area: the menu bar, and the window manager's title bar, taken as two lines.
  QMenuBar probe;
  probe.setFont(window.font());
  probe.addMenu(QStringLiteral("Comunicatie"));
  return available.height() - probe.sizeHint().height() - 2 * window.fontMetrics().height() - kFrameAllowance;
}

uint32_t SecondsOfDay() {
  const LocalTime now = GetLocalTime();
  return now.wHour * 3600u + now.wMinute * 60u + now.wSecond;
}

}  // namespace

// The client area below the menu: banners, the status panel and the controls.
class ClientArea : public QWidget {
 public:
  ClientArea(CStrivexDlg& window, QWidget* parent) : QWidget(parent), window_(window) {}

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    painter.setClipRegion(event->region());
    window_.PaintClient(painter);
  }

  bool event(QEvent* event) override {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    // Each panel line's whole text: the panel cuts long paths and names.
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString tip = window_.PanelToolTip(help->pos());
    if (tip.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), tip, this);
    }
    return true;
  }

 private:
  CStrivexDlg& window_;
};

ReceivedItem::ReceivedItem(QTreeWidget* list, const QStringList& texts, std::unique_ptr<SampleRecord> sample)
    : QTreeWidgetItem(list, texts), sample_(std::move(sample)) {}

void ReceivedItem::ShowBacklog(int64_t pending, int64_t rejected) {
  const bool waiting = pending + rejected > 0;
  const QBrush brush = waiting ? QBrush(rejected > 0 ? kRefusedRow : kWaitingRow) : QBrush();
  for (int column = 0; column < columnCount(); ++column) setForeground(column, brush);
  QString tip;
  if (pending > 0) tip = QStringLiteral("%1 rezultate de trimis").arg(pending);
  if (rejected > 0) tip += QStringLiteral("%1%2 respinse de server").arg(tip.isEmpty() ? "" : ", ").arg(rejected);
  setToolTip(0, tip);
}

CStrivexDlg::CStrivexDlg(HostRecord host, std::shared_ptr<WorkingDirectoryLock> folder, QWidget* parent)
    : QDialog(parent),
      core_(host, *this),
      units_(DialogUnits::Of(*this)),
      across_(units_, AxisFit::Axis::kAcross, kWindowWidth, kNarrowing, Room(*this, AxisFit::Axis::kAcross)),
      down_(units_, AxisFit::Axis::kDown, kWindowHeight, kShortening, Room(*this, AxisFit::Axis::kDown)) {
  core_.HoldWorkingDirectory(std::move(folder));
  setObjectName(QStringLiteral("strivexWindow"));
  setWindowIcon(WindowIcon());
  const double scale = units_.Scale();
  topBanner_ = TopBanner(scale);
  ShowName();
  BuildControls();
  BuildMenu();
  SetMenuState(MenuState::kPortOpen);
}

CStrivexDlg::~CStrivexDlg() {
  if (handle_ != 0) platform::UnregisterWindow(handle_);
}

void CStrivexDlg::BuildControls() {
  client_ = new ClientArea(*this, this);
  client_->setObjectName(QStringLiteral("clientArea"));
  client_->setFixedSize(FitRect(across_, down_, 0, 0, kWindowWidth, kWindowHeight).size());

  // The controls inside the frame are its children, placed in the window's units.
  const QRect frameArea = FitRect(across_, down_, 7, 38, 368, 154);
  auto* frame = new QGroupBox(client_);
  frame->setGeometry(frameArea);
  // Inside the frame's line, which the received list reached over when it was a sibling.
  const QRect inside = QRect(QPoint(0, 0), frameArea.size()).adjusted(1, 1, -1, -1);
  const auto inFrame = [&](int x, int y, int width, int height) {
    return FitRect(across_, down_, x, y, width, height).translated(-frameArea.topLeft()).intersected(inside);
  };
  const auto label = [frame](const char* text, const QRect& where, Qt::Alignment align) {
    auto* shown = new QLabel(QString::fromLatin1(text), frame);
    shown->setGeometry(where);
    shown->setAlignment(align | Qt::AlignTop);
    return shown;
  };
  label("Lista de lucru", inFrame(15, 46, 171, 13), Qt::AlignHCenter);
  label("Analize Primite", inFrame(200, 46, 171, 13), Qt::AlignHCenter);
  label("PACIENT", inFrame(81, 74, 53, 9), Qt::AlignLeft);
  label("COD CERERE", inFrame(17, 74, 53, 9), Qt::AlignLeft);

  requestCode_ = new QLineEdit(frame);
  requestCode_->setObjectName(QStringLiteral("requestCode"));
  requestCode_->setGeometry(inFrame(15, 88, 53, 15));
  patient_ = new QLineEdit(frame);
  patient_->setObjectName(QStringLiteral("patient"));
  patient_->setGeometry(inFrame(79, 88, 107, 15));

  // Under the request fields, on the work list's side: frames of a confirmed run not yet sent.
  framesLabel_ = new QLabel(frame);
  framesLabel_->setObjectName(QStringLiteral("framesLabel"));
  framesLabel_->setGeometry(inFrame(15, 110, 171, 24));
  framesLabel_->setWordWrap(true);
  framesLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  receivedList_ = new QTreeWidget(frame);
  receivedList_->setObjectName(QStringLiteral("receivedList"));
  receivedList_->setGeometry(inFrame(198, 64, 177, 126));
  receivedList_->setRootIsDecorated(false);
  receivedList_->setSelectionMode(QAbstractItemView::SingleSelection);
  receivedList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  receivedList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  receivedList_->setExpandsOnDoubleClick(false);
  receivedList_->header()->setStretchLastSection(false);
  receivedList_->viewport()->installEventFilter(this);
  // A printout without a usable sample identifier is given its request from the row's menu.
  receivedList_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(receivedList_, &QTreeWidget::customContextMenuRequested, this, &CStrivexDlg::OnReceivedMenu);

  BuildBottomBar();
  requestCode_->setFocus();
}

void CStrivexDlg::BuildBottomBar() {
  // The bar covers the bottom banner and the strip under it; the buttons sit on the banner and
  // the backlog line, on white, under it, across the whole window.
  const QRect barArea = FitRect(across_, down_, 0, kBottomBarTop, kWindowWidth, kWindowHeight - kBottomBarTop);
  bottomBar_ = new QWidget(client_);
  bottomBar_->setObjectName(QLatin1String(kBottomBarName));
  bottomBar_->setGeometry(barArea);
  const auto onBar = [&](int x, int y, int width, int height) {
    return FitRect(across_, down_, x, y, width, height).translated(-barArea.topLeft());
  };

  okButton_ = new QPushButton(QStringLiteral("OK"), bottomBar_);
  okButton_->setObjectName(QStringLiteral("okButton"));
  okButton_->setGeometry(onBar(214, 199, 49, 13));
  okButton_->setAutoDefault(false);
  connect(okButton_, &QPushButton::clicked, this, [this] { core_.ConfirmRequestCode(); });

  createListButton_ = new QPushButton(QStringLiteral("Creez Lista"), bottomBar_);
  createListButton_->setObjectName(QStringLiteral("createListButton"));
  createListButton_->setGeometry(onBar(134, 199, 49, 13));
  createListButton_->setAutoDefault(false);
  connect(createListButton_, &QPushButton::clicked, this, &CStrivexDlg::OnCreateList);

  const int bannerBottom = down_.At(kBottomBarTop) + bottomBanner_.height() - barArea.top();
  const int margin = across_.At(7);
  backlogLabel_ = new QLabel(bottomBar_);
  backlogLabel_->setObjectName(QStringLiteral("backlogLabel"));
  backlogLabel_->setGeometry(margin, bannerBottom, barArea.width() - 2 * margin, barArea.height() - bannerBottom);
  backlogLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // On white, under the banner: its own background, whatever the style paints around it.
  QPalette palette = backlogLabel_->palette();
  palette.setColor(QPalette::Window, Qt::white);
  backlogLabel_->setPalette(palette);
  backlogLabel_->setAutoFillBackground(true);
}

void CStrivexDlg::BuildMenu() {
  auto* bar = new QMenuBar(this);
  QMenu* comms = bar->addMenu(QStringLiteral("Comunicatie"));
  openPort_ = comms->addAction(QStringLiteral("Deschid Port"), this, &CStrivexDlg::OnOpenPort);
  openPort_->setObjectName(QStringLiteral("openPortAction"));
  closePort_ = comms->addAction(QStringLiteral("Inchid Port"), this, &CStrivexDlg::OnClosePort);
  closePort_->setObjectName(QStringLiteral("closePortAction"));
  comms->addSeparator();
  QAction* exit = comms->addAction(QStringLiteral("Iesire"), this, &CStrivexDlg::ShutdownModule);
  exit->setObjectName(QStringLiteral("exitAction"));

  // The serial settings only while the port is closed (SetMenuState); the database's always.
  QMenu* settings = bar->addMenu(QStringLiteral("Setari"));
  serialSettings_ = settings->addAction(QStringLiteral("Comunicatie"), this, [this] {
    if (serialSettingsAllowed_) RunSerialSettings(core_, this);
  });
  serialSettings_->setObjectName(QStringLiteral("serialSettingsAction"));
  databaseSettings_ = settings->addAction(QStringLiteral("Baza de date"), this, [this] { RunDatabaseSettings(core_, this); });
  databaseSettings_->setObjectName(QStringLiteral("databaseSettingsAction"));

  QMenu* help = bar->addMenu(QStringLiteral("Help"));
  QAction* about = help->addAction(QStringLiteral("Despre"), this, &CStrivexDlg::OnAbout);
  about->setObjectName(QStringLiteral("aboutAction"));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(bar);
  layout->addWidget(client_);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CStrivexDlg::StartModule() {
  InstallQtMessageBoxHandler();
  // Posted from any thread; handled on this window's thread. A message still in flight when the
  // window is gone finds the guard empty there.
  handle_ = platform::RegisterWindow([self = QPointer<CStrivexDlg>(this)](uint32_t message, uintptr_t wParam, intptr_t) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self, message, wParam] {
          if (self) self->OnWindowMessage(message, wParam);
        },
        Qt::QueuedConnection);
  });
  started_ = true;
  core_.Initialize(handle_);
  if (ended_) return;  // shut down from within a start-up box: nothing more to start
  receivedList_->setHeaderLabels({QStringLiteral("ID"), QStringLiteral("Data"), QStringLiteral("Nume")});
  receivedList_->setColumnWidth(0, units_.Scaled(50));
  receivedList_->setColumnWidth(1, units_.Scaled(50));
  receivedList_->setColumnWidth(2, units_.Scaled(210));
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &CStrivexDlg::OnTimer);
  timer_->start(kTimerMs);
  show();
}

void CStrivexDlg::OnWindowMessage(uint32_t message, uintptr_t wParam) {
  if (ended_) return;
  if (message == platform::WM_SHOWMODULE) {
    if (wParam == 1) {
      showNormal();
      raise();
      activateWindow();
    } else {
      hide();
    }
  } else if (message == platform::WM_CLOSE) {
    OnClose();
  }
}

void CStrivexDlg::closeEvent(QCloseEvent* event) {
  // The window never closes by itself: it hides or the module shuts down.
  event->ignore();
  OnClose();
}

void CStrivexDlg::OnClose() {
  if (ended_) return;
  HostRecord& host = core_.host();
  if (host.Flag(HostRecord::kCloseEndsModule) == 0) {
    hide();
    host.SetFlag(HostRecord::kWindowShown, 0);
    return;
  }
  showNormal();
  raise();
  activateWindow();
  ShutdownModule();
}

void CStrivexDlg::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      event->accept();
      core_.ConfirmRequestCode();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void CStrivexDlg::accept() { core_.ConfirmRequestCode(); }
void CStrivexDlg::reject() { core_.ConfirmRequestCode(); }

bool CStrivexDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == receivedList_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    // The list sees the click first, so the selection is the one the operator made.
    QMetaObject::invokeMethod(this, &CStrivexDlg::OnReceivedDoubleClick, Qt::QueuedConnection);
  }
  return QDialog::eventFilter(watched, event);
}

void CStrivexDlg::OnReceivedDoubleClick() {
  const QList<QTreeWidgetItem*> selected = receivedList_->selectedItems();
  if (selected.isEmpty()) return;
  auto* row = static_cast<ReceivedItem*>(selected.front());
  InfoAnaliza info(row->sample(), this);
  info.Run();
}

void CStrivexDlg::OnReceivedMenu(const QPoint& where) {
  auto* row = static_cast<ReceivedItem*>(receivedList_->itemAt(where));
  if (row == nullptr || !row->unassigned) return;
  QMenu menu(this);
  QAction* assign = menu.addAction(QStringLiteral("Atribui cererea..."));
  if (menu.exec(receivedList_->viewport()->mapToGlobal(where)) != assign) return;
  // The request is confirmed by the server's answer, never taken as typed.
  AssignRequestDlg dialog(core_.requestLookup(), this);
  PlaceOverOwner(dialog);
  if (dialog.exec() != QDialog::Accepted) return;
  const int32_t requestId = dialog.model().requestId();
  if (!core_.AssignPrintout(row->outboxMessageId, row->outboxSampleIndex, requestId)) {
    platform::MessageBox("Rezultatele nu pot fi atribuite");
    return;
  }
  row->unassigned = false;
  row->setText(0, QString::number(requestId));
  row->setText(2, FromLocal8(dialog.model().patient()));
  row->setToolTip(2, row->text(2));
  if (row->sample() != nullptr) row->sample()->requestId = requestId;
}

void CStrivexDlg::OnOpenPort() {
  if (!core_.OpenPort()) platform::MessageBox("Port: Inaccesibil");
}

void CStrivexDlg::OnClosePort() { core_.ClosePort(); }

void CStrivexDlg::OnAbout() {
  About about(this);
  PlaceOverOwner(about);
  about.exec();
}

void CStrivexDlg::SetPatientText(const std::string& text) {
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(this, [this, text] { SetPatientText(text); }, Qt::QueuedConnection);
    return;
  }
  patient_->setText(FromLocal8(text));
}

void CStrivexDlg::AddReceivedRow(ReceivedRow row) {
  if (QThread::currentThread() != thread()) {
    // Held by a shared pointer so a call dropped with the window still frees its sample.
    auto queued = std::make_shared<ReceivedRow>(std::move(row));
    QMetaObject::invokeMethod(this, [this, queued] { AddReceivedRow(std::move(*queued)); }, Qt::QueuedConnection);
    return;
  }
  auto* item = new ReceivedItem(receivedList_, {FromLocal8(row.id), FromLocal8(row.date), FromLocal8(row.name)},
                                std::move(row.sample));
  item->setToolTip(2, item->text(2));  // a long name is wider than its column
  item->outboxMessageId = row.outboxMessageId;
  item->unassigned = row.unassigned;
  item->outboxSampleIndex = row.outboxSampleIndex;
  item->ShowBacklog(row.pending, row.rejected);
  if (row.unassigned) {
    for (int column = 0; column < item->columnCount(); ++column) item->setForeground(column, QBrush(kUnassignedRow));
    item->setToolTip(0, QStringLiteral("Rezultate fara ID proba: clic dreapta pentru a le atribui o cerere"));
  }
}

void CStrivexDlg::SetRowBacklog(int64_t outboxMessageId, int32_t outboxSampleIndex, int64_t pending,
                                int64_t rejected) {
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(
        this, [=, this] { SetRowBacklog(outboxMessageId, outboxSampleIndex, pending, rejected); },
        Qt::QueuedConnection);
    return;
  }
  for (int i = 0; i < receivedList_->topLevelItemCount(); ++i) {
    auto* item = static_cast<ReceivedItem*>(receivedList_->topLevelItem(i));
    if (item->outboxMessageId == outboxMessageId && item->outboxSampleIndex == outboxSampleIndex) {
      item->ShowBacklog(pending, rejected);
    }
  }
}

void CStrivexDlg::SetRowPatient(int64_t outboxMessageId, int32_t outboxSampleIndex, const std::string& name) {
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(
        this, [=, this] { SetRowPatient(outboxMessageId, outboxSampleIndex, name); }, Qt::QueuedConnection);
    return;
  }
  for (int i = 0; i < receivedList_->topLevelItemCount(); ++i) {
    auto* item = static_cast<ReceivedItem*>(receivedList_->topLevelItem(i));
    if (item->outboxMessageId != outboxMessageId || item->outboxSampleIndex != outboxSampleIndex) continue;
    item->setText(2, FromLocal8(name));
    item->setToolTip(2, item->text(2));
    // The analysis information shows the sample's own name.
    if (item->sample() != nullptr) item->sample()->patientName = name;
  }
}

void CStrivexDlg::NotifyOperator(const std::string& text) {
  // The box is the window's, not the worker's: the worker goes on at once.
  QMetaObject::invokeMethod(this, [text] { platform::MessageBox(text); }, Qt::QueuedConnection);
}

void CStrivexDlg::Post(std::function<void()> call) {
  // With this window as the context, a call still queued when it is gone is dropped.
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

std::string CStrivexDlg::RequestCodeText() { return ToLocal8(requestCode_->text()); }

void CStrivexDlg::SetRequestCodeText(const std::string& text) { requestCode_->setText(FromLocal8(text)); }

void CStrivexDlg::SetMenuState(MenuState state) {
  const bool open = state == MenuState::kPortOpen;
  portMenu_ = state;
  openPort_->setEnabled(!open);
  closePort_->setEnabled(state != MenuState::kPortClosed);
  // Not while a lost port is being re-opened: the re-opening reads the settings meanwhile.
  serialSettingsAllowed_ = state == MenuState::kPortClosed;
  serialSettings_->setEnabled(serialSettingsAllowed_);
}

void CStrivexDlg::SetCaption(const std::string& caption) {
  instrument_ = caption;
  ShowName();
}

void CStrivexDlg::SetInstanceName(const std::string& name) {
  instance_ = name;
  ShowName();
}

void CStrivexDlg::ShowName() {
  const std::string label = InstanceLabel(instance_, instrument_);
  setWindowTitle(FromLocal8(WindowTitle(label)));
  // The banner's name ends a little before the window does.
  const double scale = units_.Scale();
  const int right = static_cast<int>((across_.Length() - 18) / scale);
  const int left = static_cast<int>(across_.At(kBannerNameLeft) / scale);
  bottomBanner_ = BottomBanner(scale, right, label.empty() ? QStringLiteral("Strivex") : FromLocal8(label), right - left);
  if (client_ != nullptr) client_->update();
}

void CStrivexDlg::HideWindow() { hide(); }

void CStrivexDlg::DeleteListItems() {
  for (int i = 0; i < receivedList_->topLevelItemCount(); ++i) {
    static_cast<ReceivedItem*>(receivedList_->topLevelItem(i))->FreeSample();
  }
}

void CStrivexDlg::OnTimer() {
  const StatusSnapshot now = core_.StatusNow(SecondsOfDay());
  // A device that went away, or came back, changes what the port menu offers.
  const MenuState portMenu = now.portOpen ? MenuState::kPortOpen
                             : now.portLost ? MenuState::kPortLost
                                            : MenuState::kPortClosed;
  if (started_ && !ended_ && portMenu != portMenu_) SetMenuState(portMenu);
  ShowStatusLine(*backlogLabel_, BacklogLine(now));
  ShowStatusLine(*framesLabel_, WorkListLine(now));
  if (!panelModel_.NeedsPaint(now, false)) return;
  StatusPanel panel = panelModel_.Paint(now);
  core_.ApplyPanelEffects(panel);
  // A hidden window is painted afresh when it shows again.
  if (!isVisible()) return;
  timerPanel_ = std::make_unique<StatusPanel>(std::move(panel));
  client_->update(PanelArea());
}

QTransform CStrivexDlg::PanelTransform() const {
  const double scale = units_.Scale();
  QTransform transform;
  // Where it was drawn, unless a narrowed window would cut it.
  const int width = static_cast<int>(StatusPanelRect(kPanelX, kPanelY).width() * scale);
  transform.translate(std::min(across_.At(kPanelX * 2 / 3), across_.Length() - width - units_.Across(2)), units_.Down(2));
  transform.scale(scale, scale);
  transform.translate(-kPanelX, -kPanelY);
  return transform;
}

QRect CStrivexDlg::PanelArea() const {
  return PanelTransform().mapRect(StatusPanelRect(kPanelX, kPanelY)).adjusted(-1, -1, 1, 1);
}

QString CStrivexDlg::PanelToolTip(const QPoint& where) const {
  bool invertible = false;
  const QPoint inPanel = PanelTransform().inverted(&invertible).map(where);
  const int line = StatusPanelLineAt(inPanel, kPanelX, kPanelY);
  return line < 0 ? QString() : StatusLineToolTip(shownPanel_.lines[static_cast<size_t>(line)]);
}

void CStrivexDlg::PaintClient(QPainter& painter) {
  if (isMinimized()) {
    const QIcon icon = windowIcon();
    const QSize size(32, 32);
    painter.drawPixmap((client_->width() - size.width() + 1) / 2, (client_->height() - size.height() + 1) / 2,
                       icon.pixmap(size));
    return;
  }
  // The default pen and brush of the window's painting: black outline, white fill.
  painter.setPen(Qt::black);
  painter.setBrush(Qt::white);
  painter.drawRect(client_->rect().adjusted(0, 0, -1, -1));
  painter.drawImage(QPoint(1, 1), topBanner_);
  painter.drawImage(QPoint(1, down_.At(kBottomBarTop)), bottomBanner_);

  if (!painter.clipRegion().intersects(PanelArea())) return;
  if (timerPanel_) {
    shownPanel_ = std::move(*timerPanel_);
    timerPanel_.reset();
  } else {
    if (!started_ || ended_) return;
    shownPanel_ = panelModel_.Paint(core_.StatusNow(SecondsOfDay()));
    core_.ApplyPanelEffects(shownPanel_);
  }
  painter.save();
  painter.setTransform(PanelTransform(), true);
  PaintStatusPanel(painter, kPanelX, kPanelY, shownPanel_);
  painter.restore();
}

void CStrivexDlg::ShutdownModule() {
  if (ended_ || !started_) return;
  if (const char* shot = std::getenv("STRIVEX_SCREENSHOT"); shot != nullptr && *shot != '\0') {
    grab().save(QString::fromLocal8Bit(shot), "PNG");
  }
  core_.StopModule();
  if (timer_ != nullptr) timer_->stop();
  platform::UnregisterWindow(handle_);
  handle_ = 0;
  ended_ = true;
  hide();
  if (!ownerAnnouncesEnd_) AnnounceModuleEnd(core_.host());
  emit moduleEnded();
}

}  // namespace strivex::ui
