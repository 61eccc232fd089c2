#include "ui/lista_lucru_dlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTreeWidget>
#include <algorithm>

#include "ui/banner_art.h"
#include "ui/dialog_placement.h"
#include "ui/dialog_units.h"
#include "ui/edit_record_dlg.h"
#include "ui/text_codec.h"
#include "worklist/edit_record_model.h"
#include "worklist/work_list_choices.h"

namespace strivex::ui {

namespace {

// A row whose cells say all of themselves in their tooltips: a long name is wider than its column.
void AddRow(QTreeWidget* list, const RowTexts& row) {
  auto* item = new QTreeWidgetItem(list);
  for (size_t column = 0; column < row.size(); ++column) {
    const QString text = FromLocal8(row[column]);
    item->setText(static_cast<int>(column), text);
    item->setToolTip(static_cast<int>(column), text.trimmed());
  }
}

// A drop-down list at its place, at least as high as the style draws one.
void PlaceCombo(QComboBox* combo, const QRect& where) {
  combo->setGeometry(where.x(), where.y(), where.width(), std::max(where.height(), combo->sizeHint().height()));
}

void FillCombo(QComboBox* combo, const std::vector<std::string>& items, int selected) {
  for (const std::string& item : items) combo->addItem(FromLocal8(item));
  combo->setCurrentIndex(selected);
}

constexpr int kDialogWidth = 374;
constexpr int kDialogHeight = 242;
// The run's list and what stands right of its left edge; the lists' columns, in pixels at scale 1.
constexpr int kRunSide = 188;
constexpr int kRunListWidth = 167;
const QList<int> kRequestColumns = {50, 210};
const QList<int> kRunColumns = {12, 25, 50, 58, 50, 210, 65};

}  // namespace

ListaLucruDlg::ListaLucruDlg(ListaLucruModel& model, QWidget* parent)
    : QDialog(parent), model_(model), units_(DialogUnits::Of(*this)) {
  setWindowTitle(QStringLiteral("ListaLucru"));
  setObjectName(QStringLiteral("listaLucru"));
  // The run's seven columns do not fit its list as drawn: the dialog widens, as far as the screen
  // lets it, so that they all show and names are not cut.
  int columns = 0;
  for (int width : kRunColumns) columns += units_.Scaled(width);
  const int frame = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
  const int room = screen != nullptr ? screen->availableGeometry().width() - units_.Across(kDialogWidth) - 16 : 0;
  wider_ = std::clamp(columns + frame - units_.Across(kRunListWidth), 0, std::max(room, 0));
  setFixedSize(units_.Across(kDialogWidth) + wider_, units_.Down(kDialogHeight));
  topBanner_ = TopBanner(units_.Scale());
  bottomBanner_ = BottomBanner(units_.Scale(), static_cast<int>((width() - 18) / units_.Scale()));
  BuildControls();
  Refresh(-1);
}

QRect ListaLucruDlg::Place(int x, int y, int width, int height, Reach reach) const {
  QRect where = units_.Rect(x, y, width, height);
  if (reach == Reach::kWidens) {
    where.setWidth(where.width() + wider_);
  } else if (reach == Reach::kCentred) {
    where.translate(wider_ / 2, 0);
  } else if (x >= kRunSide && reach == Reach::kFollows) {
    where.translate(wider_, 0);
  }
  return where;
}

QTreeWidget* ListaLucruDlg::NewList(const char* name, const QRect& where, const QStringList& columns,
                                    const QList<int>& widths) {
  auto* list = new QTreeWidget(this);
  list->setObjectName(QString::fromLatin1(name));
  list->setGeometry(where);
  list->setRootIsDecorated(false);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setExpandsOnDoubleClick(false);
  list->setHeaderLabels(columns);
  list->header()->setStretchLastSection(false);
  list->header()->setMinimumSectionSize(8);  // the marker column is 12 pixels
  for (int i = 0; i < widths.size(); ++i) list->setColumnWidth(i, units_.Scaled(widths[i]));
  return list;
}

QPushButton* ListaLucruDlg::NewButton(const char* text, const char* name, const QRect& where) {
  auto* button = new QPushButton(QString::fromLatin1(text), this);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(where);
  button->setAutoDefault(false);
  return button;
}

void ListaLucruDlg::BuildControls() {
  auto* frame = new QGroupBox(this);
  frame->setGeometry(Place(7, 41, 360, 172, Reach::kWidens));
  const auto label = [this](const char* text, const QRect& where) {
    auto* shown = new QLabel(QString::fromLatin1(text), this);
    // A label wider in this font than in the old one grows to the left, away from its control.
    const int extra = std::max(0, shown->sizeHint().width() - where.width());
    shown->setGeometry(where.adjusted(-extra, 0, 0, 0));
  };
  label("Cereri Analize", Place(13, 49, 167, 12));
  label("Lista Curenta", Place(190, 49, 167, 12, Reach::kStays));
  label("Tipul Cupei", Place(217, 31, 41, 12));
  label("Disk", Place(105, 31, 19, 11));
  label("Pozitie", Place(155, 31, 26, 11));
  label(">>", Place(288, 198, 13, 11));
  label("<<", Place(344, 198, 13, 11));

  // Column widths are in pixels, as the lists always had them, grown with the font.
  requestList_ = NewList("requestList", Place(13, 64, 167, 131), {"ID", "Nume"}, kRequestColumns);
  currentList_ = NewList("currentList", Place(190, 64, kRunListWidth, 131, Reach::kWidens),
                         {" ", "Nr", "ID", "Disc/Pos", "Recip", "Nume", "Tip Proba"}, kRunColumns);
  currentList_->installEventFilter(this);

  cup_ = new QComboBox(this);
  cup_->setObjectName(QStringLiteral("cupCombo"));
  FillCombo(cup_, CupTypeNames(), model_.cupIndex());
  PlaceCombo(cup_, Place(261, 31, 96, 12));
  disk_ = new QComboBox(this);
  disk_->setObjectName(QStringLiteral("diskCombo"));
  FillCombo(disk_, DiskNames(), model_.diskIndex());
  PlaceCombo(disk_, Place(125, 30, 26, 12));
  position_ = new QLineEdit(this);
  position_->setObjectName(QStringLiteral("positionEdit"));
  position_->setGeometry(Place(185, 30, 26, 13));
  requestId_ = new QLineEdit(this);
  requestId_->setObjectName(QStringLiteral("requestIdEdit"));
  requestId_->setGeometry(Place(303, 198, 38, 12));

  // Unchecked, the list is the instrument's whole work list; checked, what was never sent.
  unsentOnly_ = new QCheckBox(QStringLiteral("Doar netrimise"), this);
  unsentOnly_->setObjectName(QStringLiteral("unsentOnlyBox"));
  unsentOnly_->setGeometry(Place(13, 30, 85, 12));
  unsentOnly_->setVisible(false);
  connect(unsentOnly_, &QCheckBox::toggled, this, [this](bool checked) {
    if (!readRequests_) return;
    unsentOnly_->setEnabled(false);
    readRequests_(checked);
  });

  QPushButton* reload = NewButton("ReIncarc", "reloadButton", Place(13, 199, 42, 10));
  QPushButton* insert = NewButton("---->", "insertButton", Place(78, 199, 42, 10));
  QPushButton* add = NewButton(">>", "addButton", Place(139, 199, 42, 10));
  QPushButton* back = NewButton("<<", "backButton", Place(189, 199, 42, 10));
  modify_ = NewButton("Modific", "modifyButton", Place(237, 199, 42, 10));
  QPushButton* ok = NewButton("OK", "okButton", Place(88, 221, 83, 14, Reach::kCentred));
  ok->setDefault(true);
  QPushButton* cancel = NewButton("Anulez", "cancelButton", Place(204, 221, 83, 14, Reach::kCentred));

  connect(cup_, &QComboBox::currentIndexChanged, this, [this](int index) { model_.SelectCup(index); });
  connect(disk_, &QComboBox::currentIndexChanged, this, [this](int index) { model_.SelectDisk(index); });
  connect(position_, &QLineEdit::textEdited, this,
          [this](const QString& text) { model_.SetPositionText(ToLocal8(text)); });
  connect(requestId_, &QLineEdit::textEdited, this,
          [this](const QString& text) { model_.SetRequestIdText(ToLocal8(text)); });

  const auto addSelected = [this] {
    model_.Add(SelectedRequest());
    Refresh(SelectedCurrent());
  };
  const auto moveBack = [this] {
    model_.MoveBack(SelectedCurrent());
    Refresh(-1);
  };
  connect(add, &QPushButton::clicked, this, addSelected);
  connect(requestList_, &QTreeWidget::itemDoubleClicked, this, addSelected);
  connect(back, &QPushButton::clicked, this, moveBack);
  connect(currentList_, &QTreeWidget::itemDoubleClicked, this, moveBack);
  connect(insert, &QPushButton::clicked, this, [this] {
    const int row = SelectedCurrent();
    const size_t before = model_.entryCount();
    model_.InsertBefore(row, SelectedRequest());
    // The selected entry moved one row down.
    Refresh(model_.entryCount() > before ? row + 1 : row);
  });
  connect(reload, &QPushButton::clicked, this, [this] {
    model_.Reload();
    Refresh(SelectedCurrent());
  });
  connect(modify_, &QPushButton::clicked, this, &ListaLucruDlg::OnModify);
  connect(currentList_, &QTreeWidget::itemClicked, this, [this] {
    model_.ClickCurrent(SelectedCurrent());
    RefreshMarker();
  });
  connect(ok, &QPushButton::clicked, this, &ListaLucruDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &ListaLucruDlg::reject);
}

int ListaLucruDlg::SelectedRequest() const {
  const QList<QTreeWidgetItem*> selected = requestList_->selectedItems();
  return selected.isEmpty() ? -1 : requestList_->indexOfTopLevelItem(selected.front());
}

int ListaLucruDlg::SelectedCurrent() const {
  const QList<QTreeWidgetItem*> selected = currentList_->selectedItems();
  return selected.isEmpty() ? -1 : currentList_->indexOfTopLevelItem(selected.front());
}

void ListaLucruDlg::Refresh(int currentRow) {
  requestList_->clear();
  for (const RowTexts& row : model_.requestRows()) AddRow(requestList_, row);
  currentList_->clear();
  for (const RowTexts& row : model_.currentRows()) AddRow(currentList_, row);
  if (QTreeWidgetItem* item = currentList_->topLevelItem(currentRow)) currentList_->setCurrentItem(item);
  position_->setText(FromLocal8(model_.positionText()));
  requestId_->setText(FromLocal8(model_.requestIdText()));
  modify_->setEnabled(model_.modifyEnabled());
}

void ListaLucruDlg::RefreshMarker() {
  const std::vector<RowTexts> rows = model_.currentRows();
  for (int i = 0; i < currentList_->topLevelItemCount() && i < static_cast<int>(rows.size()); ++i) {
    const QString marker = FromLocal8(rows[static_cast<size_t>(i)][0]);
    currentList_->topLevelItem(i)->setText(0, marker);
    currentList_->topLevelItem(i)->setToolTip(0, marker.trimmed());
  }
}

void ListaLucruDlg::OnModify() {
  const int row = SelectedCurrent();
  model_.Modify(row, [this](SampleRecord& entry) {
    EditRecordModel editor(&entry);
    EditRecordDlg dialog(editor, this);
    dialog.Run();
  });
  Refresh(row);
  currentList_->setFocus();
}

bool ListaLucruDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == currentList_) {
    switch (event->type()) {
      case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // The marker moves before the list moves its selection the same way.
        if (key == Qt::Key_Up) model_.KeyUp(SelectedCurrent());
        if (key == Qt::Key_Down) model_.KeyDown(SelectedCurrent());
        if (key == Qt::Key_Up || key == Qt::Key_Down) RefreshMarker();
        break;
      }
      case QEvent::FocusIn:
        model_.CurrentListFocusGained();
        modify_->setEnabled(model_.modifyEnabled());
        break;
      case QEvent::FocusOut: {
        // By now the application's focus is on the control that took it.
        const auto* button = qobject_cast<const QAbstractButton*>(QApplication::focusWidget());
        model_.CurrentListFocusLost(button ? ToLocal8(button->text()) : std::string());
        modify_->setEnabled(model_.modifyEnabled());
        break;
      }
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void ListaLucruDlg::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setPen(Qt::black);
  painter.setBrush(Qt::white);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  painter.drawImage(QPoint(1, 1), topBanner_);
  // 350 pixels down in the font the dialog was drawn for.
  painter.drawImage(QPoint(1, units_.Down(215)), bottomBanner_);
}

void ListaLucruDlg::accept() {
  if (model_.Ok(GetLocalTime())) {
    QDialog::accept();
    return;
  }
  Refresh(SelectedCurrent());
}

void ListaLucruDlg::reject() {
  model_.Cancel();
  QDialog::reject();
}

void ListaLucruDlg::SetRequestReader(std::function<void(bool unsentOnly)> read) {
  readRequests_ = std::move(read);
  unsentOnly_->setVisible(static_cast<bool>(readRequests_));
}

void ListaLucruDlg::ShowRequests(const SampleList& requests) {
  model_.ReplaceRequests(requests);
  Refresh(SelectedCurrent());
  unsentOnly_->setEnabled(true);
}

}  // namespace strivex::ui
