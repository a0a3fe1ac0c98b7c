#include "window/vehicle_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "replay/base/paths.h"
#include "window/qt_text.h"
#include "window/race_view.h"
#include "window/texts.h"

namespace {

namespace texts = vehisect::texts;

}  // namespace

namespace {

std::vector<QColor> ColoursOf(const vehisect::VehicleChoice& choice) {
  std::vector<QColor> colours;
  for (const vehisect::VehicleChoice::Row& row : choice.rows) colours.emplace_back(QString::fromStdString(row.colour));
  return colours;
}

// A swatch of a vehicle's colour, for its row.
QIcon Swatch(const QColor& colour) {
  QPixmap pixmap(12, 12);
  pixmap.fill(colour);
  return QIcon(pixmap);
}

}  // namespace

VehicleDialog::VehicleDialog(const vehisect::VehicleChoice& choice, QWidget* parent)
    : QDialog(parent),
      choice_(choice),
      rows_(new QTreeWidget(this)),
      all_(new QCheckBox(texts::kAllKey, this)),
      picture_(new RaceView(choice.race, ColoursOf(choice), this)) {
  setObjectName("ChooseVehicles");
  setWindowTitle(texts::kTitle);
  auto* intro = new QLabel(FromFlow(choice.intro) + "\n" + FromFlow(choice.summary), this);
  intro->setWordWrap(true);
  FillRows(choice);
  all_->setObjectName("All");
  all_->setCheckState(Qt::Checked);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* save = buttons->addButton(texts::kSavePictureKey, QDialogButtonBox::ActionRole);
  save->setObjectName("SavePicture");
  split_ = buttons->addButton(texts::kSplitKey, QDialogButtonBox::AcceptRole);
  split_->setObjectName("Split");
  split_->setDefault(true);
  buttons->addButton(QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(save, &QPushButton::clicked, this, &VehicleDialog::OnSavePicture);
  connect(rows_, &QTreeWidget::itemChanged, this, &VehicleDialog::OnRowChanged);
  connect(rows_, &QTreeWidget::currentItemChanged, this, &VehicleDialog::OnRowChanged);
  connect(all_, &QCheckBox::clicked, this, &VehicleDialog::OnAllClicked);
  auto* list = new QVBoxLayout;
  list->addWidget(rows_);
  list->addWidget(all_);
  auto* middle = new QHBoxLayout;
  middle->addLayout(list, 3);
  middle->addWidget(picture_, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(intro);
  layout->addLayout(middle);
  layout->addWidget(buttons);
  OnRowChanged();
  FitToScreen();
  rows_->setFocus();
}

void VehicleDialog::FillRows(const vehisect::VehicleChoice& choice) {
  rows_->setObjectName("Vehicles");
  rows_->setRootIsDecorated(false);
  QStringList labels;
  for (const char* column : texts::kColumns) labels << column;
  rows_->setHeaderLabels(labels);
  for (const vehisect::VehicleChoice::Row& row : choice.rows) {
    auto* item = new QTreeWidgetItem(rows_, {FromFlow(row.position), FromFlow(row.driver), FromFlow(row.vehicle),
                                             FromFlow(row.records), FromFlow(row.time), FromFlow(row.distance),
                                             FromFlow(row.topSpeed), FromFlow(row.output), FromFlow(row.existing)});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Checked);
    item->setIcon(0, Swatch(QColor(QString::fromStdString(row.colour))));
  }
  // Every column as wide as its header and cells, but no name wider than a third of the
  // screen: a longer one is cut short, whole in its tooltip.
  const int widest = screen()->availableGeometry().width() / 3;
  for (int c = 0; c < rows_->columnCount(); ++c) {
    rows_->resizeColumnToContents(c);
    rows_->setColumnWidth(c, std::min(rows_->columnWidth(c), widest));
  }
  for (int k = 0; k < rows_->topLevelItemCount(); ++k) {
    QTreeWidgetItem* item = rows_->topLevelItem(k);
    for (int c = 0; c < rows_->columnCount(); ++c) item->setToolTip(c, item->text(c));
  }
  rows_->setCurrentItem(rows_->topLevelItem(0));
}

void VehicleDialog::FitToScreen() {
  const QSize room = screen()->availableGeometry().size() * 0.9;
  const int unit = fontMetrics().height();
  const QSize wanted(rows_->header()->length() + picture_->sizeHint().width() + unit * 4, sizeHint().height());
  setMaximumSize(screen()->availableGeometry().size());
  resize(wanted.boundedTo(room));
}

std::vector<std::size_t> VehicleDialog::Ticked() const {
  std::vector<std::size_t> chosen;
  for (int k = 0; k < rows_->topLevelItemCount(); ++k) {
    if (rows_->topLevelItem(k)->checkState(0) == Qt::Checked) chosen.push_back(static_cast<std::size_t>(k));
  }
  return chosen;
}

// "All vehicles" and the picture follow the rows.
void VehicleDialog::OnRowChanged() {
  std::vector<bool> ticked(static_cast<std::size_t>(rows_->topLevelItemCount()));
  for (std::size_t k : Ticked()) ticked[k] = true;
  picture_->Show(ticked, rows_->indexOfTopLevelItem(rows_->currentItem()));
  const std::size_t count = Ticked().size();
  if (split_ != nullptr) split_->setEnabled(count > 0);
  const QSignalBlocker quiet(all_);
  all_->setCheckState(count == 0                                                       ? Qt::Unchecked
                      : count == static_cast<std::size_t>(rows_->topLevelItemCount()) ? Qt::Checked
                                                                                       : Qt::PartiallyChecked);
}

// "All vehicles" ticks them all, or unticks them where all are ticked.
void VehicleDialog::OnAllClicked() {
  const bool every = Ticked().size() == static_cast<std::size_t>(rows_->topLevelItemCount());
  for (int k = 0; k < rows_->topLevelItemCount(); ++k) {
    rows_->topLevelItem(k)->setCheckState(0, every ? Qt::Unchecked : Qt::Checked);
  }
}

// The system's save dialog asks before it replaces a file.
void VehicleDialog::OnSavePicture() {
  QString file = QFileDialog::getSaveFileName(this, texts::kSavePicture, QString(), texts::kPictures);
  if (file.isEmpty() || !choice_.savePicture) return;
  if (!file.endsWith(texts::kPictureExtension, Qt::CaseInsensitive)) file += texts::kPictureExtension;
  const std::string failure = choice_.savePicture(vehisect::PathFromUtf8(file.toStdString()), Ticked());
  if (!failure.empty()) QMessageBox::warning(this, texts::kTitle, FromFlow(failure));
}
