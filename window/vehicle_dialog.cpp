#include "window/vehicle_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "window/qt_text.h"
#include "window/texts.h"

namespace {

namespace texts = vehisect::texts;

}  // namespace

VehicleDialog::VehicleDialog(const vehisect::VehicleChoice& choice, QWidget* parent)
    : QDialog(parent), rows_(new QTreeWidget(this)), all_(new QCheckBox(texts::kAllKey, this)) {
  setObjectName("ChooseVehicles");
  setWindowTitle(texts::kTitle);
  auto* intro = new QLabel(FromFlow(choice.intro) + "\n" + FromFlow(choice.summary), this);
  FillRows(choice);
  all_->setObjectName("All");
  all_->setCheckState(Qt::Checked);
  auto* buttons = new QDialogButtonBox(this);
  split_ = buttons->addButton(texts::kSplitKey, QDialogButtonBox::AcceptRole);
  split_->setObjectName("Split");
  split_->setDefault(true);
  buttons->addButton(QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(rows_, &QTreeWidget::itemChanged, this, &VehicleDialog::OnRowChanged);
  connect(all_, &QCheckBox::clicked, this, &VehicleDialog::OnAllClicked);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(intro);
  layout->addWidget(rows_);
  layout->addWidget(all_);
  layout->addWidget(buttons);
  const int unit = fontMetrics().height();
  resize(std::max(sizeHint().width(), rows_->header()->length() + unit * 2), sizeHint().height());
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
                                             FromFlow(row.records), FromFlow(row.output), FromFlow(row.existing)});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Checked);
  }
  for (int c = 0; c < rows_->columnCount(); ++c) rows_->resizeColumnToContents(c);
  rows_->setCurrentItem(rows_->topLevelItem(0));
}

std::vector<std::size_t> VehicleDialog::Ticked() const {
  std::vector<std::size_t> chosen;
  for (int k = 0; k < rows_->topLevelItemCount(); ++k) {
    if (rows_->topLevelItem(k)->checkState(0) == Qt::Checked) chosen.push_back(static_cast<std::size_t>(k));
  }
  return chosen;
}

// "All vehicles" follows the rows.
void VehicleDialog::OnRowChanged() {
  const std::size_t count = Ticked().size();
  split_->setEnabled(count > 0);
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
